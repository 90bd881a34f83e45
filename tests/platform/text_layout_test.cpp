#include "platform/text_layout.h"

#include "common/unicode.h"

#include <gtest/gtest.h>

namespace velmoro::platform {
namespace {

// At a character height of 2048 px, Arial's advances are its design units:
// A 1366, H 1479, e 1139, l 455, space 569, "." 569 (so "..." is 1707); cell 2288.
struct Layout : ::testing::Test {
  std::shared_ptr<const TFont> font = fonts::findFont(u"Arial", -2048, 400, false);
  TTextLayout layout(std::u16string_view s, TRect r, uint32_t flags) { return layoutText(s, r, flags, *font); }
};

TEST_F(Layout, EndEllipsis) {
  const struct {
    const char16_t* text;
    int32_t width;
    const char16_t* shown;
  } cases[] = {
      {u"Hello", 4667, u"Hello"},  // exactly fits
      {u"Hello", 4666, u"He..."},   // "Hell..." 5235 and "Hel..." 4780 are too wide
      {u"Hello", 4325, u"He..."},
      {u"Hello", 4324, u"H..."},
      {u"Hello", 3186, u"H..."},
      {u"Hello", 3185, u"..."},     // nothing else fits: the ellipsis alone
      {u"Hello", 100, u"..."},
      {u"", 0, u""},
  };
  for (const auto& c : cases) {
    auto l = layout(c.text, {0, 0, c.width, 3000}, DT_SINGLELINE | DT_END_ELLIPSIS | DT_NOPREFIX);
    ASSERT_EQ(l.lines.size(), 1u);
    EXPECT_EQ(l.lines[0].text, c.shown) << text::toUtf8(c.text) << " in " << c.width;
  }
  // An ellipsis never splits a surrogate pair.
  std::u16string pair = u"AA\U0001F600\U0001F600";
  std::u16string cut = endEllipsis(pair, font->textWidth(u"AA") + font->textWidth(u"...") + 10, *font);
  EXPECT_EQ(cut, u"AA...");
}

TEST_F(Layout, SingleLineAlignment) {
  const TRect r{1000, 2000, 11000, 8000};  // 10000 wide, 6000 high
  const int32_t w = 4667;                  // "Hello"
  const struct {
    uint32_t flags;
    TPoint origin;
  } cases[] = {
      {DT_LEFT | DT_TOP, {1000, 2000}},
      {DT_RIGHT | DT_TOP, {11000 - w, 2000}},
      {DT_CENTER | DT_TOP, {(1000 + 11000 - w) / 2, 2000}},
      {DT_LEFT | DT_VCENTER, {1000, (2000 + 8000 - 2288) / 2}},
      {DT_RIGHT | DT_BOTTOM, {11000 - w, 8000 - 2288}},
      {DT_CENTER | DT_BOTTOM, {(1000 + 11000 - w) / 2, 8000 - 2288}},
  };
  for (const auto& c : cases) {
    auto l = layout(u"Hello", r, c.flags | DT_SINGLELINE | DT_NOCLIP | DT_NOPREFIX);
    ASSERT_EQ(l.lines.size(), 1u);
    EXPECT_EQ(l.lines[0].origin, c.origin) << c.flags;
    EXPECT_EQ(l.lines[0].width, w);
  }
  // Line breaks do not break a single line.
  auto l = layout(u"He\r\nllo", r, DT_SINGLELINE);
  ASSERT_EQ(l.lines.size(), 1u);
  EXPECT_EQ(l.lines[0].text, u"Hello");
}

TEST_F(Layout, WordWrap) {
  // "Hell" is 3528 wide, "Hell Hell" 7625.
  const struct {
    const char16_t* text;
    int32_t width;
    std::vector<std::u16string> lines;
  } cases[] = {
      {u"Hell Hell Hell", 7625, {u"Hell Hell", u"Hell"}},
      {u"Hell Hell Hell", 7624, {u"Hell", u"Hell", u"Hell"}},
      {u"Hell Hell Hell", 100, {u"Hell", u"Hell", u"Hell"}},  // a long word stays whole
      {u"Hell\nHell Hell", 20000, {u"Hell", u"Hell Hell"}},
      {u"Hell\r\n\r\nHell", 20000, {u"Hell", u"", u"Hell"}},
      {u"  Hell   ", 20000, {u"  Hell"}},  // blanks at the end are dropped
  };
  for (const auto& c : cases) {
    auto l = layout(c.text, {0, 0, c.width, 100}, DT_WORDBREAK | DT_NOPREFIX);
    std::vector<std::u16string> got;
    for (const auto& line : l.lines) got.push_back(line.text);
    EXPECT_EQ(got, c.lines) << text::toUtf8(c.text) << " in " << c.width;
    for (size_t i = 0; i < l.lines.size(); ++i) EXPECT_EQ(l.lines[i].origin.y, static_cast<int32_t>(i) * 2288);
    EXPECT_EQ(l.height, static_cast<int32_t>(c.lines.size()) * 2288);
  }
  // Each wrapped line is aligned on its own; vertical centring needs a single line.
  auto l = layout(u"Hell Hell Hell", {0, 0, 8000, 20000}, DT_WORDBREAK | DT_RIGHT | DT_VCENTER);
  ASSERT_EQ(l.lines.size(), 2u);
  EXPECT_EQ(l.lines[0].origin, (TPoint{8000 - 7625, 0}));
  EXPECT_EQ(l.lines[1].origin, (TPoint{8000 - 3528, 2288}));
}

TEST_F(Layout, Prefixes) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"A&&B", u"A&B"}, {u"&Hello", u"Hello"}, {u"A&", u"A"}, {u"&&&l", u"&l"}};
  for (auto [in, shown] : cases) {
    EXPECT_EQ(layout(in, {0, 0, 99999, 9999}, DT_SINGLELINE).lines[0].text, shown) << text::toUtf8(in);
    EXPECT_EQ(layout(in, {0, 0, 99999, 9999}, DT_SINGLELINE | DT_NOPREFIX).lines[0].text, in);
  }
}

}  // namespace
}  // namespace velmoro::platform
