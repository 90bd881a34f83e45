// End to end through the built libVLGN.so, loaded as a script loads it.
#include "common/text_file.h"
#include "common/unicode.h"
#include "test_support.h"

#include <unistd.h>

#include <algorithm>
#include <sstream>

namespace velmoro {
namespace {

using EntryW = int32_t (*)(const char16_t*, const char16_t*, int32_t);
using EntryA = int32_t (*)(const char*, const char*, int32_t);

struct VlgnLibrary : ::testing::Test {
  test::LoadedLibrary library{"libVLGN.so"};
  EntryW w = library.symbol<EntryW>("VLGNW");
  EntryA a = library.symbol<EntryA>("VLGNA");
  test::ScratchDir dir;

  void SetUp() override { ASSERT_TRUE(w && a) << library.error(); }
  int32_t call(const std::filesystem::path& config, const std::filesystem::path& target, int32_t flag = 0) {
    return w(text::fromUtf8(config.string()).c_str(), text::fromUtf8(target.string()).c_str(), flag);
  }
};

TEST_F(VlgnLibrary, ResultCodes) {
  test::writeFile(dir / "file", "x");
  test::writeFile(dir / "unknown.txt", "DrawScriptID=knockout\r\n");
  test::writeFile(dir / "format.txt", "DrawScriptID=se\r\n");
  EXPECT_EQ(call(dir / "missing.txt", dir / "out.pdf"), 6);
  EXPECT_EQ(call(dir / "unknown.txt", dir / "file" / "out.pdf"), 5);  // ENOTDIR, even as root
  EXPECT_EQ(call(dir / "unknown.txt", "/proc/velmoro/out.pdf"), 5);
  EXPECT_EQ(call(dir / "unknown.txt", dir / "out.pdf"), 2);  // Draw script not found!
  EXPECT_EQ(call(dir / "format.txt", dir / "out.txt"), 2);   // Unknown target format!
  EXPECT_EQ(call(dir.path(), dir / "out.pdf"), 6);                 // a folder is not a configuration
  EXPECT_EQ(w(nullptr, nullptr, 0), 6);
  // No target at all is "Target file not specified!", not a file named ".pdf".
  test::writeFile(dir / "pdf.txt", "DrawScriptID=se\r\nTargetFormat=Pdf\r\nTargetFile=elsewhere.pdf\r\n");
  EXPECT_EQ(w(text::fromUtf8((dir / "pdf.txt").string()).c_str(), u"", 0), 2);
}

TEST_F(VlgnLibrary, RelativePathsAndAnsiEntry) {
  test::writeFile(dir / "sub" / "cfg.txt", "DrawScriptID=knockout\r\n");
  std::filesystem::path old = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  EXPECT_EQ(a("sub/cfg.txt", "made/out.pdf", 0), 2);
  EXPECT_EQ(a("sub\\cfg.txt", "made\\deeper\\out.pdf", 0), 2);
  EXPECT_EQ(a("sub/none.txt", "out.pdf", 0), 6);
  std::filesystem::current_path(old);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "made" / "deeper"));
  test::writeFile(dir / "K\xC3\xB6ln.txt", "DrawScriptID=knockout\r\n");  // UTF-8 is the 8-bit code page
  EXPECT_EQ(a((dir / "K\xC3\xB6ln.txt").c_str(), (dir / "o.pdf").c_str(), 0), 2);
}

TEST_F(VlgnLibrary, EngineMessageGoesToTheLog) {
  test::writeFile(dir / "cfg.txt", "DrawScriptID=knockout\r\nTargetFormat=Emf\r\n");
  test::writeFile(dir / "fmt.txt", "DrawScriptID=se\r\n");
  ::setenv("VELMORO_LOG", (dir / "log.txt").c_str(), 1);
  EXPECT_EQ(call(dir / "cfg.txt", dir / "out"), 2);
  EXPECT_EQ(call(dir / "fmt.txt", dir / "out.txt"), 2);
  EXPECT_EQ(call(dir / "nothing.txt", dir / "out.pdf"), 6);
  ::unsetenv("VELMORO_LOG");
  EXPECT_EQ(test::readFile(dir / "log.txt"),
            "VLGN: Draw script not found!\nVLGN: Unknown target format!\n"
            "VLGN: configuration file not found: " + (dir / "nothing.txt").string() + "\n");
}

TEST_F(VlgnLibrary, OnlyTheLow16BitsOfTheFlagCount) {
  // With the flag set, a PDF request would also write draw.emf: here the participants
  // file, which the engine refuses to overwrite.
  test::writeFile(dir / "draw.emf", "players");
  test::writeFile(dir / "cfg.txt", "DrawScriptID=se\r\nDataParticipantsFile=draw.emf\r\n");
  for (int32_t flag : {1, 0x10001, 65536, 0}) {
    ::setenv("VELMORO_LOG", (dir / "log.txt").c_str(), 1);
    EXPECT_EQ(call(dir / "cfg.txt", dir / "draw.pdf", flag), (flag & 0xFFFF) ? 2 : 0);
    ::unsetenv("VELMORO_LOG");
    bool refused = test::readFile(dir / "log.txt").find("input file") != std::string::npos;
    EXPECT_EQ(refused, (flag & 0xFFFF) != 0) << flag;
    std::filesystem::remove(dir / "log.txt");
  }
  EXPECT_EQ(test::readFile(dir / "draw.emf"), "players");
}

TEST(VlgnExports, OnlyTheTwoEntryPoints) {
  VELMORO_REQUIRE_TOOL(nm, "nm");
  EXPECT_EQ(test::exportedSymbols(nm, test::libDir() / "libVLGN.so"), (std::vector<std::string>{"VLGNA", "VLGNW"}));
}

}  // namespace
}  // namespace velmoro
