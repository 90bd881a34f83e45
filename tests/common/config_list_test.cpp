#include "common/config_list.h"

#include <gtest/gtest.h>

namespace velmoro {
namespace {

TEST(ConfigList, LookupRules) {
  TConfigList c(u"drawtitle=Cup\r\nDrawType = Singles\r\nA=B=C\r\nDrawTitle=Second\r\n"
                u"Padded= x \r\nnot a pair\r\nEmpty=\r\n");
  EXPECT_EQ(c.value(u"DrawTitle"), u"Cup");        // names ignore case, first line wins
  EXPECT_EQ(c.value(u"DrawType"), u"");            // blank before "=" is part of the name
  EXPECT_EQ(c.value(u"DrawType "), u" Singles");
  EXPECT_EQ(c.value(u"A"), u"B=C");                // value runs from the first "="
  EXPECT_EQ(c.value(u"Padded"), u" x ");           // blanks are kept
  EXPECT_EQ(c.value(u"not a pair"), u"");
  EXPECT_EQ(c.value(u"Missing"), u"");
  EXPECT_EQ(c.indexOfName(u"Empty"), 6);
}

TEST(ConfigList, CaseFoldingIsNotAsciiOnly) {
  TConfigList c(u"Stra\u00DFe=1\r\n\u0130=dotted\r\n");
  EXPECT_EQ(c.value(u"STRASSE"), u"");  // simple folding: no multi-letter expansion
  EXPECT_EQ(c.value(u"stra\u00DFe"), u"1");
  EXPECT_EQ(c.value(u"\u00C9t\u00E9"), u"");
  TConfigList greek(u"\u0391\u0392\u0393=abc\r\n");
  EXPECT_EQ(greek.value(u"\u03B1\u03B2\u03B3"), u"abc");
}

TEST(ConfigList, LineBreaks) {
  TConfigList c(u"A=1\nB=2\rC=3\r\n\r\nD=4");
  EXPECT_EQ(c.lines().size(), 5u);
  EXPECT_EQ(c.value(u"C"), u"3");
  EXPECT_EQ(c.value(u"D"), u"4");
  EXPECT_EQ(c.text(), u"A=1\r\nB=2\r\nC=3\r\n\r\nD=4\r\n");
}

TEST(ConfigList, SetRemoveAndNotify) {
  TConfigList c(u"A=1\r\nB=2\r\nA=3\r\n");
  int changes = 0;
  c.setOnChange([&] { ++changes; });
  c.setValue(u"a", u"x");
  EXPECT_EQ(c.lines()[0], u"a=x");  // replaces the first line only
  EXPECT_EQ(c.lines()[2], u"A=3");
  c.setValue(u"New", u"v");
  EXPECT_EQ(c.lines().back(), u"New=v");
  c.setValue(u"A", u"");  // empty removes the first line of the key
  EXPECT_EQ(c.value(u"A"), u"3");
  c.remove(u"Nothing");   // no line, no change
  EXPECT_EQ(changes, 3);
}

struct IntegerCase {
  const char16_t* text;
  bool ok;
  int32_t value;
};

TEST(ConfigList, IntegerRule) {
  const IntegerCase cases[] = {
      {u"120", true, 120},       {u"120 ", false, 0},      {u"  42", true, 42},
      {u"-7", true, -7},         {u"+7", true, 7},         {u"$1F", true, 31},
      {u"0x1f", true, 31},       {u"0X10", true, 16},      {u"-$10", true, -16},
      {u"$FFFFFFFF", true, -1},  {u"2147483647", true, 2147483647},
      {u"-2147483648", true, INT32_MIN},                   {u"2147483648", false, 0},
      {u"", false, 0},           {u" ", false, 0},         {u"abc", false, 0},
      {u"1.5", false, 0},        {u"$", false, 0},         {u"0x", false, 0},
      {u"$G", false, 0},         {u"1e3", false, 0},       {u"12abc", false, 0},
  };
  for (const auto& c : cases) {
    int32_t v = 0;
    bool ok = parseInteger(c.text, v);
    EXPECT_EQ(ok, c.ok) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
    if (ok && c.ok) {
      EXPECT_EQ(v, c.value);
    }
  }
  TConfigList cfg(u"DrawFontPercent=120 \r\nDrawLineWidth=3\r\n");
  EXPECT_EQ(cfg.integer(u"DrawFontPercent", 100), 100);
  EXPECT_EQ(cfg.integer(u"DrawLineWidth", 1), 3);
  EXPECT_EQ(cfg.integer(u"Missing", 10), 10);
}

TEST(ConfigList, BooleanRule) {
  const std::pair<const char16_t*, bool> cases[] = {
      {u"1", true},     {u"Yes", true},   {u"yes", true},  {u"TRUE", true},  {u"On", true},
      {u"2", false},    {u"0", false},    {u"no", false},  {u" 1", false},   {u"yes ", false},
      {u"y", false},    {u"01", false},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(parseBoolean(text, false), expected);
    EXPECT_EQ(parseBoolean(text, true), expected);
  }
  EXPECT_TRUE(parseBoolean(u"", true));  // empty means the key's default
  EXPECT_FALSE(parseBoolean(u"", false));
}

}  // namespace
}  // namespace velmoro
