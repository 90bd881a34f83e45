#include "common/config_list.h"

#include "common/unicode.h"

namespace velmoro {

void TConfigList::setText(std::u16string_view text) {
  lines_.clear();
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != u'\r' && text[i] != u'\n') continue;
    lines_.emplace_back(text.substr(start, i - start));
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (start < text.size()) lines_.emplace_back(text.substr(start));
  changed();
}

std::u16string TConfigList::text() const {
  std::u16string out;
  for (const auto& line : lines_) {
    out += line;
    out += u"\r\n";
  }
  return out;
}

int TConfigList::indexOfName(std::u16string_view name) const {
  for (size_t i = 0; i < lines_.size(); ++i) {
    std::u16string_view line = lines_[i];
    size_t eq = line.find(u'=');
    if (eq != std::u16string_view::npos && text::equalsIgnoreCase(line.substr(0, eq), name))
      return static_cast<int>(i);
  }
  return -1;
}

std::u16string TConfigList::value(std::u16string_view name) const {
  int i = indexOfName(name);
  if (i < 0) return {};
  const auto& line = lines_[static_cast<size_t>(i)];
  return line.substr(line.find(u'=') + 1);
}

void TConfigList::setValue(std::u16string_view name, std::u16string_view value) {
  int i = indexOfName(name);
  if (value.empty()) {
    if (i < 0) return;
    lines_.erase(lines_.begin() + i);
  } else {
    std::u16string line = std::u16string(name) + u"=" + std::u16string(value);
    if (i < 0)
      lines_.push_back(std::move(line));
    else
      lines_[static_cast<size_t>(i)] = std::move(line);
  }
  changed();
}

void TConfigList::add(std::u16string line) {
  lines_.push_back(std::move(line));
  changed();
}

int32_t TConfigList::integer(std::u16string_view name, int32_t defaultValue) const {
  int32_t v;
  return parseInteger(value(name), v) ? v : defaultValue;
}

bool TConfigList::boolean(std::u16string_view name, bool defaultValue) const {
  return parseBoolean(value(name), defaultValue);
}

bool parseInteger(std::u16string_view s, int32_t& out) {
  size_t i = 0;
  while (i < s.size() && s[i] == u' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) negative = s[i++] == u'-';
  bool hex = false;
  if (i < s.size() && s[i] == u'$') {
    hex = true;
    ++i;
  } else if (i + 1 < s.size() && s[i] == u'0' && (s[i + 1] == u'x' || s[i + 1] == u'X')) {
    hex = true;
    i += 2;
  }
  if (i >= s.size()) return false;
  uint64_t magnitude = 0;
  const uint64_t limit = hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
  for (; i < s.size(); ++i) {
    char16_t c = s[i];
    unsigned digit;
    if (c >= u'0' && c <= u'9')
      digit = c - u'0';
    else if (hex && c >= u'a' && c <= u'f')
      digit = c - u'a' + 10;
    else if (hex && c >= u'A' && c <= u'F')
      digit = c - u'A' + 10;
    else
      return false;
    magnitude = magnitude * (hex ? 16 : 10) + digit;
    if (magnitude > limit) return false;
  }
  uint32_t bits = static_cast<uint32_t>(magnitude);
  if (negative) bits = 0u - bits;
  out = static_cast<int32_t>(bits);
  return true;
}

bool parseBoolean(std::u16string_view s, bool defaultValue) {
  if (s.empty()) return defaultValue;
  return s == u"1" || text::equalsIgnoreCase(s, u"on") || text::equalsIgnoreCase(s, u"true") ||
         text::equalsIgnoreCase(s, u"yes");
}

}  // namespace velmoro
