#include "platform/fonts.h"

#include "common/unicode.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velmoro::platform {
namespace {

// The tests' fontconfig file lists only the Liberation fonts.
TEST(Fonts, WindowsNamesResolveToLiberationAndKeepTheirNames) {
  const struct {
    const char16_t* family;
    const char* file;
    const char16_t* seen;
  } cases[] = {
      {u"Arial", "LiberationSans-Regular.ttf", u"Arial"},
      {u"arial", "LiberationSans-Regular.ttf", u"Arial"},
      {u"Times New Roman", "LiberationSerif-Regular.ttf", u"Times New Roman"},
      {u"Courier New", "LiberationMono-Regular.ttf", u"Courier New"},
      {u"liberation sans", "LiberationSans-Regular.ttf", u"Liberation Sans"},
  };
  for (const auto& c : cases) {
    auto face = fonts::findFace(c.family, false, false);
    ASSERT_TRUE(face) << text::toUtf8(c.family);
    EXPECT_TRUE(face->path().ends_with(c.file)) << face->path();
    auto font = fonts::findFont(c.family, -16, 400, false);
    EXPECT_EQ(font->family(), c.seen);  // the Windows name, spelt as installed
  }
  auto families = fonts::installedFamilies();
  for (const char16_t* f : {u"Arial", u"Times New Roman", u"Courier New", u"Liberation Sans", u"Liberation Mono"})
    EXPECT_NE(std::find(families.begin(), families.end(), f), families.end()) << text::toUtf8(f);
  EXPECT_TRUE(std::is_sorted(families.begin(), families.end()));
}

TEST(Fonts, OnlyARealFamilyMatchIsInstalled) {
  // fontconfig answers these with some other font; that is not a match.
  for (const char16_t* f : {u"Comic Sans MS", u"Helvetica", u"", u"Liberation"}) {
    EXPECT_FALSE(fonts::isInstalled(f)) << text::toUtf8(f);
    EXPECT_FALSE(fonts::findFace(f, false, false)) << text::toUtf8(f);
  }
  // Drawing with one falls back to Arial.
  auto font = fonts::findFont(u"Comic Sans MS", -16, 400, false);
  EXPECT_EQ(font->family(), u"Arial");
  EXPECT_TRUE(font->face().path().ends_with("LiberationSans-Regular.ttf"));
}

TEST(Fonts, StylesPickTheirFiles) {
  const struct {
    bool bold, italic;
    const char* file;
  } cases[] = {{false, false, "LiberationSans-Regular.ttf"},
               {true, false, "LiberationSans-Bold.ttf"},
               {false, true, "LiberationSans-Italic.ttf"},
               {true, true, "LiberationSans-BoldItalic.ttf"}};
  for (const auto& c : cases) {
    auto face = fonts::findFace(u"Arial", c.bold, c.italic);
    ASSERT_TRUE(face);
    EXPECT_TRUE(face->path().ends_with(c.file)) << face->path();
    EXPECT_EQ(face->bold(), c.bold);
    EXPECT_EQ(face->italic(), c.italic);
  }
}

TEST(Fonts, AdvanceWidthsEqualArials) {
  auto face = fonts::findFace(u"Arial", false, false);
  ASSERT_TRUE(face);
  ASSERT_EQ(face->unitsPerEm(), 2048);
  const std::pair<char32_t, int> widths[] = {{U'A', 1366}, {U'H', 1479}, {U'e', 1139}, {U'l', 455}, {U' ', 569},
                                             {U'.', 569}, {U'W', 1933}, {U'\u20AC', 1139}};
  for (auto [c, w] : widths) EXPECT_EQ(face->advance(c), w) << uint32_t(c);
  EXPECT_EQ(face->advance(U'A'), face->advance(U'A'));  // cached, same answer
  EXPECT_EQ(fonts::findFace(u"Arial", true, false)->advance(U'A'), 1479);
  auto mono = fonts::findFace(u"Courier New", false, false);
  EXPECT_TRUE(mono->fixedPitch());
  EXPECT_EQ(mono->advance(U'i'), 1229);
  EXPECT_EQ(mono->advance(U'W'), 1229);
}

TEST(Fonts, MetricsFollowTheLogicalHeight) {
  auto face = fonts::findFace(u"Arial", false, false);
  EXPECT_EQ(face->winAscent(), 1854);
  EXPECT_EQ(face->winDescent(), 434);
  const struct {
    int32_t height;
    int32_t cell, ascent, leading;
  } cases[] = {
      {-2048, 2288, 1854, 240},  // character height = em: design units 1:1
      {-16, 18, 14, 2},          // 17.875 cell, 14.48 ascent
      {2288, 2288, 1854, 240},   // positive: the cell height
      {20, 20, 16, 2},
      {0, 18, 14, 2},            // default: 12 pt at 96 dpi = 16 px
  };
  for (const auto& c : cases) {
    TFont font(u"Arial", face, c.height, 400, false);
    const TFontMetrics& m = font.metrics();
    EXPECT_EQ(m.height, c.cell) << c.height;
    EXPECT_EQ(m.ascent, c.ascent) << c.height;
    EXPECT_EQ(m.ascent + m.descent, m.height) << c.height;
    EXPECT_EQ(m.internalLeading, c.leading) << c.height;
  }
  EXPECT_EQ(TFont(u"Arial", face, -2048, 400, false).metrics().avgCharWidth, face->avgCharWidth());
  EXPECT_EQ(TFont(u"Arial", face, -1024, 400, false).metrics().avgCharWidth, (face->avgCharWidth() + 1) / 2);
}

TEST(Fonts, AdvancesRoundCumulativelyToTheExtent) {
  auto font = fonts::findFont(u"Arial", -16, 400, false);
  // A 10.67, H 11.55, e 8.90, l 3.55, space 4.45 at 16 px per em.
  EXPECT_EQ(font->advances(u"AHel lo"), (std::vector<int32_t>{11, 11, 9, 4, 4, 4, 9}));
  EXPECT_EQ(font->textWidth(u"AHel lo"), 52);
  for (std::u16string s : {u"", u"l", u"llllllllllllllllllllllllllllllll", u"Participant 128 (GER)"}) {
    int32_t sum = 0;
    for (int32_t d : font->advances(s)) sum += d;
    EXPECT_EQ(sum, font->textWidth(s)) << text::toUtf8(s);
  }
  // A character outside the BMP gets its advance on the first unit of its pair.
  std::u16string pair = u"A\U0001F600";
  auto dx = font->advances(pair);
  ASSERT_EQ(dx.size(), 3u);
  EXPECT_EQ(dx[2], 0);
}

TEST(Fonts, RawTables) {
  auto face = fonts::findFace(u"Times New Roman", false, false);
  for (const char* tag : {"cmap", "name", "head", "hhea", "hmtx", "OS/2", "post"})
    EXPECT_FALSE(face->table(tag).empty()) << tag;
  auto head = face->table("head");
  ASSERT_GE(head.size(), 20u);
  EXPECT_EQ(head[18] << 8 | head[19], 2048);  // unitsPerEm, big-endian
  EXPECT_TRUE(face->table("none").empty());
  EXPECT_TRUE(face->table("toolong").empty());
}

// Outline metrics agree with the font's own tables, read here from the raw bytes.
TEST(Fonts, OutlineMetricsMatchTheTables) {
  auto be16 = [](const std::vector<uint8_t>& t, size_t at) { return int16_t(t.at(at) << 8 | t.at(at + 1)); };
  for (bool italic : {false, true}) {
    auto face = fonts::findFace(u"Arial", false, italic);
    auto head = face->table("head"), os2 = face->table("OS/2"), post = face->table("post");
    EXPECT_EQ(face->box(), (std::array<int, 4>{be16(head, 36), be16(head, 38), be16(head, 40), be16(head, 42)}));
    EXPECT_EQ(face->typoAscender(), be16(os2, 68));
    EXPECT_EQ(face->typoDescender(), be16(os2, 70));
    EXPECT_EQ(face->capHeight(), be16(os2, 88));
    const double angle = be16(post, 4) + (uint16_t(post.at(6) << 8 | post.at(7))) / 65536.0;
    EXPECT_DOUBLE_EQ(face->italicAngle(), angle);
    EXPECT_EQ(face->italicAngle() < 0, italic);
  }
}

TEST(Fonts, FilesAreOpenedOnceAndSizedFontsCached) {
  auto first = fonts::findFont(u"Arial", -13, 700, false);
  EXPECT_EQ(fonts::findFont(u"ARIAL", -13, 700, false), first);
  const int opened = fonts::openedFileCount();
  for (int h = -40; h < 0; ++h) {
    fonts::findFont(u"Arial", h, 700, false)->textWidth(u"Participant");
    fonts::findFont(u"Arial", h, 400, false)->textWidth(u"Participant");
  }
  EXPECT_EQ(fonts::openedFileCount(), std::max(opened, 2));  // the regular and the bold file
}

}  // namespace
}  // namespace velmoro::platform
