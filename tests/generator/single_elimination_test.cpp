// Single-elimination sheets end to end, through libVLGN.so as a script calls it.
#include "common/unicode.h"
#include "generator/bracket_drawing.h"
#include "test_support.h"


#include <fstream>

namespace velmoro {
namespace {

namespace fs = std::filesystem;

// The value of a key line of a configuration text ("" when it has none).
std::string keyValue(const std::string& config, const std::string& key) {
  size_t at = config.find(key + "=");
  if (at == std::string::npos) return {};
  at += key.size() + 1;
  return config.substr(at, config.find_first_of("\r\n", at) - at);
}

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  if (size_t at = text.find(from); at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

using EntryW = int32_t (*)(const char16_t*, const char16_t*, int32_t);

struct Sheets : ::testing::Test {
  test::LoadedLibrary library{"libVLGN.so"};
  EntryW vlgn = library.symbol<EntryW>("VLGNW");
  test::ScratchDir dir;

  void SetUp() override { ASSERT_NE(vlgn, nullptr) << library.error(); }
  int32_t draw(const fs::path& config, const fs::path& target) {
    return vlgn(text::fromUtf8(config.string()).c_str(), text::fromUtf8(target.string()).c_str(), 0);
  }
  // A copy of an example with its target format replaced.
  fs::path example(const std::string& name, const std::string& format) {
    fs::path to = dir / (name + "-" + format);
    fs::copy(test::sourceDir() / "examples" / name, to, fs::copy_options::recursive);
    std::string config = test::readFile(to / "config.txt");
    config = replaced(config, "TargetFormat=" + keyValue(config, "TargetFormat"), "TargetFormat=" + format);
    test::writeFile(to / "config.txt", config);
    return to;
  }
};

std::vector<fs::path> filesWithExtension(const fs::path& folder, const std::string& ext) {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(folder))
    if (e.path().extension() == ext) out.push_back(e.path());
  std::sort(out.begin(), out.end());
  return out;
}

TEST_F(Sheets, EveryExampleAsEmfReadsInAnIndependentReader) {
  VELMORO_REQUIRE_TOOL(emf2svg, "emf2svg-conv");
  for (const char* name : {"cup16", "open13", "club64", "draw128", "draw256"}) {
    fs::path folder = example(name, "Emf-Pages");
    ASSERT_EQ(draw(folder / "config.txt", folder / "sheet"), 0) << name;
    auto pages = filesWithExtension(folder, ".emf");
    ASSERT_EQ(pages.size(), 1u) << name;
    auto r = test::run({emf2svg, "-i", pages[0].string(), "-o", (folder / "sheet.svg").string()});
    EXPECT_EQ(r.exitCode, 0) << name << r.err;
    EXPECT_GT(fs::file_size(folder / "sheet.svg"), 1000u) << name;
  }
}

TEST_F(Sheets, EveryExampleAsPdf) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  VELMORO_REQUIRE_TOOL(pdftotext, "pdftotext");
  for (const char* name : {"cup16", "open13", "club64", "draw128", "draw256"}) {
    fs::path folder = example(name, "Pdf");
    ASSERT_EQ(draw(folder / "config.txt", folder / "sheet"), 0) << name;
    ASSERT_TRUE(fs::exists(folder / "sheet.pdf")) << name;
    auto check = test::run({qpdf, "--check", (folder / "sheet.pdf").string()});
    EXPECT_EQ(check.exitCode, 0) << name << check.out;
    auto text = test::run({pdftotext, (folder / "sheet.pdf").string(), "-"});
    EXPECT_EQ(text.err, "") << name;  // poppler complains about nothing
    std::string config = test::readFile(folder / "config.txt");
    const std::string title = keyValue(config, "DrawTitle");
    ASSERT_FALSE(title.empty()) << name;
    EXPECT_NE(text.out.find(title), std::string::npos) << name;
    // The first participant's name appears on the sheet.
    std::string players = test::readFile(folder / "participants.txt");
    std::string first = players.substr(players.find("\r\n") + 2);
    first = first.substr(0, first.find(';'));
    EXPECT_NE(text.out.find(first), std::string::npos) << name << ": " << first;
  }
}

TEST_F(Sheets, TheScheduleIsWrittenOnceThenLeftAsTheUsers) {
  fs::path folder = example("cup16", "Emf");
  ASSERT_FALSE(fs::exists(folder / "schedule.txt"));
  ASSERT_EQ(draw(folder / "config.txt", folder / "sheet"), 0);
  const std::string written = test::readFile(folder / "schedule.txt");
  EXPECT_EQ(written.substr(0, 3), "\xEF\xBB\xBF");
  EXPECT_NE(written.find("#MatchID;P1;P2;Winner;Result;Detailed result;P1WinOf;P2WinOf\r\nM1;1;5;;;;;\r\n"),
            std::string::npos);
  EXPECT_NE(written.find("M15;;;;;;M13;M14\r\nM16;;;;;;!M13;!M14\r\n"), std::string::npos);  // final, third place
  // The user enters a result with a ";" in it and a note of their own; the next draw
  // shows it and leaves the file exactly as the user left it.
  std::string edited = replaced(written, "M1;1;5;;;;;", "M1;1;5;1;\"w/o; injury\";;;;note");
  test::writeFile(folder / "schedule.txt", edited);
  ASSERT_EQ(draw(folder / "config.txt", folder / "sheet"), 0);
  EXPECT_EQ(test::readFile(folder / "schedule.txt"), edited);
  // The standings count the win.
  std::string standings = test::readFile(folder / "participants.standings.csv");
  EXPECT_NE(standings.find("\r\n1;1;1;1;0;0;0;0:0;0:0;0:0;;3\r\n"), std::string::npos) << standings;
}

TEST_F(Sheets, StandingsOfTheFinishedExample) {
  fs::path folder = example("open13", "Emf");
  ASSERT_EQ(draw(folder / "config.txt", folder / "sheet"), 0);
  EXPECT_EQ(test::readFile(folder / "participants.standings.csv"),
            test::readFile(test::sourceDir() / "tests/data/open13.standings.csv"));
}

TEST_F(Sheets, BracketSizesAndMatchNumbers) {
  const struct {
    int players;
    bool thirdPlace;
    int matches;
    const char* last;
  } cases[] = {
      {2, true, 1, "M1;1;2;"},          // B = 2: the final only; third place forced off
      {3, true, 3, "M3;;;;;;M1;M2"},    // 3 players: no third place either
      {5, true, 8, "M8;;;;;;!M5;!M6"},  // B = 8: M1 … M7, third place M8
      {5, false, 7, "M7;;;;;;M5;M6"},
      {300, false, 255, "M255;;;;;;M253;M254"},  // 256 lines: players 257 and up are dropped
  };
  for (const auto& c : cases) {
    fs::path folder = dir / ("n" + std::to_string(c.players) + (c.thirdPlace ? "t" : ""));
    std::string players = "#Name\r\n";
    for (int i = 1; i <= c.players; ++i) players += "Player " + std::to_string(i) + "\r\n";
    test::writeFile(folder / "p.txt", players);
    test::writeFile(folder / "cfg.txt", std::string("DrawScriptID=se\r\nTargetFormat=Emf\r\nDataParticipantsFile=p.txt\r\n") +
                                            "DataScheduleFile=s.txt\r\nDraw3rdPlace=" + (c.thirdPlace ? "1" : "0") + "\r\n");
    ASSERT_EQ(draw(folder / "cfg.txt", folder / "out"), 0) << c.players;
    std::string schedule = test::readFile(folder / "s.txt");
    int lines = 0;
    for (size_t at = 0; (at = schedule.find("\r\n", at)) != std::string::npos; at += 2) ++lines;
    EXPECT_EQ(lines - 1, c.matches) << c.players;
    EXPECT_NE(schedule.find(std::string("\r\n") + c.last), std::string::npos) << c.players << schedule.substr(0, 200);
    EXPECT_EQ(schedule.find("Player 257"), std::string::npos);
  }
}

TEST_F(Sheets, EmptySheetWithoutDataFiles) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  test::writeFile(dir / "cfg.txt", "DrawScriptID=sef\r\nTargetFormat=Pdf\r\nDrawParticipantsCount=13\r\nDrawShowSeed=1\r\n"
                                   "DrawTitle=Blank sheet\r\nDrawStyle=framed\r\nDrawDoubleSized1stBracket=1\r\n");
  ASSERT_EQ(draw(dir / "cfg.txt", dir / "blank"), 0);
  EXPECT_EQ(test::run({qpdf, "--check", (dir / "blank.pdf").string()}).exitCode, 0);
  // No data files: nothing but the sheet is written.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), {}), 2);
}

TEST(BracketDrawing, SeedAnnotationAndHeights) {
  using draw::seedAnnotation;
  EXPECT_EQ(seedAnnotation(u"Okafor", 3, u"", u"["), u"Okafor [3[");
  EXPECT_EQ(seedAnnotation(u"Okafor", 3, u"", u"<>"), u"Okafor <3>");
  EXPECT_EQ(seedAnnotation(u"Okafor", 3, u"", u"{{}}"), u"Okafor {3{");
  EXPECT_EQ(seedAnnotation(u"", 3, u"", u""), u"(3)");
  EXPECT_EQ(seedAnnotation(u"Okafor", 0, u"GER", u"()"), u"Okafor (GER)");
  EXPECT_EQ(seedAnnotation(u"Okafor", 0, u"", u"()"), u"Okafor");
  EXPECT_EQ(draw::baseFontHeight({0, 0, 500, 300}), -4);
  EXPECT_EQ(draw::baseFontHeight({0, 0, 500, 960}), -10);
}

}  // namespace
}  // namespace velmoro
