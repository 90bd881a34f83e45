#include "generator/match_labels.h"

#include <array>

namespace velmoro::draw {

namespace {

std::array<std::u16string, 96> buildLabels() {
  std::array<std::u16string, 96> labels;
  size_t k = 0;
  for (const char16_t* suffix : {u"", u"2"})
    for (char16_t first : {u'A', u'a'})
      for (char16_t c = first; c < first + 26; ++c) {
        if (c == first + (u'Q' - u'A') || c == first + (u'W' - u'A')) continue;
        labels[k++] = std::u16string(1, c) + suffix;
      }
  return labels;
}

const std::array<std::u16string, 96> kLabels = buildLabels();

}  // namespace

std::u16string matchLabel(int number) {
  if (number >= 1 && number <= 96) return kLabels[static_cast<size_t>(number - 1)];
  std::string digits = std::to_string(number);
  return u"M" + std::u16string(digits.begin(), digits.end());
}

}  // namespace velmoro::draw
