// The bytecode listing against golden files: locals and globals are slots, calls are
// routine indexes with their static links, statements carry their source line.
#include "engine_harness.h"
#include "test_support.h"

namespace velmoro::test {
namespace {

void expectListing(const std::string& name) {
  std::filesystem::path dir = sourceDir() / "tests/engine/golden";
  script::Engine e;
  hostOptions(e);
  ASSERT_TRUE(e.compile(text::fromUtf8(readFile(dir / (name + ".pas")))));
  std::string listing = text::toUtf8(e.disassemble());
  EXPECT_EQ(listing, readFile(dir / (name + ".dis"))) << listing;
}

TEST(Disassembly, RecursiveFunction) { expectListing("fib"); }
TEST(Disassembly, LoopNestedRoutineAndUpLevelAccess) { expectListing("locals"); }

TEST(Disassembly, VpasPrintsTheSameListing) {
  std::filesystem::path src = sourceDir() / "tests/engine/golden/fib.pas";
  RunResult r = run({(binDir() / "vpas").string(), "dis", src.string()});
  EXPECT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, readFile(sourceDir() / "tests/engine/golden/fib.dis"));
}

TEST(Vpas, RunCheckAndExitCodes) {
  ScratchDir dir;
  writeFile(dir / "ok.dpas", "begin Writeln('out'); end.");
  writeFile(dir / "bad.dpas", "begin\n  x := 1;\nend.");
  writeFile(dir / "fault.dpas", "var i: Integer;\nbegin\n  i := 10 div i;\nend.");
  std::string vpas = (binDir() / "vpas").string();
  RunResult ok = run({vpas, "run", (dir / "ok.dpas").string()});
  EXPECT_EQ(ok.exitCode, 0);
  EXPECT_EQ(ok.out, "out\n");
  RunResult bad = run({vpas, "check", (dir / "bad.dpas").string()});
  EXPECT_EQ(bad.exitCode, 1);
  EXPECT_EQ(bad.out, "[Error] (2:3): Undeclared identifier: 'x'\n");
  RunResult fault = run({vpas, "run", (dir / "fault.dpas").string()});
  EXPECT_EQ(fault.exitCode, 1);
  EXPECT_EQ(fault.err, "[EDivByZero: Division by zero] (3:3) fault.dpas\n");
  EXPECT_EQ(run({vpas, "run", (dir / "none.dpas").string()}).exitCode, 2);
  EXPECT_EQ(run({vpas, "frobnicate"}).exitCode, 2);
}

}  // namespace
}  // namespace velmoro::test
