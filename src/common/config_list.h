// The configuration list: ordered Name=Value lines, as a draw request is written.
// A line's name is the text before its first "=", its value all after it. Lookups
// compare names without regard to case (blanks count) and take the first line that
// matches; a missing key reads as "". Setting a key to "" removes its first line.
// Every change is reported to the owner's change handler.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro {

class TConfigList {
 public:
  TConfigList() = default;
  explicit TConfigList(std::u16string_view text) { setText(text); }

  // Splits at CR LF, LF or CR; a final line break adds no empty line.
  void setText(std::u16string_view text);
  std::u16string text() const;  // lines joined with CR LF, each line ended
  const std::vector<std::u16string>& lines() const { return lines_; }

  // Index of the first line named name, or -1.
  int indexOfName(std::u16string_view name) const;
  std::u16string value(std::u16string_view name) const;
  void setValue(std::u16string_view name, std::u16string_view value);
  void remove(std::u16string_view name) { setValue(name, {}); }
  void add(std::u16string line);

  // Typed reads with the configuration's conversion rules (below).
  int32_t integer(std::u16string_view name, int32_t defaultValue) const;
  bool boolean(std::u16string_view name, bool defaultValue) const;

  void setOnChange(std::function<void()> handler) { onChange_ = std::move(handler); }

 private:
  void changed() {
    if (onChange_) onChange_();
  }

  std::vector<std::u16string> lines_;
  std::function<void()> onChange_;
};

// Integer rule: optional leading blanks, optional sign, then decimal digits or, after a
// "$" or "0x" prefix, hexadecimal digits; nothing else (trailing blanks included).
// Hexadecimal values up to FFFFFFFF are read as 32-bit patterns.
bool parseInteger(std::u16string_view s, int32_t& out);
// Boolean rule: "" gives the default; "1", or "on", "true", "yes" in any case, is true;
// anything else false.
bool parseBoolean(std::u16string_view s, bool defaultValue);

}  // namespace velmoro
