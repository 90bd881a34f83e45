// Small helpers shared by the tests: a scratch folder per test, file writing, running
// programs, and outside tools that must be present under CI.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmoro::test {

// A fresh folder under the system's temporary folder, removed afterwards.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

void writeFile(const std::filesystem::path& p, const std::string& bytes);
std::string readFile(const std::filesystem::path& p);

struct RunResult {
  int exitCode = -1;
  std::string out, err;
};
// Runs a program with arguments (no shell), capturing its output.
RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {});

// Full path of an outside tool; under CI=true a missing tool fails the test, outside CI
// the test is skipped saying why.
#define VELMORO_REQUIRE_TOOL(var, name)                                                    \
  std::string var = ::velmoro::test::findTool(name);                                       \
  if (var.empty()) {                                                                       \
    if (::velmoro::test::underCi()) FAIL() << "required tool missing under CI: " << name;  \
    GTEST_SKIP() << "tool not installed: " << name << " (scripts/install-deps installs it)"; \
  }
std::string findTool(const std::string& name);
bool underCi();

// Folders of the build tree.
std::filesystem::path buildDir();
inline std::filesystem::path binDir() { return buildDir() / "bin"; }
inline std::filesystem::path libDir() { return buildDir() / "lib"; }
std::filesystem::path sourceDir();

}  // namespace velmoro::test
