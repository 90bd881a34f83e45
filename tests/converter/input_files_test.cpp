#include "converter/input_files.h"

#include "common/unicode.h"
#include "test_support.h"

namespace velmoro::convert {
namespace {

TEST(ConverterInput, MaskMatching) {
  const struct {
    const char16_t *mask, *name;
    bool matches;
  } cases[] = {
      {u"*.emf", u"draw1.emf", true},   {u"*.emf", u"DRAW.EMF", true},   {u"draw?.emf", u"draw1.emf", true},
      {u"draw?.emf", u"draw10.emf", false}, {u"*.*", u"README", true},   {u"*.*", u"a.b.c", true},
      {u"*", u".hidden", true},         {u"*.emf", u".hidden.emf", true}, {u"d*w*.e?f", u"drawing.emf", true},
      {u"*.emf", u"draw.emf.bak", false}, {u"draw", u"draw", true},      {u"draw", u"draws", false},
      {u"x.*", u"x", true},             {u"\u00C9t\u00E9*", u"\u00E9t\u00E9.emf", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(maskMatches(c.mask, c.name), c.matches) << text::toUtf8(c.mask) << " " << text::toUtf8(c.name);
}

TEST(ConverterInput, CollectsFilesInOrder) {
  test::ScratchDir dir;
  for (const char* name : {"draw3.emf", "Draw2.emf", "draw1.emf", ".draw0.emf", "notes.txt"})
    test::writeFile(dir / name, "x");
  std::filesystem::create_directory(dir / "draw9.emf");  // a folder is never an input
  std::u16string folder = text::fromUtf8(dir.path().string());
  auto files = collectInputFiles(folder + u"/draw*.emf");
  std::vector<std::u16string> expected{folder + u"/draw1.emf", folder + u"/Draw2.emf", folder + u"/draw3.emf"};
  EXPECT_EQ(files, expected);
  EXPECT_EQ(collectInputFiles(folder + u"\\*.EMF").size(), 4u);  // hidden files too; "\" separates
  EXPECT_EQ(collectInputFiles(folder + u"/").size(), 5u);        // no name: "*.*"
  EXPECT_EQ(collectInputFiles(folder + u"/draw1.emf"), (std::vector<std::u16string>{folder + u"/draw1.emf"}));
  EXPECT_TRUE(collectInputFiles(folder + u"/nothing*.emf").empty());
  EXPECT_TRUE(collectInputFiles(folder + u"/missing/*.emf").empty());
}

TEST(ConverterInput, DefaultOutputName) {
  EXPECT_EQ(defaultOutputName(u"/pages/draw*.emf"), u"/pages/draw.pdf");
  EXPECT_EQ(defaultOutputName(u"/pages/*.emf"), u"/pages/.pdf");
  EXPECT_EQ(defaultOutputName(u"\\pages\\cup"), u"/pages/cup.pdf");
  EXPECT_EQ(defaultOutputName(u"/p.d/draw??"), u"/p.d/draw.pdf");
}

}  // namespace
}  // namespace velmoro::convert
