// Splitting and joining the ";"-separated lines of participants and schedule files.
// Blanks are data, fields are not trimmed. A field that begins with a double quote runs
// to the next single double quote; a doubled quote inside stands for one, and the
// separator inside is data. A line ending in the separator has an empty last field.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace velmoro::draw {

std::vector<std::u16string> splitFields(std::u16string_view line, char16_t separator = u';');
// Quotes a field that holds the separator or a double quote, so splitFields reads it back.
std::u16string quoteField(std::u16string_view field, char16_t separator = u';');
std::u16string joinFields(const std::vector<std::u16string>& fields, char16_t separator = u';');

}  // namespace velmoro::draw
