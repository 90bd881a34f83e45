#include "generator/request.h"

#include <gtest/gtest.h>

namespace velmoro::draw {
namespace {

TEST(Request, MetadataFromVersionBlock) {
  const struct {
    std::vector<std::pair<std::u16string, std::u16string>> strings;
    const char16_t *author, *creator, *copyright;
  } cases[] = {
      {{{u"CompanyName", u"Club"}, {u"ProductName", u"Draws"}, {u"ProductVersion", u"2.1"},
        {u"LegalCopyright", u"(c) 2020 (c) Club"}},
       u"Club", u"Draws 2.1", u"Draws,  \u00A9 2020 (c) Club,  https://velmoro.org"},
      {{{u"ProductName", u"Draws"}}, u"", u"Draws 0.0.0.0", u"Draws,  https://velmoro.org"},
      {{{u"LegalCopyright", u"Club (c)"}}, u"", u" 0.0.0.0", u"Club \u00A9,  https://velmoro.org"},
  };
  for (const auto& c : cases) {
    DocumentMetadata m = metadataFrom(TVersionInfo(buildVersionBlock(c.strings)));
    EXPECT_EQ(m.author, c.author);
    EXPECT_EQ(m.creator, c.creator);
    EXPECT_EQ(m.copyright, c.copyright);
  }
  // No version block at all: the address alone, never ",  ,  address".
  DocumentMetadata none = metadataFrom(TVersionInfo());
  EXPECT_EQ(none.copyright, u"https://velmoro.org");
  EXPECT_EQ(none.creator, u" ");
  EXPECT_EQ(none.author, u"");
}

}  // namespace
}  // namespace velmoro::draw
