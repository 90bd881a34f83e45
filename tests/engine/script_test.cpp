// Scripts with their expected output beside the lines that write it: every "//> text"
// comment is one expected output line, in order. For what the oracle cannot check
// (case on strings, variants, 8-bit strings, dates, the dialect's own additions).
#include "engine_harness.h"
#include "test_support.h"

#include <algorithm>
#include <filesystem>
#include <sstream>

namespace velmoro::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> scripts() {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(sourceDir() / "tests/engine/scripts"))
    if (e.path().extension() == ".pas") names.push_back(e.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string expectedOutput(const std::string& source) {
  std::stringstream in(source);
  std::string line, out;
  while (std::getline(in, line)) {
    size_t p = line.find("//> ");
    if (p == std::string::npos) p = line.find("//>");
    if (p == std::string::npos) continue;
    std::string rest = line.substr(p + 3);
    if (!rest.empty() && rest[0] == ' ') rest.erase(0, 1);
    out += rest + "\n";
  }
  return out;
}

class Scripts : public ::testing::TestWithParam<std::string> {};

TEST_P(Scripts, WritesWhatItsCommentsSay) {
  std::string source = readFile(sourceDir() / "tests/engine/scripts" / (GetParam() + ".pas"));
  ScriptRun r = runScript(source);
  ASSERT_TRUE(r.compiled) << firstError(r) << " at " << (r.messages.empty() ? 0 : r.messages[0].row);
  EXPECT_TRUE(r.ran) << (r.error ? text::toUtf8(r.error->message) + " at " + std::to_string(r.error->row) : "");
  EXPECT_EQ(r.out, expectedOutput(source));
}

INSTANTIATE_TEST_SUITE_P(Files, Scripts, ::testing::ValuesIn(scripts()),
                         [](const auto& info) { return info.param; });

}  // namespace
}  // namespace velmoro::test
