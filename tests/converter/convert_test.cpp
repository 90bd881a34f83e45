// The converter end to end, through liborvalin.so as a script calls it.
#include "common/unicode.h"
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
