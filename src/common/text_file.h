// Reading and writing whole text files.
// Reading: a byte-order mark selects UTF-8, UTF-16 LE or UTF-16 BE and is skipped;
// without one the bytes are UTF-8, invalid sequences becoming U+FFFD. A file that
// cannot be opened or read gives an empty text: callers treat missing data as empty.
// Writing: UTF-8 with a byte-order mark, through the atomic file writer.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmoro::text {

std::u16string decodeText(std::span<const uint8_t> bytes);
std::u16string readTextFile(const std::u16string& path);

// Reads a whole file; nothing when it cannot be opened or read.
std::optional<std::vector<uint8_t>> readFileBytes(const std::u16string& path);

// UTF-8 with a byte-order mark; the text is written as it stands (callers put CR LF).
std::vector<uint8_t> encodeUtf8WithBom(std::u16string_view text);
void writeTextFile(const std::u16string& path, std::u16string_view text);

}  // namespace velmoro::text
