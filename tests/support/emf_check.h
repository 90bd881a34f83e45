// Test-side EMF checks, independent of the product's reader: a strict structural
// validator over the raw bytes, and the outside reader emf2svg-conv (exit code and its
// -v record dump).
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace velmoro::test {

// Everything wrong with an EMF's structure: the " EMF" signature, nBytes equal to the
// size, nRecords equal to the record count, nHandles above every handle used, objects
// used only while they exist, record sizes multiples of 4, EMR_EOF last, and the
// header's bounds covering every drawing record's bounds. Empty when it is sound.
std::vector<std::string> emfProblems(const std::string& bytes);

// Runs emf2svg-conv on the file; its exit code (0 for a file it could read).
int convertWithEmf2svg(const std::string& tool, const std::filesystem::path& emf);
// The -v dump of every record, colour codes removed.
std::string emf2svgDump(const std::string& tool, const std::filesystem::path& emf);

}  // namespace velmoro::test

// Both checks on one file, inside a test that has required the tool as `conv`.
#define VELMORO_EXPECT_SOUND_EMF(conv, path)                                               \
  do {                                                                                     \
    auto problems_ = ::velmoro::test::emfProblems(::velmoro::test::readFile(path));        \
    EXPECT_TRUE(problems_.empty()) << (path) << ": " << ::testing::PrintToString(problems_); \
    EXPECT_EQ(::velmoro::test::convertWithEmf2svg(conv, path), 0) << (path);               \
  } while (0)
