// PDF fonts and text: names, widths, the WinAnsi font and its Unicode companion.
#include "pdf/pdf_canvas.h"
#include "pdf/pdf_errors.h"
#include "pdf/pdf_fonts.h"

#include "platform/fonts.h"
#include "test_support.h"

#include <cmath>
#include <cctype>

namespace velmoro::pdf {
namespace {

// "ABCDEF+Arial": a subset tag of six capitals before the name.
bool isSubsetName(const std::string& name, const std::string& base) {
  if (name.size() != 7 + base.size() || name.substr(6) != "+" + base) return false;
  for (int i = 0; i < 6; ++i)
    if (name[i] < 'A' || name[i] > 'Z') return false;
  return true;
}

// "[g[w]g[w]...]" with decimal glyphs and widths.
bool isWidthArray(const std::string& w) {
  size_t i = 0;
  auto digits = [&] {
    const size_t start = i;
    while (i < w.size() && std::isdigit(static_cast<unsigned char>(w[i]))) ++i;
    return i > start;
  };
  if (w.size() < 2 || w[i++] != '[') return false;
  do {
    if (!digits() || w[i++] != '[' || !digits() || w[i++] != ']') return false;
  } while (i < w.size() && w[i] != ']');
  return i + 1 == w.size();
}

struct Page {
  TPdfDocument doc;
  TPdfCanvas& c = doc.Canvas();
  Page() { doc.AddPage(); }
  std::string content() const { return doc.CurrentPage()->Contents->Content(); }
};

TEST(PdfFonts, BaseFontNamesAndFallbacks) {
  struct Name {
    const char* family;
    uint8_t style;
    const char* baseFont;
  };
  const Name names[] = {
      {"Arial", kStyleBold | kStyleItalic, "Arial,BoldItalic"},
      {"arial", kStyleBold, "Arial,Bold"},  // found ignoring case, named as installed
      {"Arial", kStyleItalic, "Arial,Italic"},
      {"Times New Roman", 0, "TimesNewRoman"},
      {"Courier New", kStyleBold, "CourierNew,Bold"},
      {"Helvetica", 0, "Arial"},
      {"Courier", 0, "CourierNew"},
      {"Times", kStyleItalic, "TimesNewRoman,Italic"},
      {"No Such Face", 0, "Arial"},
  };
  for (const Name& n : names) {
    Page p;
    TPdfFontTrueType& font = p.c.SetFontByName(n.family, n.style, -1, 12);
    EXPECT_EQ(font.BaseName(), n.baseFont) << n.family;
    // The BaseFont is written as a name, spaces and all escaped.
    EXPECT_EQ(font.Dictionary().As<TPdfName>("BaseFont")->Value, n.baseFont);
  }
  Page p;
  TPdfWrite w;
  w.AddName("Liberation Sans");
  EXPECT_EQ(w.Buffer(), "/Liberation#20Sans");
}

TEST(PdfFonts, WidthsCoverExactlyTheCodesUsed) {
  Page p;
  p.c.SetFontByName("Arial", 0, -1, 10);
  p.c.ShowText(u"ACE");
  p.doc.SaveToBytes();
  TPdfFontTrueType& f = *p.c.CurrentFont();
  auto face = platform::fonts::findFace(u"Arial", false, false);
  ASSERT_TRUE(face);
  auto w = [&](char32_t c) { return std::to_string(std::lround(face->advance(c) * 1000.0 / face->unitsPerEm())); };
  EXPECT_EQ(f.Dictionary().As<TPdfNumber>("FirstChar")->Value, 'A');
  EXPECT_EQ(f.Dictionary().As<TPdfNumber>("LastChar")->Value, 'E');
  EXPECT_EQ(f.Dictionary().As<TPdfRawText>("Widths")->Value, "[" + w('A') + " 0 " + w('C') + " 0 " + w('E') + " ]");
  EXPECT_EQ(w('A'), "667");  // Liberation Sans: 1366 of 2048 units
  // Text width in points: the same widths at the size.
  EXPECT_NEAR(p.c.TextWidth(u"ACE"), (667 + 722 + 667) * 10 / 1000.0, 1e-9);
}

TEST(PdfFonts, LatinAndCyrillicAlternateBetweenTheTwoFonts) {
  Page p;
  p.c.SetFontByName("Arial", 0, -1, 15);
  p.c.ShowText(u"Anna \u0418\u0432\u0430\u043D Berg (5 \u20AC)");
  const std::string c = p.content();
  // F0 the WinAnsi font, F1 its companion: a Tf at every switch; the space after the
  // Cyrillic word goes with it; the euro sign is WinAnsi code 128.
  const std::string head = "/F0 15 Tf\n(Anna ) Tj\n/F1 15 Tf\n<", tail = "> Tj\n/F0 15 Tf\n(Berg \\(5 \x80\\)) Tj\n";
  ASSERT_EQ(c.size(), head.size() + 5 * 4 + tail.size()) << c;
  EXPECT_TRUE(c.starts_with(head)) << c;
  EXPECT_TRUE(c.ends_with(tail)) << c;
  EXPECT_EQ(c.substr(head.size(), 20).find_first_not_of("0123456789ABCDEF"), std::string::npos) << c;
  p.doc.SaveToBytes();
  TPdfFontTrueType& ansi = p.c.CurrentFont()->WinAnsiFont();
  TPdfFontTrueType& uni = ansi.Companion();
  EXPECT_EQ(uni.Dictionary().As<TPdfName>("Subtype")->Value, "Type0");
  EXPECT_EQ(uni.Dictionary().As<TPdfName>("Encoding")->Value, "Identity-H");
  auto* map = uni.Dictionary().As<TPdfStream>("ToUnicode");
  ASSERT_TRUE(map);
  EXPECT_NE(map->Content().find("1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n"), std::string::npos);
  EXPECT_NE(map->Content().find("5 beginbfchar\n"), std::string::npos);  // four letters and the space
  EXPECT_NE(map->Content().find("> <0418>\n"), std::string::npos);
  // The glyph indexes belong to the measured font file: a subset of it is embedded.
  auto* descendants = uni.Dictionary().As<TPdfArray>("DescendantFonts");
  ASSERT_TRUE(descendants);
  auto* cid = dynamic_cast<TPdfDictionary*>(descendants->Item(0));
  ASSERT_TRUE(cid);
  auto* descriptor = cid->As<TPdfDictionary>("FontDescriptor");
  ASSERT_TRUE(descriptor && descriptor->As<TPdfStream>("FontFile2"));
  EXPECT_TRUE(isSubsetName(cid->As<TPdfName>("BaseFont")->Value, "Arial"));
  EXPECT_TRUE(isWidthArray(cid->As<TPdfRawText>("W")->Value)) << cid->As<TPdfRawText>("W")->Value;
  EXPECT_FALSE(isWidthArray("[3[500]4]"));
}

TEST(PdfFonts, StyleIsPartOfTheFont) {
  Page p;
  emf::TLogFont plain;
  plain.faceName = u"Arial";
  emf::TLogFont underlined = plain;
  underlined.underline = 1;
  emf::TLogFont bold = plain;
  bold.weight = 700;
  TPdfFontTrueType& a = p.c.SetFont(plain, 10);
  TPdfFontTrueType& b = p.c.SetFont(underlined, 10);
  TPdfFontTrueType& c = p.c.SetFont(bold, 10);
  EXPECT_NE(&a, &b);
  EXPECT_NE(a.ShortName(), b.ShortName());
  EXPECT_EQ(a.BaseName(), b.BaseName());
  EXPECT_EQ(c.BaseName(), "Arial,Bold");
  EXPECT_EQ(&p.c.SetFont(plain, 12), &a);  // the same logical font again: the same PDF font
  EXPECT_NE(p.content().find("/F0 12 Tf\n"), std::string::npos);
  EXPECT_THROW(p.c.SetFont(plain, 2000.5), EPdfInvalidValue);
  EXPECT_THROW(p.c.SetWordSpace(-1), EPdfInvalidValue);
}

}  // namespace
}  // namespace velmoro::pdf
