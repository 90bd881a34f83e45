#include "pdf/metafile_document.h"

#include "common/error.h"
#include "common/unicode.h"
#include "emf_check.h"
#include "platform/emf_reader.h"
#include "platform/screen.h"
#include "test_support.h"

namespace velmoro::pdf {
namespace {

std::u16string u16(const std::filesystem::path& p) { return text::fromUtf8(p.string()); }

TEST(MetafileDocument, PageSizesFollowPaperAndOrientation) {
  ASSERT_EQ(platform::screenDpi(), 96);
  const struct {
    uint8_t paper, orientation;
    int32_t width, height;
  } cases[] = {
      {5, 0, 794, 1123},   // A4
      {5, 1, 1123, 794},
      {0, 1, 794, 1123},   // no paper: 210 x 297 mm whatever the orientation
      {9, 0, 816, 1054},   // Letter 216 x 279
      {11, 1, 480, 767},   // Junior-Legal is listed wider than high
      {1, 0, 3179, 4494},  // A0
  };
  for (const auto& c : cases) {
    TMetafileDocument doc;
    doc.PaperSize = c.paper;
    doc.Orientation = c.orientation;
    EXPECT_EQ(doc.AddPage(), 0);
    EXPECT_EQ(doc.Page(0).Width, c.width) << int(c.paper) << "/" << int(c.orientation);
    EXPECT_EQ(doc.Page(0).Height, c.height) << int(c.paper) << "/" << int(c.orientation);
  }
}

TEST(MetafileDocument, PrintRectIsThePageLessItsMargins) {
  TMetafileDocument doc;
  EXPECT_EQ(doc.Canvas(), nullptr);  // no pages
  EXPECT_EQ(doc.GetPrintRect(), TRect{});
  EXPECT_EQ(doc.DefaultFontHeight(), -11);
  doc.Margins = {10, 10, 10, 10};
  doc.AddPage();
  EXPECT_EQ(doc.GetPrintRect(), (TRect{38, 38, 756, 1085}));  // 10 mm = 38 px
  EXPECT_EQ(doc.DefaultFontHeight(), -10);                     // 1047 / 96
  ASSERT_NE(doc.Canvas(), nullptr);
  EXPECT_EQ(doc.Canvas(), doc.Canvas());  // one open canvas
  doc.Margins = {0, 0, 0, 0};  // an open canvas keeps the rectangle it was opened with
  EXPECT_EQ(doc.GetPrintRect(), (TRect{38, 38, 756, 1085}));
  doc.CloseCanvas();
  EXPECT_EQ(doc.GetPrintRect(), (TRect{0, 0, 794, 1123}));

  doc.Margins = {150, 200, 150, 200};  // larger than the page: inverted, no error
  EXPECT_TRUE(doc.GetPrintRect().isEmpty());
  EXPECT_EQ(doc.DefaultFontHeight(), -11);

  TMetafileDocument small;
  small.PaperSize = 8;  // A7: 397 px high, less 76 for the margins
  small.Margins = {10, 10, 10, 10};
  small.AddPage();
  EXPECT_EQ(small.DefaultFontHeight(), -4);  // 321 / 96 = 3, at least 4
}

TEST(MetafileDocument, PageIndexOutOfRangeMovesToTheLastPage) {
  TMetafileDocument doc;
  doc.AddPage();
  doc.AddPage();
  EXPECT_EQ(doc.PageIndex, 1);
  doc.Clear();
  EXPECT_EQ(doc.Count(), 0);
  EXPECT_EQ(doc.PageIndex, 1);  // Clear keeps it
  EXPECT_EQ(doc.Canvas(), nullptr);
  EXPECT_EQ(doc.PageIndex, -1);
  doc.AddPage();
  doc.AddPage();
  doc.AddPage();
  doc.PageIndex = 7;
  ASSERT_NE(doc.Canvas(), nullptr);
  EXPECT_EQ(doc.PageIndex, 2);
  doc.CloseCanvas();
  doc.PageIndex = -5;
  doc.GetPrintRect();
  EXPECT_EQ(doc.PageIndex, 2);
}

TEST(MetafileDocument, PageFileNames) {
  const struct {
    const char16_t* name;
    int32_t count;
    std::vector<std::u16string> first, last;
  } cases[] = {
      {u"/out/draw.emf", 1, {u"/out/draw.emf"}, {u"/out/draw.emf"}},
      {u"/out/draw.emf", 9, {u"/out/draw0.emf"}, {u"/out/draw8.emf"}},
      {u"/out/draw.emf", 10, {u"/out/draw00.emf"}, {u"/out/draw09.emf"}},
      {u"/out/draw.emf", 12, {u"/out/draw00.emf"}, {u"/out/draw11.emf"}},
      {u"/out/draw.emf", 100, {u"/out/draw000.emf"}, {u"/out/draw099.emf"}},
      {u"/out/draw", 12, {u"/out/draw00"}, {u"/out/draw11"}},
      {u"/out.d/draw", 2, {u"/out.d/draw0"}, {u"/out.d/draw1"}},  // a dot in a folder is no extension
      {u"C:\\Out\\draw.x.emf", 2, {u"C:\\Out\\draw.x0.emf"}, {u"C:\\Out\\draw.x1.emf"}},
  };
  for (const auto& c : cases) {
    auto names = pageFileNames(c.name, c.count);
    ASSERT_EQ(names.size(), static_cast<size_t>(c.count));
    EXPECT_EQ(names.front(), c.first[0]) << text::toUtf8(c.name) << " " << c.count;
    EXPECT_EQ(names.back(), c.last[0]) << text::toUtf8(c.name) << " " << c.count;
  }
  EXPECT_TRUE(pageFileNames(u"/out/draw.emf", 0).empty());
}

TEST(MetafileDocument, SavesEveryPageAsASoundEmf) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  TMetafileDocument doc;
  doc.Margins = {10, 10, 10, 10};
  doc.CreatedBy = u"Velmoro 1.0";
  doc.Description = u"Club championship";
  for (int i = 0; i < 3; ++i) {
    doc.AddPage();
    platform::TCanvas* c = doc.Canvas();
    const TRect r = doc.GetPrintRect();
    c->Rectangle(r);
    c->Font.Height = doc.DefaultFontHeight();
    c->TextOut(r.left, r.top, u"Page " + text::fromAscii(std::to_string(i + 1)));
  }
  // The last page is still open: saving closes it.
  doc.SaveToFiles(u16(dir / "draw.emf"));
  EXPECT_FALSE(std::filesystem::exists(dir / "draw.emf"));
  for (int i = 0; i < 3; ++i) {
    const auto path = dir / ("draw" + std::to_string(i) + ".emf");
    VELMORO_EXPECT_SOUND_EMF(conv, path);
    auto file = emf::readEmfFile(u16(path));
    EXPECT_EQ(file.createdBy(), u"Velmoro 1.0");
    EXPECT_EQ(file.descriptionText(), u"Club championship");
    EXPECT_EQ(file.pictureWidth(), 794);
    EXPECT_EQ(file.pictureHeight(), 1123);
    EXPECT_EQ(file.header.bounds, (TRect{38, 38, 755, 1084}));
    bool text = false;
    for (const auto& r : file.records)
      if (r.type == emf::EMR_EXTTEXTOUTW) text = emf::extTextOut(r).text == u"Page " + text::fromAscii(std::to_string(i + 1));
    EXPECT_TRUE(text) << path;
  }
  const std::string dump = test::emf2svgDump(conv, dir / "draw0.emf");
  EXPECT_NE(dump.find("Desc. B:  Club championship"), std::string::npos);
  EXPECT_NE(dump.find("rclBox:         {38,38,756,1085}"), std::string::npos);
}

TEST(MetafileDocument, OnePageKeepsTheNameAndNoPagesWriteNothing) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  TMetafileDocument none;
  none.SaveToFiles(u16(dir / "none.emf"));
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));

  TMetafileDocument one;
  one.AddPage();  // never drawn on: still a valid picture of the page's size
  one.SaveToFiles(u16(dir / "one.emf"));
  VELMORO_EXPECT_SOUND_EMF(conv, dir / "one.emf");
  auto file = emf::readEmfFile(u16(dir / "one.emf"));
  EXPECT_EQ(file.header.description, u"");  // both texts empty: no description
  EXPECT_EQ(file.pictureHeight(), 1123);

  test::writeFile(dir / "old.emf", "old contents");  // existing files are overwritten
  one.SaveToFiles(u16(dir / "old.emf"));
  EXPECT_NE(test::readFile(dir / "old.emf"), "old contents");
}

TEST(MetafileDocument, AFailedSaveRaisesAndLeavesTheDocumentUsable) {
  test::ScratchDir dir;
  test::writeFile(dir / "file", "x");
  TMetafileDocument doc;
  doc.AddPage();
  doc.Canvas()->LineTo(10, 10);
  EXPECT_THROW(doc.SaveToFiles(u16(dir / "file" / "x.emf")), Error);
  EXPECT_EQ(doc.Count(), 1);
  doc.SaveToFiles(u16(dir / "x.emf"));
  EXPECT_TRUE(std::filesystem::exists(dir / "x.emf"));
  doc.Clear();
}

}  // namespace
}  // namespace velmoro::pdf
