// The converter end to end, through liborvalin.so as a script calls it.
#include "common/unicode.h"
#include "emf_builder.h"
#include "render_support.h"
#include "test_support.h"

#include <dlfcn.h>

#include <algorithm>
#include <sstream>

namespace velmoro {
namespace {

namespace fs = std::filesystem;
using EntryW = int32_t (*)(const char16_t*, const char16_t*, const char16_t*, const char16_t*, const char16_t*,
                           const char16_t*);
using EntryA = int32_t (*)(const char*, const char*, const char*, const char*, const char*, const char*);

struct Orvalin : ::testing::Test {
  void* handle = nullptr;
  EntryW w = nullptr;
  EntryA a = nullptr;
  test::ScratchDir dir;
  void SetUp() override {
    handle = ::dlopen((test::libDir() / "liborvalin.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(handle, nullptr) << ::dlerror();
    w = reinterpret_cast<EntryW>(::dlsym(handle, "ConvertEmfToPDFFileW"));
    a = reinterpret_cast<EntryA>(::dlsym(handle, "ConvertEmfToPDFFileA"));
    ASSERT_TRUE(w && a);
  }
  void TearDown() override {
    if (handle) ::dlclose(handle);
  }
  int32_t convert(const fs::path& input, const fs::path& output, const char16_t* author = nullptr) {
    std::u16string in = text::fromUtf8(input.string()), out = text::fromUtf8(output.string());
    return w(in.c_str(), out.c_str(), u"Title \u00E9", u"Subject", author, u"kw");
  }
};

TEST_F(Orvalin, MaskGivesOnePagePerFileInPathOrder) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  VELMORO_REQUIRE_TOOL(pdfinfo, "pdfinfo");
  const fs::path page = test::sourceDir() / "tests/fuzz/corpus/emf/page.emf";
  const fs::path foreign = test::sourceDir() / "tests/fuzz/corpus/emf/libemf.emf";  // an independent writer's
  fs::copy_file(page, dir / "draw1.emf");
  fs::copy_file(foreign, dir / "Draw2.emf");
  fs::copy_file(page, dir / "draw3.emf");
  ASSERT_EQ(convert(dir / "draw*.emf", dir / "new" / "deeper" / "all.pdf", u"Club"), 0);
  const fs::path pdf = dir / "new" / "deeper" / "all.pdf";
  EXPECT_EQ(test::run({qpdf, "--check", pdf.string()}).exitCode, 0);
  auto info = test::run({pdfinfo, "-f", "1", "-l", "3", pdf.string()});
  EXPECT_NE(info.out.find("Pages:           3"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Title:           Title \xC3\xA9"), std::string::npos);
  EXPECT_NE(info.out.find("Author:          Club"), std::string::npos);
  EXPECT_NE(info.out.find("Keywords:        kw"), std::string::npos);
  // The foreign file's page keeps its own size; ours are A4.
  EXPECT_NE(info.out.find("Page    1 size:  595 x 842 pts"), std::string::npos) << info.out;
  EXPECT_EQ(info.out.find("Page    2 size:  595 x 842 pts"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("Page    3 size:  595 x 842 pts"), std::string::npos);
}

TEST_F(Orvalin, ResultCodes) {
  fs::copy_file(test::sourceDir() / "tests/fuzz/corpus/emf/page.emf", dir / "one.emf");
  test::writeFile(dir / "bad.emf", "not an EMF at all, just text");
  test::writeFile(dir / "file", "x");
  EXPECT_EQ(w(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr), 2);  // no input: nothing at all
  EXPECT_EQ(convert("", dir / "x.pdf"), 2);
  EXPECT_EQ(convert(dir / "nothing*.emf", dir / "none.pdf"), 1);
  EXPECT_FALSE(fs::exists(dir / "none.pdf"));
  EXPECT_EQ(convert(dir / "bad.emf", dir / "bad.pdf"), 1);  // a file that is not an EMF
  EXPECT_FALSE(fs::exists(dir / "bad.pdf"));
  EXPECT_EQ(convert(dir / "one.emf", dir / "file" / "x.pdf"), 1);  // output folder cannot be made
  EXPECT_EQ(convert(dir / "one.emf", ""), 0);  // no output: the input's name with .pdf
  EXPECT_TRUE(fs::exists(dir / "one.pdf"));
  fs::create_directory(dir / "taken.pdf");  // the save itself fails
  EXPECT_EQ(convert(dir / "one.emf", dir / "taken.pdf"), 2);
  // The 8-bit entry: UTF-8 paths, and a null author is an empty one there.
  EXPECT_EQ(a((dir / "one.emf").c_str(), (dir / "k\xC3\xB6ln.pdf").c_str(), nullptr, nullptr, nullptr, nullptr), 0);
  EXPECT_TRUE(fs::exists(dir / "k\xC3\xB6ln.pdf"));
}

// Damaged and foreign files are untrusted input: each gives a result code, never a crash,
// and no PDF is left behind for a failure.
TEST_F(Orvalin, BadInputsGiveResultCodes) {
  const std::string page = test::readFile(test::sourceDir() / "tests/fuzz/corpus/emf/page.emf");
  auto patched = [&](size_t at, uint32_t v) {
    std::string b = page;
    for (int i = 0; i < 4; ++i) b[at + i] = char(v >> (8 * i));
    return b;
  };
  const uint32_t second = uint8_t(page[4]) | uint8_t(page[5]) << 8;  // the record after the header
  std::string garbage = page.substr(0, 108);
  for (uint32_t x = 12345; garbage.size() < 4096;) garbage.push_back(char((x = x * 1103515245 + 12345) >> 16));
  struct Bad {
    const char* name;
    std::string bytes;
  };
  const Bad bads[] = {
      {"truncated", page.substr(0, page.size() / 2 + 2)},
      {"record larger than the file", patched(second + 4, 0x7FFFFFF0)},
      {"record size not a multiple of 4", patched(second + 4, 13)},
      {"garbage after a header", garbage},
      {"empty", ""},
      {"header only, cut", page.substr(0, 60)},
      {"text with a character count past its record",
       test::EmfBuilder().font(1, u"Arial", -12).select(1).words(emf::EMR_EXTTEXTOUTW,
           {0, 0, 0, 0, 1, 0x3F800000, 0x3F800000, 10, 10, 0x10000000, 76, 0, 0, 0, 0, 0, 0}).finishString()},
      {"polyline with a point count past its record",
       test::EmfBuilder().words(emf::EMR_POLYLINE16, {0, 0, 0, 0, 0xFFFFFFFF, 0}).finishString()},
      {"font record cut short", test::EmfBuilder().words(emf::EMR_EXTCREATEFONTINDIRECTW, {1, 12}).finishString()},
      {"bitmap header past the record",
       test::EmfBuilder().words(emf::EMR_STRETCHDIBITS, {0, 0, 0, 0, 0, 0, 0, 0, 2, 2, 80, 40, 120, 16, 0,
                                                         0xCC0020, 10, 10}).finishString()},
  };
  for (const Bad& bad : bads) {
    test::writeFile(dir / "bad.emf", std::string(bad.bytes.begin(), bad.bytes.end()));
    EXPECT_EQ(convert(dir / "bad.emf", dir / "bad.pdf"), 1) << bad.name;
    EXPECT_FALSE(fs::exists(dir / "bad.pdf")) << bad.name;
    fs::remove(dir / "bad.pdf");
  }
  // Handles outside the table and objects of other kinds are ignored: the page converts.
  const auto odd = test::EmfBuilder(200, 100, 2)
                       .select(7).words(95, {1, 0, 0, 0, 0, 0, 1, 0, 0, 0}).select(1).rectangle(1, 1, 50, 50)
                       .words(emf::EMR_DELETEOBJECT, {900}).words(emf::EMR_CREATEPEN, {40, 0, 1, 0, 0}).finish();
  test::writeFile(dir / "odd.emf", std::string(odd.begin(), odd.end()));
  EXPECT_EQ(convert(dir / "odd.emf", dir / "odd.pdf"), 0);
  // One bad file among good ones fails the whole call, and nothing is written.
  fs::copy_file(test::sourceDir() / "tests/fuzz/corpus/emf/page.emf", dir / "a.emf");
  test::writeFile(dir / "b.emf", page.substr(0, 300));
  EXPECT_EQ(convert(dir / "?.emf", dir / "ab.pdf"), 1);
  EXPECT_FALSE(fs::exists(dir / "ab.pdf"));
}

// A file written by libEMF, an independent writer, built fresh with the tests.
TEST_F(Orvalin, ConvertsAnIndependentWritersFile) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  VELMORO_REQUIRE_TOOL(pdftotext, "pdftotext");
  VELMORO_REQUIRE_TOOL(pdfinfo, "pdfinfo");
  ASSERT_EQ(convert(LIBEMF_FIXTURE, dir / "libemf.pdf"), 0);
  const std::string pdf = (dir / "libemf.pdf").string();
  auto check = test::run({qpdf, "--check", pdf});
  EXPECT_EQ(check.exitCode, 0) << check.out;
  for (const std::string& content : test::pageContents(qpdf, pdf)) EXPECT_EQ(test::qBalance(content), "");
  auto text = test::run({pdftotext, pdf, "-"});
  EXPECT_EQ(text.err, "");
  EXPECT_NE(text.out.find("libEMF"), std::string::npos) << text.out;
  // Its frame is 100 mm x 50 mm, whatever device libEMF claims to have recorded on.
  auto info = test::run({pdfinfo, pdf});
  EXPECT_NE(info.out.find("Page size:       283 x 141 pts"), std::string::npos) << info.out;
}

TEST(OrvalinExports, OnlyTheTwoEntryPoints) {
  VELMORO_REQUIRE_TOOL(nm, "nm");
  auto r = test::run({nm, "-D", "--defined-only", (test::libDir() / "liborvalin.so").string()});
  ASSERT_EQ(r.exitCode, 0);
  std::vector<std::string> names;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);)
    if (line.find(" T ") != std::string::npos || line.find(" W ") != std::string::npos ||
        line.find(" D ") != std::string::npos || line.find(" B ") != std::string::npos ||
        line.find(" u ") != std::string::npos || line.find(" V ") != std::string::npos)
      names.push_back(line.substr(line.rfind(' ') + 1));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"ConvertEmfToPDFFileA", "ConvertEmfToPDFFileW"}));
}

}  // namespace
}  // namespace velmoro
