// Semantics against Free Pascal: every program in oracle/ is built by fpc and run by
// our engine; the outputs must be equal. Lines marked "// fpc-only" (mode switch, units,
// console code page) are dropped for our engine.
#include "engine_harness.h"
#include "test_support.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace velmoro::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> oraclePrograms() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(sourceDir() / "tests/engine/oracle"))
    if (e.path().extension() == ".pas") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string withoutFpcLines(const std::string& source) {
  std::stringstream in(source);
  std::string line, out;
  while (std::getline(in, line))
    if (line.find("// fpc-only") == std::string::npos) out += line + "\n";
  return out;
}

class Oracle : public ::testing::TestWithParam<std::string> {};

TEST_P(Oracle, SameOutputAsFreePascal) {
  VELMORO_REQUIRE_TOOL(fpc, "fpc");
  fs::path source = sourceDir() / "tests/engine/oracle" / (GetParam() + ".pas");
  ScratchDir dir;
  fs::path exe = dir / GetParam();
  RunResult built = run({fpc, "-v0", "-FE" + dir.path().string(), "-o" + exe.string(), source.string()});
  ASSERT_EQ(built.exitCode, 0) << built.out << built.err;
  RunResult want = run({exe.string()}, {"LANG=C.UTF-8", "LC_ALL=C.UTF-8"});
  ASSERT_EQ(want.exitCode, 0) << want.err;

  ScriptRun got = runScript(withoutFpcLines(readFile(source)));
  ASSERT_TRUE(got.compiled) << firstError(got);
  EXPECT_TRUE(got.ran) << (got.error ? text::toUtf8(got.error->message) : "");
  EXPECT_EQ(got.out, want.out);
}

INSTANTIATE_TEST_SUITE_P(Programs, Oracle, ::testing::ValuesIn(oraclePrograms()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace velmoro::test
