// A bracket page drawn with the real canvas, rendered to PDF and read back by outside
// readers: qpdf's structure check, poppler's text, fonts and information, and a raster
// compared with the same EMF drawn by emf2svg and librsvg.
#include "pdf/emf_renderer.h"
#include "pdf/metafile_document.h"
#include "pdf/pdf_document.h"

#include "common/unicode.h"
#include "platform/emf_reader.h"
#include "render_support.h"
#include "test_support.h"

#include <cmath>
#include <iterator>
#include <sstream>

namespace velmoro::pdf {
namespace {

namespace fs = std::filesystem;

const std::u16string kNames[8] = {u"Anna Berg",        u"\u0418\u0432\u0430\u043D \u041F\u0435\u0442\u0440\u043E\u0432",
                                  u"Chloe Dubois",     u"\u039D\u03AF\u03BA\u03BF\u03C2 \u03A0\u03B1\u03C0\u03C0\u03AC\u03C2",
                                  u"\u00C9mile Zola",  u"Marta \u041A\u043E\u0432\u0430\u043B\u044C",
                                  u"Lena Hoffmann",    u"Oskar Lind"};

// Eight names, three rounds of connectors, a title: one page as the draws make them.
void drawBracket(TMetafileDocument& doc) {
  doc.Margins = {10, 10, 10, 10};
  doc.AddPage();
  platform::TCanvas& c = *doc.Canvas();
  const TRect r = doc.GetPrintRect();
  c.Font.Name = u"Arial";
  c.Font.Height = -28;
  c.Font.SetBold(true);
  c.TextOut(r.left, r.top, u"Riverside Open 2026");
  c.Font.SetBold(false);
  c.Font.Height = -16;
  c.Pen.Width = 2;
  const int32_t top = r.top + 80, step = 110, width = 210;
  for (int round = 0, matches = 8; matches >= 1; ++round, matches /= 2) {
    const int32_t x = r.left + round * (width + 20), pitch = step << round;
    for (int m = 0; m < matches; ++m) {
      const int32_t y = top + m * pitch + (pitch - step) / 2;
      if (round == 0) c.TextOut(x + 4, y + 6, kNames[m]);
      c.MoveTo(x, y + 30);
      c.LineTo(x + width, y + 30);
      if (matches > 1 && m % 2 == 0) {
        const TPoint connector[] = {{x + width, y + 30}, {x + width + 20, y + 30}, {x + width + 20, y + 30 + pitch},
                                    {x + width, y + 30 + pitch}};
        c.Polyline(connector);
      }
    }
  }
  c.Brush.Color = platform::rgb(230, 230, 230);
  c.Rectangle({r.left, r.bottom - 120, r.left + 300, r.bottom - 20});
  c.Brush.Style = platform::TBrushStyle::Clear;
  c.TextOut(r.left + 10, r.bottom - 100, u"Final: 3 May");
  doc.CloseCanvas();
}

struct ReaderCheck : ::testing::Test {
  test::ScratchDir dir;
  fs::path emf = dir / "page.emf", pdf = dir / "page.pdf";
  void SetUp() override {
    TMetafileDocument pages;
    drawBracket(pages);
    pages.SaveToFiles(text::fromUtf8(emf.string()));
    TPdfDocument doc;
    doc.SetTitle(u"Riverside Open 2026");
    doc.SetSubject(u"Single elimination");
    doc.SetAuthor(u"Club \u0141\u00F3d\u017A");
    doc.SetKeywords(u"tennis");
    const platform::TMetafile& page = pages.Page(0);
    doc.AddPage();
    RenderMetaFile(doc.Canvas(), emf::parseEmf(page.Bytes()), page.Width, page.Height);
    ASSERT_TRUE(doc.SaveToFile(text::fromUtf8(pdf.string())));
  }
};

TEST_F(ReaderCheck, StructureTextFontsAndInformation) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  VELMORO_REQUIRE_TOOL(pdftotext, "pdftotext");
  VELMORO_REQUIRE_TOOL(pdffonts, "pdffonts");
  VELMORO_REQUIRE_TOOL(pdfinfo, "pdfinfo");
  auto check = test::run({qpdf, "--check", pdf.string()});
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  for (const std::string& content : test::pageContents(qpdf, pdf)) EXPECT_EQ(test::qBalance(content), "");
  EXPECT_EQ(test::pageContents(qpdf, pdf).size(), 1u);

  auto text = test::run({pdftotext, pdf.string(), "-"});
  EXPECT_EQ(text.err, "");
  for (const auto& name : kNames) EXPECT_NE(text.out.find(text::toUtf8(name)), std::string::npos) << text::toUtf8(name);
  EXPECT_NE(text.out.find("Riverside Open 2026"), std::string::npos);
  // The layout keeps the order of the page: title first, names top to bottom.
  auto layout = test::run({pdftotext, "-layout", pdf.string(), "-"});
  EXPECT_EQ(layout.err, "");
  size_t at = layout.out.find("Riverside Open 2026");
  ASSERT_NE(at, std::string::npos) << layout.out;
  for (const auto& name : kNames) {
    const size_t next = layout.out.find(text::toUtf8(name));
    EXPECT_GT(next, at) << text::toUtf8(name) << "\n" << layout.out;
    at = next;
  }
  EXPECT_GT(layout.out.find("Final: 3 May"), at);

