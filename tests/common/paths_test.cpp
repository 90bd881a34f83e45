#include "common/paths.h"
#include "common/unicode.h"

#include "test_support.h"

namespace velmoro {
namespace {

TEST(Paths, ResolveTable) {
  const struct {
    const char16_t *path, *base, *expected;
  } cases[] = {
      {u"draws/a.txt", u"/home/u", u"/home/u/draws/a.txt"},
      {u"draws\\a.txt", u"/home/u/", u"/home/u/draws/a.txt"},
      {u"/srv/draws/a.txt", u"/home/u", u"/srv/draws/a.txt"},
      {u"\\srv\\draws\\a.txt", u"/home/u", u"/srv/draws/a.txt"},
      {u"C:\\draws\\a.txt", u"/home/u", u"/home/u/C:/draws/a.txt"},  // drives mean nothing
      {u"sub\\x:\\a", u"/t", u"/t/sub/x:/a"},
      {u"\\\\server\\share\\a", u"/t", u"//server/share/a"},
      {u"players.txt", u"/t/", u"/t/players.txt"},
  };
  for (const auto& c : cases) EXPECT_EQ(path::resolve(c.path, c.base), c.expected);
  EXPECT_TRUE(path::isAbsolute(u"\\x"));
  EXPECT_FALSE(path::isAbsolute(u"C:/x"));
  EXPECT_FALSE(path::isAbsolute(u""));
}

TEST(Paths, Parts) {
  EXPECT_EQ(path::folderOf(u"/t/cup.txt"), u"/t/");
  EXPECT_EQ(path::folderOf(u"cup.txt"), u"");
  EXPECT_EQ(path::folderOf(u"a\\b\\c"), u"a/b/");
  EXPECT_EQ(path::extensionOf(u"/t/draw.PDF"), u".PDF");
  EXPECT_EQ(path::extensionOf(u"/t.d/draw"), u"");  // a dot in a folder is no extension
  EXPECT_EQ(path::extensionOf(u"/t/a.b.emf"), u".emf");
  EXPECT_EQ(path::changeExtension(u"/t/draw.pdf", u".emf"), u"/t/draw.emf");
  EXPECT_EQ(path::changeExtension(u"/t.d/draw", u".emf"), u"/t.d/draw.emf");
}

TEST(Paths, CreateFolders) {
  test::ScratchDir dir;
  std::u16string deep = text::fromUtf8((dir / "a/b/c").string());
  EXPECT_TRUE(path::createFolders(deep));
  EXPECT_TRUE(path::folderExists(deep));
  EXPECT_TRUE(path::createFolders(deep + u"/"));  // exists already
  test::writeFile(dir / "file", "x");
  EXPECT_FALSE(path::createFolders(text::fromUtf8((dir / "file/sub").string())));  // ENOTDIR
  EXPECT_FALSE(path::createFolders(text::fromUtf8((dir / "file").string())));
  EXPECT_FALSE(path::createFolders(u"/proc/velmoro-test"));
  EXPECT_TRUE(path::createFolders(u""));
}

}  // namespace
}  // namespace velmoro
