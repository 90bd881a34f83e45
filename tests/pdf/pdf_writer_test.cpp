#include "pdf/pdf_document.h"
#include "pdf/pdf_errors.h"

#include "common/unicode.h"
#include "test_support.h"

#include <zlib.h>

namespace velmoro::pdf {
namespace {

struct FixedClock : ::testing::Test {
  std::function<std::time_t()> saved = TPdfDocument::Now;
  void SetUp() override {
    ::setenv("TZ", "UTC", 1);
    ::tzset();
    TPdfDocument::Now = [] { return std::time_t(1796860800); };  // 2026-12-10 00:00:00 UTC
  }
  void TearDown() override { TPdfDocument::Now = saved; }
};

std::string write(const TPdfObject& o) {
  TPdfWrite w;
  o.WriteValueTo(w);
  return w.Buffer();
}

TEST(PdfWrite, ValueFormats) {
  const std::pair<double, const char*> realsA[] = {
      {12.34, "12.34 "}, {12.30, "12.3 "}, {12.0, "12 "}, {-0.5, "-0.5 "}, {0.004, "0 "},
      {-12.5, "-12.5 "}, {-0.004, "0 "}, {595.275, "595.27 "}, {0.01, "0.01 "}, {1e6, "1000000 "}};
  for (auto [v, text] : realsA) {
    TPdfWrite w;
    w.AddRealA(v);
    EXPECT_EQ(w.Buffer(), text) << v;
  }
  EXPECT_EQ(formatRealB(12.0), "12");
  EXPECT_EQ(formatRealB(0.004), "0");
  EXPECT_EQ(formatRealB(-0.001), "0");
  EXPECT_EQ(formatRealB(100.5), "100.5");
  TPdfWrite w;
  w.AddRealC(1.5).AddName("Arial,Bold").Add(' ').AddName("Times New Roman#1(x)/").Add(' ').AddName("\xC3\xA9");
  EXPECT_EQ(w.Buffer(), "1.500000 /Arial,Bold /Times#20New#20Roman#231#28x#29#2F /#C3#A9");
  TPdfWrite l;
  l.AddLiteral("a(b)c\\d\te\r\nf\b\f");
  EXPECT_EQ(l.Buffer(), "(a\\(b\\)c\\\\d\\te\\nf\\b\\f)");
  TPdfWrite c;
  c.AddColor(0x00FF8000);  // blue 255, green 128, red 0
  EXPECT_EQ(c.Buffer(), "0 0.5 1 ");
}

TEST(PdfWrite, TextStrings) {
  const std::pair<const char16_t*, const char*> cases[] = {
      {u"Cup", "(Cup)"},
      {u"\u00E9t\u00E9 \u00FF", "(\xE9t\xE9 \xFF)"},          // 161-255 as single bytes
      {u"\u20AC5", "<FEFF20AC0035>"},                         // the euro sign needs UTF-16
      {u"\u0141\u00F3d\u017A", "<FEFF014100F30064017A>"},
      {u"a\u00ADb", "<FEFF006100AD0062>"},                  // the soft hyphen differs between the two
      {u"tab\there", "<FEFF00740061006200090068006500720065>"},
      {u"", "()"},
  };
  for (auto [text, expected] : cases) {
    TPdfWrite w;
    w.AddTextString(text);
    EXPECT_EQ(w.Buffer(), expected);
  }
}

TEST(PdfObjects, DictionaryAndArrayRules) {
  TPdfDictionary d;
  d.AddItem("Title", std::make_unique<TPdfText>("a"));
  d.AddItem("Subject", std::make_unique<TPdfText>("b"));
  d.AddItem("Title", std::make_unique<TPdfText>("c"));  // moved to the end
  EXPECT_EQ(d.Keys(), (std::vector<std::string>{"Subject", "Title"}));
  EXPECT_EQ(write(d), "<<\n/Subject (b)\n/Title (c)\n>>");
  EXPECT_THROW(d.AddItem("X", nullptr), EPdfInvalidValue);
  TPdfXref xref;
  auto& target = xref.AddObject(std::make_unique<TPdfNumber>(7));
  EXPECT_EQ(target.ObjectNumber, 1);
  TPdfArray a;
  a.AddReference(target);
  a.AddItem(Number(-3));
  EXPECT_EQ(write(a), "[1 0 R -3 ]");
  EXPECT_EQ(dynamic_cast<TPdfNumber*>(a.Item(0))->Value, 7);  // lookups follow references
  d.AddReference("Ref", target);
  EXPECT_EQ(d.As<TPdfNumber>("Ref"), &target);
  auto twice = std::make_unique<TPdfNumber>(1);
  twice->ObjectType = TPdfObjectType::Indirect;
  EXPECT_THROW(xref.AddObject(std::move(twice)), EPdfInvalidOperation);
}

TEST(PdfObjects, StreamsCompressFromOneHundredBytes) {
  TPdfStream small(true);
  small.Content() = std::string(99, 'x');
  EXPECT_EQ(write(small), "<<\n/Length 99\n>>\nstream\n" + std::string(99, 'x') + "\nendstream");
  TPdfStream big(true);
  big.Content() = std::string(100, 'x');
  std::string out = write(big);
  ASSERT_NE(out.find("/Filter [/FlateDecode ]"), std::string::npos);
  size_t start = out.find("stream\n") + 7, end = out.rfind("\nendstream");
  std::string packed = out.substr(start, end - start);
  EXPECT_NE(out.find("/Length " + std::to_string(packed.size()) + "\n"), std::string::npos);
  // A zlib stream (header, Adler-32 trailer) that inflates back to the content.
  std::string back(100, '\0');
  uLongf length = back.size();
  ASSERT_EQ(uncompress(reinterpret_cast<Bytef*>(back.data()), &length,
                       reinterpret_cast<const Bytef*>(packed.data()), packed.size()), Z_OK);
  EXPECT_EQ(back, big.Content());
}

TEST(PdfDocument, PaperSizesAndLandscape) {
  TPdfDocument d;
  EXPECT_EQ(d.DefaultPageWidth(), 595);
  d.SetDefaultPaperSize(psA3);
  EXPECT_EQ(d.DefaultPageHeight(), 1190);
  d.SetDefaultPageWidth(500);
  d.SetDefaultPageHeight(300);
  EXPECT_EQ(d.DefaultPaperSize(), psUserDefined);
  d.SetDefaultPageLandscape(true);  // already wider than high
  EXPECT_EQ(d.DefaultPageWidth(), 500);
  d.SetDefaultPageWidth(300);
  d.SetDefaultPageHeight(500);
  d.SetDefaultPageLandscape(true);
  EXPECT_EQ(d.DefaultPageWidth(), 500);
  EXPECT_EQ(d.DefaultPageHeight(), 300);
  d.SetDefaultPaperSize(psUserDefined);  // keeps the size
  EXPECT_EQ(d.DefaultPageWidth(), 500);
}

TEST_F(FixedClock, FileLayout) {
  TPdfDocument d;
  d.SetTitle(u"First");
  d.SetSubject(u"Singles");
  d.SetKeywords(u"");
  d.SetAuthor(u"Club");
  d.SetCreator(u"Velmoro 1.0");
  d.SetTitle(u"Cup \u20AC");
  d.AddPage();
  std::string pdf = d.SaveToBytes();
  const std::string expected =
      "%PDF-1.3\n"
      "1 0 obj\n<<\n/Type /Catalog\n/PageLayout /SinglePage\n/Pages 3 0 R\n>>\nendobj\n"
      "2 0 obj\n<<\n/Producer (Velmoro PDF engine 1.16)\n/CreationDate (D:20261210000000)\n/Subject (Singles)\n"
      "/Keywords ()\n/Author (Club)\n/Creator (Velmoro 1.0)\n/Title <FEFF004300750070002020AC>\n"
      "/ModDate (D:20261210000000)\n>>\nendobj\n"
      "3 0 obj\n<<\n/Type /Pages\n/Kids [4 0 R ]\n/Count 1\n>>\nendobj\n"
      "4 0 obj\n<<\n/MediaBox [0 0 595 842 ]\n/Type /Page\n/Parent 3 0 R\n"
      "/Resources <<\n/Font <<\n>>\n/XObject <<\n>>\n/ProcSet [/PDF /Text /ImageC ]\n>>\n/Contents 5 0 R\n>>\nendobj\n"
      "5 0 obj\n<<\n/Length 0\n>>\nstream\n\nendstream\nendobj\n";
  ASSERT_EQ(pdf.substr(0, expected.size()), expected);
  // Every offset in the table points at its object.
  size_t xref = pdf.find("xref\n0 6\n");
  ASSERT_NE(xref, std::string::npos);
  EXPECT_EQ(pdf.substr(xref + 9, 20), "0000000000 65535 f \n");
  for (int i = 1; i <= 5; ++i) {
    size_t offset = std::stoul(pdf.substr(xref + 9 + 20 * i, 10));
    EXPECT_EQ(pdf.substr(offset, std::to_string(i).size() + 6), std::to_string(i) + " 0 obj");
  }
  EXPECT_NE(pdf.find("trailer\n<<\n/Size 6\n/Root 1 0 R\n/Info 2 0 R\n>>\nstartxref\n" + std::to_string(xref) +
                     "\n%%EOF\n"),
            std::string::npos);
}

TEST_F(FixedClock, IndependentReadersAcceptTheFile) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  VELMORO_REQUIRE_TOOL(pdfinfo, "pdfinfo");
  test::ScratchDir dir;
  TPdfDocument d;
  d.SetTitle(u"Riverside Cup \u00E9\u20AC");
  d.SetAuthor(u"Club (A)");
  d.SetDefaultPaperSize(psLetter);
  for (int i = 0; i < 3; ++i) {
    TPdfPage& p = d.AddPage();
    for (int k = 0; k < 50; ++k) p.Contents->Content() += "0 0 1 rg 10 " + std::to_string(k * 10) + " 100 5 re f\n";
  }
  std::u16string path = text::fromUtf8((dir / "out.pdf").string());
  ASSERT_TRUE(d.SaveToFile(path));
  auto check = test::run({qpdf, "--check", (dir / "out.pdf").string()});
  EXPECT_EQ(check.exitCode, 0) << check.out << check.err;
  auto info = test::run({pdfinfo, (dir / "out.pdf").string()});
  EXPECT_NE(info.out.find("Title:           Riverside Cup \xC3\xA9\xE2\x82\xAC"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Author:          Club (A)"), std::string::npos);
  EXPECT_NE(info.out.find("Pages:           3"), std::string::npos);
  EXPECT_NE(info.out.find("612 x 792 pts (letter)"), std::string::npos);
  EXPECT_NE(info.out.find("Producer:        Velmoro PDF engine 1.16"), std::string::npos);
}

TEST(PdfDocument, SaveFailures) {
  TPdfDocument empty;
  EXPECT_THROW(empty.SaveToBytes(), EPdfInvalidOperation);  // "GetPage"
  test::ScratchDir dir;
  EXPECT_FALSE(empty.SaveToFile(text::fromUtf8((dir / "a.pdf").string())));
  TPdfDocument one;
  one.AddPage();
  test::writeFile(dir / "file", "x");
  EXPECT_FALSE(one.SaveToFile(text::fromUtf8((dir / "file/a.pdf").string())));
  EXPECT_FALSE(std::filesystem::exists(dir / "a.pdf"));
  // A failed save leaves the previous good file as it was.
  const std::u16string good = text::fromUtf8((dir / "good.pdf").string());
  ASSERT_TRUE(one.SaveToFile(good));
  const std::string before = test::readFile(dir / "good.pdf");
  EXPECT_FALSE(empty.SaveToFile(good));
  EXPECT_EQ(test::readFile(dir / "good.pdf"), before);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 2);  // no temporary left
}

}  // namespace
}  // namespace velmoro::pdf
