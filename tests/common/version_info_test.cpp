#include "common/version_info.h"

#include "common/unicode.h"
#include "test_support.h"

namespace velmoro {
namespace {

TEST(VersionInfo, OwnBlockRoundTrip) {
  auto block = buildVersionBlock({{u"CompanyName", u"Velmoro"},
                                  {u"ProductName", u"Velmoro \u00C9dition"},
                                  {u"ProductVersion", u"1.2.3.4"},
                                  {u"Empty", u""}});
  TVersionInfo v(block);
  EXPECT_EQ(v.translation(), u"040904B0");
  EXPECT_EQ(v.CompanyName(), u"Velmoro");
  EXPECT_EQ(v.stringValue(u"productname"), u"Velmoro \u00C9dition");  // names ignore case
  EXPECT_EQ(v.ProductVersion(), u"1.2.3.4");
  EXPECT_EQ(v.stringValue(u"Empty"), u"");
  EXPECT_EQ(v.LegalCopyright(), u"");
  ASSERT_TRUE(v.hasFixed());
  EXPECT_EQ(v.fixed().productMS, 0x00010002u);
  EXPECT_EQ(v.fixed().productLS, 0x00030004u);
}

TEST(VersionInfo, DamagedBlocksGiveEmptyValues) {
  auto block = buildVersionBlock({{u"CompanyName", u"Velmoro"}});
  EXPECT_EQ(TVersionInfo(std::span<const uint8_t>()).CompanyName(), u"");
  // Every truncation and a few corrupted lengths: no crash, no garbage.
  for (size_t n = 0; n < block.size(); ++n) {
    TVersionInfo v(std::span<const uint8_t>(block).first(n));
    EXPECT_TRUE(v.CompanyName().empty() || v.CompanyName() == u"Velmoro");
  }
  for (size_t at : {size_t(0), size_t(1), size_t(2), block.size() / 2}) {
    auto bad = block;
    bad[at] ^= 0xFF;
    TVersionInfo v(bad);
    (void)v.CompanyName();
  }
}

// A .res file as windres writes it: a sequence of entries, each a header and data.
std::vector<uint8_t> versionResourceFromRes(const std::string& res) {
  auto u16 = [&](size_t at) { return static_cast<uint16_t>(uint8_t(res[at]) | (uint8_t(res[at + 1]) << 8)); };
  auto u32 = [&](size_t at) { return u16(at) | (uint32_t(u16(at + 2)) << 16); };
  size_t at = 0;
  while (at + 8 <= res.size()) {
    uint32_t dataSize = u32(at), headerSize = u32(at + 4);
    bool isVersion = u16(at + 8) == 0xFFFF && u16(at + 10) == 16;
    if (isVersion) return std::vector<uint8_t>(res.begin() + at + headerSize, res.begin() + at + headerSize + dataSize);
    at += (headerSize + dataSize + 3) & ~3u;
  }
  return {};
}

TEST(VersionInfo, BlockWrittenByWindres) {
  VELMORO_REQUIRE_TOOL(windres, "x86_64-w64-mingw32-windres");
  test::ScratchDir dir;
  test::writeFile(dir / "v.rc", R"(1 VERSIONINFO
FILEVERSION 1,2,3,4
PRODUCTVERSION 5,6,7,8
BEGIN
  BLOCK "StringFileInfo"
  BEGIN
    BLOCK "040904B0"
    BEGIN
      VALUE "CompanyName", "Wrong table"
    END
    BLOCK "040704E4"
    BEGIN
      VALUE "CompanyName", "Muster GmbH"
      VALUE "ProductName", "Turnier"
      VALUE "LegalCopyright", "(c) 2020 (c) Muster"
    END
  END
  BLOCK "VarFileInfo"
  BEGIN
    VALUE "Translation", 0x0407, 0x04E4, 0x0409, 0x04B0
  END
END
)");
  auto r = test::run({windres, "-i", (dir / "v.rc").string(), "-o", (dir / "v.res").string(), "-O", "res"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  auto block = versionResourceFromRes(test::readFile(dir / "v.res"));
  ASSERT_FALSE(block.empty());
  TVersionInfo v(block);
  EXPECT_EQ(v.translation(), u"040704E4");  // the first pair listed picks the table
  EXPECT_EQ(v.CompanyName(), u"Muster GmbH");
  EXPECT_EQ(v.ProductName(), u"Turnier");
  EXPECT_EQ(v.LegalCopyright(), u"(c) 2020 (c) Muster");
  EXPECT_EQ(v.ProductVersion(), u"5.6.7.8");  // no string value: the fixed part
  EXPECT_EQ(v.FileVersion(), u"1.2.3.4");
}

}  // namespace
}  // namespace velmoro