  // The WinAnsi font by name only; its companion embedded as a subset.
  auto fonts = test::run({pdffonts, pdf.string()});
  EXPECT_EQ(fonts.err, "");
  std::vector<std::vector<std::string>> rows;  // the words of each font's line
  std::istringstream lines(fonts.out);
  for (std::string line; std::getline(lines, line);) {
    std::istringstream words(line);
    rows.emplace_back(std::istream_iterator<std::string>(words), std::istream_iterator<std::string>());
  }
  using Words = std::vector<std::string>;
  auto first = [](const Words& w, size_t n) { return Words(w.begin(), w.begin() + std::min(n, w.size())); };
  int winAnsi = 0, companion = 0;
  for (const Words& w : rows) {
    if (first(w, 6) == Words{"Arial", "TrueType", "WinAnsi", "no", "no", "no"}) ++winAnsi;
    if (w.size() > 6 && w[0].size() == 12 && w[0].substr(6) == "+Arial" &&
        Words(w.begin() + 1, w.begin() + 7) == Words{"CID", "TrueType", "Identity-H", "yes", "yes", "yes"})
      ++companion;
  }
  EXPECT_EQ(winAnsi, 1) << fonts.out;
  EXPECT_EQ(companion, 1) << fonts.out;

  auto info = test::run({pdfinfo, pdf.string()});
  EXPECT_EQ(info.err, "");
  for (const char* line : {"Title:           Riverside Open 2026", "Subject:         Single elimination",
                           "Author:          Club \xC5\x81\xC3\xB3\x64\xC5\xBA", "Keywords:        tennis",
                           "Producer:        Velmoro PDF engine 1.16", "Pages:           1",
                           "Page size:       595 x 842 pts (A4)"})
    EXPECT_NE(info.out.find(line), std::string::npos) << line << "\n" << info.out;
}

TEST_F(ReaderCheck, RasterAgreesWithAnIndependentEmfRenderer) {
  VELMORO_REQUIRE_TOOL(pdftoppm, "pdftoppm");
  VELMORO_REQUIRE_TOOL(emf2svg, "emf2svg-conv");
  VELMORO_REQUIRE_TOOL(rsvg, "rsvg-convert");
  const fs::path svg = dir / "page.svg", svgPdf = dir / "svg.pdf";
  ASSERT_EQ(test::run({emf2svg, "-i", emf.string(), "-o", svg.string()}).exitCode, 0);
  ASSERT_EQ(test::run({rsvg, "-f", "pdf", "-o", svgPdf.string(), svg.string()}).exitCode, 0);
  // Both at a third of the page's pixels; the SVG covers only the header's bounds.
  const int dpi = 32;
  const double k = dpi / 96.0;
  auto raster = [&](const fs::path& file, const std::string& stem) {
    auto r = test::run({pdftoppm, "-gray", "-r", std::to_string(dpi), "-f", "1", "-l", "1", "-singlefile",
                        file.string(), (dir / stem).string()});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    return test::readPnm(dir / (stem + ".pgm"));
  };
  const test::Raster ours = raster(pdf, "ours"), theirs = raster(svgPdf, "theirs");
  ASSERT_GT(ours.width, 0);
  ASSERT_GT(theirs.width, 0);
  const std::string bytes = test::readFile(emf);
  const TRect bounds =
      emf::parseEmf(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size())).header.bounds;
  const int ox = int(std::lround(bounds.left * k)), oy = int(std::lround(bounds.top * k));
  // Lines and text blocks in the same places: the ink of every 8 x 8 cell of the part
  // both cover agrees within what the two renderers' fonts and antialiasing differ by.
  const int cell = 8, cols = std::min(ours.width - ox, theirs.width) / cell,
            rows = std::min(ours.height - oy, theirs.height) / cell;
  ASSERT_GT(cols, 20);
  ASSERT_GT(rows, 20);
  double total = 0, worst = 0, inked = 0;
  for (int cy = 0; cy < rows; ++cy)
    for (int cx = 0; cx < cols; ++cx) {
      double a = 0, b = 0;
      for (int y = cy * cell; y < (cy + 1) * cell; ++y)
        for (int x = cx * cell; x < (cx + 1) * cell; ++x) {
          a += ours.grey(ox + x, oy + y) < 160;
          b += theirs.grey(x, y) < 160;
        }
      a /= cell * cell, b /= cell * cell;
      total += std::abs(a - b);
      worst = std::max(worst, std::abs(a - b));
      inked += a > 0.05;
    }
  EXPECT_GT(inked, 50) << "cells with ink";  // not a blank page
  EXPECT_LT(total / (rows * cols), 0.01) << "mean ink difference of a cell";
  EXPECT_LT(worst, 0.3) << "largest ink difference of a cell";
}

}  // namespace
}  // namespace velmoro::pdf
