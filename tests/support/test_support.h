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

// A library of the build, loaded the way a script loads it; closed at the end.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const std::string& fileName);  // in the build's lib folder
  ~LoadedLibrary();
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;
  bool ok() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  template <typename F>
  F symbol(const char* name) const {
    return reinterpret_cast<F>(rawSymbol(name));
  }

 private:
  void* rawSymbol(const char* name) const;
  void* handle_ = nullptr;
  std::string error_;
};

// The names a shared library exports (nm -D --defined-only), sorted; empty when nm
// cannot read it.
std::vector<std::string> exportedSymbols(const std::string& nm, const std::filesystem::path& library);

// Folders of the build tree.
std::filesystem::path buildDir();
inline std::filesystem::path binDir() { return buildDir() / "bin"; }
inline std::filesystem::path libDir() { return buildDir() / "lib"; }
std::filesystem::path sourceDir();

}  // namespace velmoro::test
