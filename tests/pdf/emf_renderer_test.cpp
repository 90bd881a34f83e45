// The EMF renderer: what each kind of record turns into on the page, bitmaps as image
// objects, comments as destinations and links, and damaged pictures.
#include "pdf/emf_renderer.h"
#include "pdf/pdf_canvas.h"
#include "pdf/pdf_errors.h"
#include "pdf/pdf_image.h"

#include "common/unicode.h"
#include "emf_builder.h"
#include "render_support.h"
#include "test_support.h"

#include <cmath>
#include <functional>

namespace velmoro::pdf {
namespace {

using test::EmfBuilder;
using namespace emf;

size_t count(const std::string& s, const std::string& what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) ++n;
  return n;
}

struct Case {
  const char* name;
  std::function<void(EmfBuilder&)> draw;
  std::vector<std::string> present, absent;
};

TEST(EmfRenderer, RecordsBecomeOperators) {
  const Case cases[] = {
      {"a run of line-to records is one path, stroked once",
       [](EmfBuilder& e) { e.moveTo(10, 10).lineTo(20, 10).lineTo(20, 20).lineTo(10, 20).rectangle(0, 0, 4, 4); },
       {"7.5 834.5 m\n15 834.5 l\n15 827 l\n7.5 827 l\nS\n"}, {}},
      {"a move to (0, 0) is a real move",
       [](EmfBuilder& e) { e.moveTo(30, 30).lineTo(40, 40).moveTo(0, 0).lineTo(10, 0); },
       {"0 842 m\n7.5 842 l\n"}, {}},
      {"a rectangle before any brush is only stroked",
       [](EmfBuilder& e) { e.rectangle(10, 10, 50, 50); }, {"7.5 804.5 30 30 re\nS\n"}, {"B\n", "f\n"}},
      {"a solid brush fills and strokes",
       [](EmfBuilder& e) { e.brush(1, BS_SOLID, 0x0000FF).select(1).rectangle(10, 10, 50, 50); },
       {"1 0 0 rg\n", "re\nB\n"}, {}},
      {"a pen of width 0 draws one pixel",
       [](EmfBuilder& e) {
         e.pen(1, PS_SOLID, 0, 0xFF0000).select(1).poly16(EMR_POLYLINE16, {{0, 0}, {10, 10}});
       },
       {"0 0 1 RG\n", "0.75 w\n", "7.5 834.5 l\nS\n"}, {}},
      {"a null pen draws no line, also in polylines; polygons are only filled",
       [](EmfBuilder& e) {
         e.pen(1, PS_NULL, 1, 0).select(1).brush(2, BS_SOLID, 0x00FF00).select(2);
         e.poly16(EMR_POLYLINE16, {{0, 0}, {10, 10}, {20, 0}});
         e.poly16(EMR_POLYGON16, {{0, 0}, {10, 10}, {20, 0}});
         e.moveTo(5, 5).lineTo(50, 50);
       },
       {"h\nf\n"}, {"RG\n", "37.5 804.5 l\n", "7.5 834.5 l\nS\n"}},
      {"dashes follow the pen style",
       [](EmfBuilder& e) { e.pen(1, PS_DASH, 2, 0).select(1).rectangle(0, 0, 10, 10); },
       {"[4 4 ] 0 d\n", "1.5 w\n"}, {}},
      {"an object of an unknown kind, or none, is ignored and drawing goes on",
       [](EmfBuilder& e) {
         e.words(95 /* EXTCREATEPEN */, {1, 0, 0, 0, 0, 0, 1, 0x00FF00, 0, 0}).select(1).rectangle(0, 0, 10, 10);
         e.select(2).rectangle(20, 20, 30, 30).select(200).rectangle(40, 40, 50, 50);
       },
       {"0 834.5 7.5 7.5 re\nS\n", "15 819.5 7.5 7.5 re\nS\n", "30 804.5 7.5 7.5 re\nS\n"}, {}},
      {"a pattern copy without a bitmap fills with the brush",
       [](EmfBuilder& e) {
         e.brush(1, BS_SOLID, 0x00FF00).select(1);
         e.words(EMR_BITBLT, {0, 0, 0, 0, 10, 10, 40, 20, PATCOPY, 0, 0, 0x3F800000, 0, 0, 0x3F800000, 0, 0, 0, 0,
                              0, 0, 0, 0});
         e.words(EMR_BITBLT, {0, 0, 0, 0, 100, 100, 40, 20, 0x00CC0020, 0, 0, 0x3F800000, 0, 0, 0x3F800000, 0, 0, 0,
                              0, 0, 0, 0, 0});
       },
       {"n\n0 1 0 rg\n7.5 819.5 30 15 re\nf\n"}, {"75 "}},
      {"a clipping rectangle wraps the text in q and Q, clipped before BT",
       [](EmfBuilder& e) {
         e.font(1, u"Arial", -20).select(1).text(100, 100, u"Anna", {}, ETO_CLIPPED, {90, 90, 200, 130});
       },
       {"q\n66.75 773.75 m\n66.75 743.75 l\n149.25 743.75 l\n149.25 773.75 l\nh\nW\nn\nBT\n", "ET\nQ\n"}, {}},
      {"an underline is a line of a fifteenth of the size in the text colour, the pen restored after",
       [](EmfBuilder& e) {
         e.words(EMR_SETTEXTCOLOR, {0xFF}).font(1, u"Arial", -20, 400, true).select(1).text(100, 100, u"Anna");
       },
       {"ET\n1 0 0 RG\n[] 0 d\n1 w\n", " l\nS\n0 0 0 RG\n0.75 w\n"}, {}},
      {"text at an angle is placed with a matrix",
       [](EmfBuilder& e) { e.font(1, u"Arial", -20, 400, false, 900).select(1).text(100, 100, u"Up"); },
       {"BT\n0 1 -1 0 "}, {"Td\n"}},
      {"glyph indexes are shown with the companion font",
       [](EmfBuilder& e) { e.font(1, u"Arial", -20).select(1).text(100, 100, u"\x0024\x0025", {}, ETO_GLYPH_INDEX); },
       {"BT\n75 754.17 Td\n/F1 15 Tf\n<00240025> Tj\nET\n"}, {}},
      {"an ellipse is four curves",
       [](EmfBuilder& e) { e.words(EMR_ELLIPSE, {0, 0, 40, 20}); }, {"0 834.5 m\n"}, {"h\n"}},
  };
  for (const Case& c : cases) {
    EmfBuilder e;
    c.draw(e);
    TPdfDocument doc;
    const std::string content = test::renderPage(doc, e.finish());
    for (const auto& s : c.present) EXPECT_NE(content.find(s), std::string::npos) << c.name << "\nwanted " << s << "\nin\n" << content;
    for (const auto& s : c.absent) EXPECT_EQ(content.find(s), std::string::npos) << c.name << "\nunwanted " << s << "\nin\n" << content;
    EXPECT_EQ(test::qBalance(content), "") << c.name;
    if (std::string(c.name).starts_with("an ellipse")) {
      EXPECT_EQ(count(content, " c\n"), 4u);
    }
    if (std::string(c.name).starts_with("a run")) {
      EXPECT_EQ(count(content, "S\n"), 2u) << content;
    }
  }
}

// The width the renderer measures for text at a pixel height, in pixels.
int64_t measured(std::u16string_view text, int32_t heightPx) {
  TPdfDocument doc;
  doc.AddPage();
  doc.Canvas().SetFontByName("Arial", 0, -1, heightPx * 0.75);
  return std::llround(doc.Canvas().TextWidth(text) / 0.75);
}

TEST(EmfRenderer, TextFitsItsAdvancesWithWordSpacingOrScaling) {
  const std::u16string spaced = u"Annabelle Bergstrom", solid = u"AnnabelleBergstrom";
  const int64_t ms = measured(spaced, 20), m = measured(solid, 20);
  struct Fit {
    const char* name;
    std::u16string text;
    int64_t target;
    std::string expected;  // "" for neither Tw nor Tz
  };
  auto tz = [&](int64_t target, int64_t width) { return formatRealB(double(target) * 100 / double(width)) + " Tz\n"; };
  const Fit fits[] = {
      {"advances equal to the measured width", spaced, ms, ""},
      {"half a percent wider stays unscaled", solid, m + m / 200, ""},
      {"three percent wider with a space is word-spaced", spaced, ms * 103 / 100,
       formatRealA(double(ms * 103 / 100 - ms) * 0.75) + " Tw\n"},
      {"three percent wider without a space is scaled", solid, m * 103 / 100, tz(m * 103 / 100, m)},
      {"beyond three times the width is held at 300 %", solid, m * 4, "300 Tz\n"},
      {"below a tenth of the width is held at 10 %", solid, m / 20, "10 Tz\n"},
  };
  for (const Fit& f : fits) {
    std::vector<int32_t> dx(f.text.size(), 0);
    dx.back() = static_cast<int32_t>(f.target);
    EmfBuilder e;
    e.font(1, u"Arial", -20).select(1).text(100, 100, f.text, dx);
    TPdfDocument doc;
    const std::string content = test::renderPage(doc, e.finish());
    if (f.expected.empty()) {
      EXPECT_EQ(content.find("Tw\n"), std::string::npos) << f.name << content;
      EXPECT_EQ(content.find("Tz\n"), std::string::npos) << f.name << content;
    } else {
      EXPECT_NE(content.find("/F0 15 Tf\n" + f.expected), std::string::npos) << f.name << "\n" << f.expected << content;
      // Set back after the run.
      EXPECT_NE(content.find(f.expected.ends_with("Tw\n") ? "ET\n0 Tw\n" : "ET\n100 Tz\n"), std::string::npos) << f.name;
    }
  }
}

TEST(EmfRenderer, FailuresOfThePicture) {
  auto render = [](const std::function<void(EmfBuilder&)>& draw) {
    EmfBuilder e;
    draw(e);
    TPdfDocument doc;
    std::string content;
    try {
      content = test::renderPage(doc, e.finish());
    } catch (...) {
      EXPECT_EQ(doc.CurrentPage()->Contents->Content().back(), '\n');
      EXPECT_EQ(test::qBalance(doc.CurrentPage()->Contents->Content()), "");  // Q written on the way out
      throw;
    }
    return content;
  };
  auto saves = [](int n) {
    return [n](EmfBuilder& e) {
      for (int i = 0; i < n; ++i) e.words(EMR_SAVEDC, {});
    };
  };
  EXPECT_NO_THROW(render(saves(10)));
  EXPECT_THROW(render(saves(11)), Error);
  EXPECT_THROW(render([](EmfBuilder& e) { e.words(EMR_RESTOREDC, {uint32_t(-1)}); }), Error);
  try {
    render([](EmfBuilder& e) { e.font(1, u"Arial", -2700).select(1).text(10, 10, u"x"); });  // 2025 points
    ADD_FAILURE() << "a font above 2000 points was drawn";
  } catch (const EPdfInvalidValue& e) {
    EXPECT_STREQ(e.what(), "SetFontSize");
  }
  EXPECT_NO_THROW(render([](EmfBuilder& e) { e.font(1, u"Arial", -2600).select(1).text(10, 10, u"x"); }));
}

// A 2 x 2 bitmap: colours of the top-left, top-right, bottom-left and bottom-right pixels.
struct Dib {
  std::vector<uint8_t> bmi, bits;
};
Dib makeDib(int bpp, bool topDown, uint32_t compression = 0) {
  const uint32_t colors[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};  // 0xRRGGBB
  const int indexes[4] = {0, 1, bpp == 1 ? 1 : 2, bpp == 1 ? 0 : 3};
  Dib d;
  auto put = EmfBuilder::put;
  for (uint32_t v : {40u, 2u, uint32_t(topDown ? -2 : 2)}) put(d.bmi, v);
  EmfBuilder::put16(d.bmi, 1), EmfBuilder::put16(d.bmi, uint16_t(bpp));
  const uint32_t entries = bpp == 1 ? 2 : bpp <= 8 ? 4 : 0;
  for (uint32_t v : {compression, 0u, 0u, 0u, entries, 0u}) put(d.bmi, v);
  if (bpp <= 8)
    for (uint32_t i = 0; i < entries; ++i) put(d.bmi, colors[i]);  // B, G, R, 0 little-endian
  if (compression == 3) {
    for (uint32_t m : {0xF800u, 0x07E0u, 0x001Fu}) put(d.bmi, m);  // 5-6-5
  }
  const int stride = (2 * bpp + 31) / 32 * 4;
  for (int row = 0; row < 2; ++row) {
    const int y = topDown ? row : 1 - row;
    std::vector<uint8_t> line(stride, 0);
    for (int x = 0; x < 2; ++x) {
      const int i = indexes[y * 2 + x];
      const uint32_t c = colors[i];
      const uint8_t r = c >> 16, g = c >> 8, b = c;
      switch (bpp) {
        case 1: line[0] |= i << (7 - x); break;
        case 4: line[0] |= i << (x ? 0 : 4); break;
        case 8: line[x] = uint8_t(i); break;
        case 16: {
          const uint16_t v = compression == 3 ? uint16_t((r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                                              : uint16_t((r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
          line[2 * x] = uint8_t(v), line[2 * x + 1] = uint8_t(v >> 8);
          break;
        }
        case 24: line[3 * x] = b, line[3 * x + 1] = g, line[3 * x + 2] = r; break;
        case 32: line[4 * x] = b, line[4 * x + 1] = g, line[4 * x + 2] = r; break;
      }
    }
    d.bits.insert(d.bits.end(), line.begin(), line.end());
  }
  return d;
}

// EMR_STRETCHDIBITS of the whole bitmap onto the destination rectangle.
void stretchDib(EmfBuilder& e, const Dib& d, int32_t x, int32_t y, int32_t cx, int32_t cy) {
  std::vector<uint8_t> b;
  auto put = EmfBuilder::put;
  for (int i = 0; i < 4; ++i) put(b, 0);
  for (int32_t v : {x, y, 0, 0, 2, 2}) put(b, uint32_t(v));
  put(b, 80), put(b, uint32_t(d.bmi.size())), put(b, uint32_t(80 + d.bmi.size())), put(b, uint32_t(d.bits.size()));
  put(b, 0), put(b, 0x00CC0020), put(b, uint32_t(cx)), put(b, uint32_t(cy));
  b.insert(b.end(), d.bmi.begin(), d.bmi.end());
  b.insert(b.end(), d.bits.begin(), d.bits.end());
  e.raw(EMR_STRETCHDIBITS, b);
}

TEST(EmfRenderer, BitmapsOfEveryFormatShowTheirPixels) {
  VELMORO_REQUIRE_TOOL(pdftoppm, "pdftoppm");
  VELMORO_REQUIRE_TOOL(pdfimages, "pdfimages");
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  struct Format {
    int bpp;
    bool topDown;
    uint32_t compression;
    const char* space;  // as pdfimages -list names it
  };
  const Format formats[] = {{1, false, 0, "index"}, {4, false, 0, "index"}, {8, true, 0, "index"},
                            {16, false, 0, "rgb"},  {16, false, 3, "rgb"},  {24, false, 0, "rgb"},
                            {24, true, 0, "rgb"},   {32, false, 0, "rgb"}};
  test::ScratchDir dir;
  for (const Format& f : formats) {
    const std::string name = std::to_string(f.bpp) + (f.topDown ? "-top-down" : "") + (f.compression ? "-fields" : "");
    EmfBuilder e;
    stretchDib(e, makeDib(f.bpp, f.topDown, f.compression), 0, 0, 400, 400);  // 300 x 300 points
    TPdfDocument doc;
    test::renderPage(doc, e.finish());
    const auto pdf = dir / (name + ".pdf");
    ASSERT_TRUE(doc.SaveToFile(text::fromUtf8(pdf.string())));
    EXPECT_EQ(test::run({qpdf, "--check", pdf.string()}).exitCode, 0) << name;
    auto list = test::run({pdfimages, "-list", pdf.string()});
    EXPECT_EQ(list.err, "") << name;
    EXPECT_NE(list.out.find("image       2     2  " + std::string(f.space)), std::string::npos) << name << list.out;
    auto r = test::run({pdftoppm, "-r", "72", "-f", "1", "-l", "1", pdf.string(), (dir / name).string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    test::Raster raster = test::readPnm(dir / (name + "-1.ppm"));
    ASSERT_TRUE(raster.rgb) << name;
    const bool mono = f.bpp == 1;
    // PDF y runs up: the picture's top is 842 - 0 points from the bottom.
    EXPECT_EQ(raster.color(75, 75), 0xFF0000u) << name;
    EXPECT_EQ(raster.color(225, 75), 0x00FF00u) << name;
    EXPECT_EQ(raster.color(75, 225), mono ? 0x00FF00u : 0x0000FFu) << name;
    EXPECT_EQ(raster.color(225, 225), mono ? 0xFF0000u : 0xFFFFFFu) << name;
  }
}

TEST(EmfRenderer, EqualBitmapsAreOneImage) {
  TPdfDocument doc;
  EmfBuilder first;
  stretchDib(first, makeDib(24, false), 0, 0, 20, 20);
  stretchDib(first, makeDib(24, false), 100, 0, 40, 40);
  stretchDib(first, makeDib(24, true), 200, 0, 40, 40);  // the same pixels stored top-down
  const std::string page1 = test::renderPage(doc, first.finish());
  EmfBuilder second;
  stretchDib(second, makeDib(8, false), 0, 0, 20, 20);   // other colours: a second image
  stretchDib(second, makeDib(24, false), 0, 0, 20, 20);
  const std::string page2 = test::renderPage(doc, second.finish());
  ASSERT_EQ(doc.XObjects().size(), 2u);
  EXPECT_EQ(doc.XObjects()[0]->Name(), "SynImg0");
  EXPECT_EQ(doc.XObjects()[1]->Name(), "SynImg1");
  EXPECT_EQ(count(page1, "/SynImg0 Do\n"), 3u);
  EXPECT_NE(page1.find("q\n15.000000 0.000000 0.000000 15.000000 0.000000 827.000000 cm\n/SynImg0 Do\nQ\n"),
            std::string::npos) << page1;
  EXPECT_NE(page2.find("/SynImg1 Do\n"), std::string::npos);
  EXPECT_NE(page2.find("/SynImg0 Do\n"), std::string::npos);
  const std::string file = doc.SaveToBytes();
  EXPECT_EQ(count(file, "/Subtype /Image"), 2u);
  EXPECT_NE(file.find("/ColorSpace [/Indexed /DeviceRGB 255 <FF0000 00FF00 0000FF FFFFFF 000000 "), std::string::npos);
}

TEST(EmfRenderer, DamagedBitmapsFailCleanly) {
  struct Damage {
    const char* name;
    std::function<void(Dib&, std::vector<uint8_t>&)> spoil;  // the bitmap, then the record's fields
    bool fails;  // false: the bitmap is skipped
  };
  auto set = EmfBuilder::set;
  const Damage damages[] = {
      {"header offset past the record", [&](Dib&, std::vector<uint8_t>& r) { set(r, 40, 0x7FFFFFF0); }, true},
      {"bits offset past the record", [&](Dib&, std::vector<uint8_t>& r) { set(r, 48, 0xFFFFFFF0); }, true},
      {"bits shorter than the size", [&](Dib& d, std::vector<uint8_t>&) { set(d.bmi, 8, 4000); }, true},
      {"width beyond reason", [&](Dib& d, std::vector<uint8_t>&) { set(d.bmi, 4, 0x7FFFFFFF); }, true},
      {"negative width", [&](Dib& d, std::vector<uint8_t>&) { set(d.bmi, 4, uint32_t(-5)); }, true},
      {"colour table longer than the header", [&](Dib& d, std::vector<uint8_t>&) { set(d.bmi, 32, 200); }, true},
      {"header size beyond its block", [&](Dib& d, std::vector<uint8_t>&) { set(d.bmi, 0, 4000); }, false},
      {"run-length compression", [&](Dib& d, std::vector<uint8_t>&) { set(d.bmi, 16, 1); }, false},
      {"bit count 7", [&](Dib& d, std::vector<uint8_t>&) { d.bmi[14] = 7; }, false},
      {"source outside the bitmap", [&](Dib&, std::vector<uint8_t>& r) { set(r, 24, 50); }, false},
  };
  for (const Damage& d : damages) {
    Dib dib = makeDib(8, false);
    std::vector<uint8_t> fields;
    auto put = EmfBuilder::put;
    for (int i = 0; i < 4; ++i) put(fields, 0);
    for (int32_t v : {0, 0, 0, 0, 2, 2}) put(fields, uint32_t(v));
    put(fields, 80), put(fields, uint32_t(dib.bmi.size())), put(fields, uint32_t(80 + dib.bmi.size()));
    put(fields, uint32_t(dib.bits.size())), put(fields, 0), put(fields, 0x00CC0020), put(fields, 40), put(fields, 40);
    d.spoil(dib, fields);
    fields.insert(fields.end(), dib.bmi.begin(), dib.bmi.end());
    fields.insert(fields.end(), dib.bits.begin(), dib.bits.end());
    EmfBuilder e;
    e.raw(EMR_STRETCHDIBITS, fields);
    TPdfDocument doc;
    if (d.fails) {
      EXPECT_THROW(test::renderPage(doc, e.finish()), Error) << d.name;
    } else {
      EXPECT_NO_THROW(test::renderPage(doc, e.finish())) << d.name;
      EXPECT_TRUE(doc.XObjects().empty()) << d.name;
    }
  }
}

std::vector<uint8_t> command(uint8_t code, std::string_view name, std::initializer_list<int32_t> box = {}) {
  std::vector<uint8_t> data{code};
  for (int32_t v : box) EmfBuilder::put(data, uint32_t(v));
  data.insert(data.end(), name.begin(), name.end());
  return data;
}

TEST(EmfRenderer, CommentsMakeDestinationsAndLinks) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  VELMORO_REQUIRE_TOOL(pdfinfo, "pdfinfo");
  TPdfDocument doc;
  EmfBuilder one;
  one.comment(command(2, "final", {10, 10, 110, 50}));  // before its destination
  one.comment(command(2, "nowhere", {10, 60, 110, 90}));
  one.comment({2, 1, 2, 3});                             // too short for a rectangle: ignored
  test::renderPage(doc, one.finish());
  EmfBuilder two;
  two.moveTo(0, 100).comment(command(1, "final"));
  two.comment(command(1, "final")).comment(command(1, ""));  // duplicate and empty: ignored
  two.comment(command(2, "final", {200, 40, 100, 0}));        // after it, and not normalized
  two.comment({9, 'x'});                                       // another command: ignored
  test::renderPage(doc, two.finish());
  test::ScratchDir dir;
  const auto pdf = dir / "links.pdf";
  ASSERT_TRUE(doc.SaveToFile(text::fromUtf8(pdf.string())));
  const std::string file = test::readFile(pdf);
  EXPECT_EQ(count(file, "/Subtype /Link"), 3u);
  EXPECT_EQ(count(file, "/Dest [8 0 R /XYZ 0 767 0 ]"), 2u) << file;  // page 2 is object 8
  EXPECT_NE(file.find("/Rect [7.5 804.5 82.5 834.5 ]"), std::string::npos);
  EXPECT_NE(file.find("/Rect [75 812 150 842 ]"), std::string::npos);
  EXPECT_NE(file.find("/Dests <<\n/final [8 0 R /XYZ 0 767 0 ]\n>>"), std::string::npos);
  EXPECT_EQ(test::run({qpdf, "--check", pdf.string()}).exitCode, 0);
  auto dests = test::run({pdfinfo, "-dests", pdf.string()});
  EXPECT_EQ(dests.err, "");
  EXPECT_NE(dests.out.find("\"final\""), std::string::npos) << dests.out;
}

}  // namespace
}  // namespace velmoro::pdf
