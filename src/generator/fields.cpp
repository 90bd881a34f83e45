#include "generator/fields.h"

namespace velmoro::draw {

std::vector<std::u16string> splitFields(std::u16string_view line, char16_t separator) {
  std::vector<std::u16string> fields;
  size_t i = 0;
  for (;;) {
    std::u16string field;
    if (i < line.size() && line[i] == u'"') {
      ++i;
      while (i < line.size()) {
        if (line[i] == u'"') {
          if (i + 1 < line.size() && line[i + 1] == u'"') {
            field += u'"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
    }
    // Unquoted text, or what follows a closing quote, runs to the next separator.
    while (i < line.size() && line[i] != separator) field += line[i++];
    fields.push_back(std::move(field));
    if (i >= line.size()) break;
    ++i;  // the separator; a final one leaves an empty last field
  }
  return fields;
}

std::u16string quoteField(std::u16string_view field, char16_t separator) {
  if (field.find(separator) == std::u16string_view::npos && field.find(u'"') == std::u16string_view::npos)
    return std::u16string(field);
  std::u16string out = u"\"";
  for (char16_t c : field) {
    if (c == u'"') out += u'"';
    out += c;
  }
  out += u'"';
  return out;
}

std::u16string joinFields(const std::vector<std::u16string>& fields, char16_t separator) {
  std::u16string out;
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i) out += separator;
    out += quoteField(fields[i], separator);
  }
  return out;
}

}  // namespace velmoro::draw
