#include "platform/resources.h"

#include "common/text_file.h"
#include "common/unicode.h"
#include "test_support.h"

namespace velmoro::platform {
namespace {

std::vector<uint8_t> bytes(const std::string& s) { return {s.begin(), s.end()}; }

TEST(ResourceArchive, AppendReadReplace) {
  std::vector<uint8_t> program = bytes("\x7F" "ELF program bytes");
  EXPECT_TRUE(parseResourceArchive(program).empty());
  std::vector<Resource> first{{"#16", "#1", 0x409, bytes("version")}, {"#10", "KWSCRIPTINFO", 0, bytes("a\r\nb")}};
  auto image = replaceResourceArchive(program, first);
  auto read = parseResourceArchive(image);
  ASSERT_EQ(read.size(), 2u);
  EXPECT_EQ(read[1].name, "KWSCRIPTINFO");
  EXPECT_EQ(read[1].data, bytes("a\r\nb"));
  EXPECT_EQ(read[0].language, 0x409);
  EXPECT_EQ(programSizeWithoutArchive(image), program.size());
  // Appending again replaces the archive instead of stacking a second one.
  auto again = replaceResourceArchive(image, {{"#16", "#1", 0, bytes("v2")}});
  EXPECT_EQ(programSizeWithoutArchive(again), program.size());
  ASSERT_EQ(parseResourceArchive(again).size(), 1u);
  EXPECT_EQ(findResource(parseResourceArchive(again), kVersionType)->data, bytes("v2"));
}

TEST(ResourceArchive, DamagedArchiveIsNoArchive) {
  auto image = replaceResourceArchive(bytes("prog"), {{"#16", "#1", 0, bytes("0123456789")}});
  for (size_t n = 0; n < image.size(); ++n) {
    auto cut = std::span(image).first(n);  // every truncation
    (void)parseResourceArchive(cut);
  }
  for (size_t i = 0; i < image.size(); ++i) {  // every single corrupted byte
    auto bad = image;
    bad[i] ^= 0xA5;
    for (const auto& r : parseResourceArchive(bad)) EXPECT_LE(r.data.size(), image.size());
  }
}

TEST(ResourceArchive, ReadFromFileTail) {
  test::ScratchDir dir;
  auto image = replaceResourceArchive(std::vector<uint8_t>(100000, 0x90), {{"#16", "#1", 0, bytes("v")}});
  test::writeFile(dir / "prog", std::string(image.begin(), image.end()));
  auto read = readResourcesOfFile((dir / "prog").string());
  ASSERT_EQ(read.size(), 1u);
  EXPECT_EQ(read[0].data, bytes("v"));
  EXPECT_TRUE(readResourcesOfFile((dir / "missing").string()).empty());
}

TEST(ResourceArchive, BuildStepGivesTheProgramItsVersion) {
  // velmoro carries the version block the build appended to it.
  auto resources = readResourcesOfFile((test::binDir() / "velmoro").string());
  const Resource* version = findResource(resources, kVersionType);
  ASSERT_NE(version, nullptr);
  TVersionInfo info(version->data);
  EXPECT_EQ(info.ProductName(), u"Velmoro");
  EXPECT_FALSE(info.CompanyName().empty());
  EXPECT_FALSE(info.LegalCopyright().empty());
  EXPECT_FALSE(info.ProductVersion().empty());
  // The test program itself has none: empty values, no error.
  EXPECT_EQ(ownVersionInfo().CompanyName(), u"");
}

}  // namespace
}  // namespace velmoro::platform
