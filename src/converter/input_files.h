// The converter's input: one EMF file, or every file in a folder whose name matches a
// mask of "*" and "?". Names match without regard to case, hidden files count, folders
// do not, and "*.*" also matches names without a dot, as users know it from Windows.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmoro::convert {

bool maskMatches(std::u16string_view mask, std::u16string_view name);

// The files the input names, sorted by their whole paths without regard to case.
std::vector<std::u16string> collectInputFiles(std::u16string_view input);

// The output file when none is given: the input without "*" and "?", its extension
// replaced by ".pdf" (appended when it has none).
std::u16string defaultOutputName(std::u16string_view input);

}  // namespace velmoro::convert
