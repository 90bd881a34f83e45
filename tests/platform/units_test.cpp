#include "platform/units.h"

#include "platform/screen.h"

#include <gtest/gtest.h>

namespace velmoro::units {
namespace {

TEST(Units, PaperTable) {
  EXPECT_EQ(findPaper(u"a4"), 5);
  EXPECT_EQ(findPaper(u"junior-legal"), 11);
  EXPECT_EQ(findPaper(u"B5"), -1);
  EXPECT_EQ(findPaper(u""), -1);
  int w = 1, h = 2;
  paperSize(0, 1, w, h);  // no size of its own: left as the caller filled it
  EXPECT_EQ(w, 1);
  EXPECT_EQ(h, 2);
  paperSize(5, 0, w, h);
  EXPECT_EQ(w, 210);
  EXPECT_EQ(h, 297);
  paperSize(12, 1, w, h);  // Ledger is listed wider than high: landscape makes it higher
  EXPECT_EQ(w, 279);
  EXPECT_EQ(h, 432);
}

TEST(Units, Conversions) {
  ASSERT_EQ(platform::screenDpi(), 96);
  EXPECT_EQ(mmToPagePixels(210), 794);  // A4 portrait at 96 dpi
  EXPECT_EQ(mmToPagePixels(297), 1123);
  EXPECT_EQ(mmToPixels(10), 38);
  EXPECT_EQ(mmToPdfPoints(105), 297);  // A6 as a PDF page: 297 x 419 points
  EXPECT_EQ(mmToPdfPoints(148), 419);
  EXPECT_EQ(pointsToPixels(0.375), 0);  // 0.5 px: ties go to even
  EXPECT_EQ(pointsToPixels(1.125), 2);  // 1.5 px
  EXPECT_EQ(pointsToPixels(1.875), 2);  // 2.5 px
}

}  // namespace
}  // namespace velmoro::units
