#include "platform/units.h"

#include "common/unicode.h"
#include "platform/screen.h"

#include <cmath>

namespace velmoro::units {

namespace {

struct Paper {
  std::u16string_view name;
  int width, height;
};

constexpr Paper kPapers[kPaperCount] = {
    {u"", 0, 0},          {u"A0", 841, 1189},     {u"A1", 594, 841},
    {u"A2", 420, 594},    {u"A3", 297, 420},      {u"A4", 210, 297},
    {u"A5", 148, 210},    {u"A6", 105, 148},      {u"A7", 74, 105},
    {u"Letter", 216, 279}, {u"Legal", 216, 356},  {u"Junior-Legal", 203, 127},
    {u"Ledger", 432, 279}, {u"Tabloid", 279, 432},
};

}  // namespace

std::u16string_view paperName(int index) {
  return index >= 0 && index < kPaperCount ? kPapers[index].name : std::u16string_view();
}

int findPaper(std::u16string_view name) {
  for (int i = 1; i < kPaperCount; ++i)
    if (text::equalsIgnoreCase(kPapers[i].name, name)) return i;
  return -1;
}

void paperSize(int index, int orientation, int& width, int& height) {
  if (index <= 0 || index >= kPaperCount) return;
  width = kPapers[index].width;
  height = kPapers[index].height;
  if (orientation == 1) std::swap(width, height);
}

float mmToPoints(double mm) { return static_cast<float>(static_cast<long double>(mm) / 25.4L * 72); }

int pointsToPixels(double points) {
  return static_cast<int>(std::nearbyint(points / 72 * platform::screenDpi()));
}

int mmToPixels(int mm) {
  return static_cast<int>(std::nearbyintl(static_cast<long double>(mm) / 25.4L * 72 / 72 * platform::screenDpi()));
}

int mmToPdfPoints(int mm) { return static_cast<int>(mmToPoints(mm)); }

int mmToPagePixels(int mm) { return pointsToPixels(mmToPoints(mm)); }

}  // namespace velmoro::units
