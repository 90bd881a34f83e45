// The velmoro program as a user runs it.
#include "test_support.h"

namespace velmoro {
namespace {

test::RunResult velmoro(std::vector<std::string> args, std::vector<std::string> env = {}) {
  args.insert(args.begin(), (test::binDir() / "velmoro").string());
  return test::run(args, env);
}

TEST(Velmoro, HelpVersionAndUsageErrors) {
  auto help = velmoro({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_NE(help.out.find("usage: velmoro COMMAND"), std::string::npos);
  auto drawHelp = velmoro({"draw", "--help"});
  EXPECT_EQ(drawHelp.exitCode, 0);
  EXPECT_NE(drawHelp.out.find("--keep-emf"), std::string::npos);
  auto version = velmoro({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "velmoro 1.0.0\n");  // from the program's own version block
  for (const auto& args : std::vector<std::vector<std::string>>{
           {}, {"frobnicate"}, {"draw"}, {"draw", "a"}, {"draw", "a", "b", "c"}, {"draw", "--bogus", "a", "b"},
           {"convert", "a"}, {"convert", "a", "b", "--title"}}) {
    auto r = velmoro(args);
    EXPECT_EQ(r.exitCode, 64) << (args.empty() ? "" : args[0]);
    EXPECT_NE(r.err.find("usage:"), std::string::npos);
  }
}

TEST(Velmoro, DrawExplainsEachResult) {
  test::ScratchDir dir;
  test::writeFile(dir / "file", "x");
  test::writeFile(dir / "cfg.txt", "DrawScriptID=knockout\r\nTargetFormat=Pdf\r\n");
  const struct {
    std::vector<std::string> args;
    int code;
    std::string sentence;
  } cases[] = {
      {{"draw", (dir / "none.txt").string(), (dir / "o.pdf").string()}, 6,
       "configuration file not found: " + (dir / "none.txt").string()},
      {{"draw", (dir / "cfg.txt").string(), (dir / "file/o.pdf").string()}, 5,
       "cannot create the target folder: " + (dir / "file/").string()},
      {{"draw", (dir / "cfg.txt").string(), (dir / "o.pdf").string()}, 2, "Draw script not found!"},
  };
  for (const auto& c : cases) {
    auto r = velmoro(c.args);
    EXPECT_EQ(r.exitCode, c.code);
    EXPECT_NE(r.err.find(c.sentence), std::string::npos) << r.err;
  }
  // VELMORO_LOG chosen by the user is left alone.
  auto r = velmoro({"draw", (dir / "cfg.txt").string(), (dir / "o.pdf").string()},
                   {"VELMORO_LOG=" + (dir / "log.txt").string()});
  EXPECT_EQ(r.exitCode, 2);
  EXPECT_EQ(test::readFile(dir / "log.txt"), "VLGN: Draw script not found!\n");
}

TEST(Velmoro, DemoCopiesExamplesAndLeavesSourcesAlone) {
  test::ScratchDir dir;
  std::string before = test::readFile(test::sourceDir() / "examples/cup16/config.txt");
  auto r = velmoro({"demo", (dir / "demo").string(), "--examples", (test::sourceDir() / "examples").string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "demo/cup16/participants.txt"));
  EXPECT_NE(r.out.find("examples drawn in"), std::string::npos);
  EXPECT_EQ(test::readFile(test::sourceDir() / "examples/cup16/config.txt"), before);
  // A second run starts again from fresh copies.
  test::writeFile(dir / "demo/cup16/stale.txt", "old");
  r = velmoro({"demo", (dir / "demo").string(), "--examples", (test::sourceDir() / "examples").string()});
  EXPECT_EQ(r.exitCode, 0);
  EXPECT_FALSE(std::filesystem::exists(dir / "demo/cup16/stale.txt"));
}

TEST(Velmoro, ConvertExplainsItsResult) {
  test::ScratchDir dir;
  std::filesystem::copy_file(test::sourceDir() / "tests/fuzz/corpus/emf/page.emf", dir / "page.emf");
  auto ok = velmoro({"convert", (dir / "page.emf").string(), (dir / "page.pdf").string(), "--title", "T"});
  EXPECT_EQ(ok.exitCode, 0) << ok.err;
  EXPECT_EQ(ok.out, "PDF written\n  " + (dir / "page.pdf").string() + "\n");
  auto none = velmoro({"convert", (dir / "none*.emf").string(), (dir / "none.pdf").string()});
  EXPECT_EQ(none.exitCode, 1);
  EXPECT_NE(none.err.find("No input file has been found!"), std::string::npos) << none.err;  // the library's reason
  EXPECT_NE(none.err.find("the conversion failed"), std::string::npos);
}

TEST(Velmoro, MissingLibraryIsExplained) {
  // A copy of the program with no libraries beside it.
  test::ScratchDir dir;
  std::filesystem::create_directories(dir / "bin");
  std::filesystem::copy_file(test::binDir() / "velmoro", dir / "bin/velmoro");
  test::writeFile(dir / "cfg.txt", "DrawScriptID=se\r\n");
  auto r = test::run({(dir / "bin/velmoro").string(), "draw", (dir / "cfg.txt").string(), (dir / "o.pdf").string()},
                     {"LD_LIBRARY_PATH="});
  EXPECT_EQ(r.exitCode, 69);
  EXPECT_NE(r.err.find("cannot load libVLGN.so"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace velmoro
