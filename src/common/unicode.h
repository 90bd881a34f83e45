// Text conversions and comparisons for the system's strings.
// The system's text is UTF-16 (std::u16string); UTF-8 appears only at the edges
// (file names for the kernel, 8-bit exports, files on disk). Case-insensitive
// comparison is ICU's locale-independent simple case folding: a library cannot know
// its caller's locale, and a Turkish locale would break key names.
#pragma once

#include <string>
#include <string_view>

namespace velmoro::text {

// UTF-8 to UTF-16; invalid byte sequences become U+FFFD.
std::u16string fromUtf8(std::string_view utf8);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string toUtf8(std::u16string_view utf16);

// ASCII literal to UTF-16, for messages and names written in code.
std::u16string fromAscii(std::string_view ascii);

int compareIgnoreCase(std::u16string_view a, std::u16string_view b);
bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b);
// Lower-cases without regard to locale (the root locale's rules).
std::u16string toLower(std::u16string_view s);

// Removes leading and trailing blanks and control characters (code units <= U+0020).
std::u16string_view trim(std::u16string_view s);

}  // namespace velmoro::text
