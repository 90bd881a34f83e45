#include "generator/result_turning.h"
#include "generator/schedule.h"

#include "common/error.h"
#include "common/unicode.h"
#include "test_support.h"

#include <unistd.h>
#include <sys/wait.h>

namespace velmoro::draw {
namespace {

std::u16string u(const std::string& s) { return text::fromUtf8(s); }

TEST(ResultTurning, Table) {
  const std::pair<const char16_t*, const char16_t*> detailed[] = {
      {u"4:6, 3:6, 6:4, 2:6", u"6:4,6:3,4:6,6:2"},
      {u"6-4 7-6", u"4-6 6-7"},
      {u"64 76/5", u"46 67/5"},
      {u"9,-8,5", u"-9,8,-5"},
      {u"6:4 7:6(5)", u"4:6 6:7(5)"},
      {u"6-4, 6-7/5", u"4-6,7-6/5"},        // extra after a slash
      {u"6/4|3/6", u"4/6|6/3"},             // "/" pairs when every item has one
      {u"0,5", u"-0,-5"},                    // signed: a lone 0 is "-0"
      {u"964 1210", u"649 1012"},           // 3 digits starting with 9 split 1 + 2; 4 split 2 + 2
      {u"11:9, 9:11,,", u"9:11,11:9"},      // empty items are dropped
      {u"", u""},
  };
  for (const auto& [in, out] : detailed) EXPECT_EQ(turnDetailedResult(in), out) << text::toUtf8(in);
  EXPECT_EQ(turnResult(u"3:1"), u"1:3");
  EXPECT_EQ(turnResult(u"2-0"), u"2-0");  // only ":" is turned
  EXPECT_EQ(turnResult(u"3:1:2"), u"1:2:3");
}

TEST(Schedule, ReadingRules) {
  test::ScratchDir dir;
  test::writeFile(dir / "s.txt",
                  "#MatchID;P1;P2;Winner;Result;Detailed result;P1WinOf;P2WinOf\r\n"
                  "M1;1;16;1;2:0\r\n"
                  "M2;5\r\n"                                   // two fields: ignored
                  "M3;5;12;12;1:3;4:6, 3:6, 6:4, 2:6;M1;M2\r\n"
                  "M4;300;x;-1;;;M9\r\n"                       // unusable numbers, 7 fields
                  "\r\n"
                  "m5;2;3;3;\"1;2\";;;;note;more\n");
  TMatchList list;
  loadSchedule(list, u((dir / "s.txt").string()), 16);
  ASSERT_EQ(list.size(), 4u);
  const TMatchRecord* m3 = list.find(u"m3");
  ASSERT_NE(m3, nullptr);
  EXPECT_EQ(m3->Winner, 12);
  EXPECT_EQ(m3->P1WinOf, u"M1");
  EXPECT_EQ(m3->P2WinOf, u"M2");
  const TMatchRecord* m4 = list.find(u"M4");
  EXPECT_EQ(m4->P1, 0);
  EXPECT_EQ(m4->P2, 0);
  EXPECT_EQ(m4->Winner, -1);
  EXPECT_EQ(m4->P1WinOf, u"");  // links need all eight fields
  EXPECT_EQ(list.find(u"M5")->Result, u"1;2");
  EXPECT_EQ(list.find(u"nothing"), nullptr);
  TMatchList exact(true);  // double elimination tells a from A
  exact.add(u"a");
  EXPECT_EQ(exact.find(u"A"), nullptr);
  TMatchRecord* created = &exact.findOrCreate(u"A");
  ASSERT_EQ(exact.size(), 2u);
  EXPECT_EQ(created, exact.at(1));
  EXPECT_EQ(&exact.findOrCreate(u"a"), exact.at(0));
}

TEST(Schedule, RewriteKeepsEverythingTheUserEntered) {
  test::ScratchDir dir;
  const std::string original =
      "\xEF\xBB\xBF#MatchID;P1;P2;Winner;Result;Detailed result;P1WinOf;P2WinOf\r\n"
      "M1;1;2;1;\"3;1\";\"6:4; 6:3\";;\r\n"
      "M2;300;abc;-1;walkover;;;\r\n"
      "M3;;;;;;M1;M2;keep;\"these \"\"too\"\"\"\r\n"
      "M4;3;4;;;;!M1;\r\n";
  test::writeFile(dir / "s.txt", original);
  std::u16string p = u((dir / "s.txt").string());
  TMatchList list;
  loadSchedule(list, p, 16);
  saveSchedule(list, p);
  EXPECT_EQ(test::readFile(dir / "s.txt"), original);  // byte for byte
  TMatchList again;
  loadSchedule(again, p, 16);
  EXPECT_EQ(again.find(u"M1")->Result, u"3;1");
  EXPECT_EQ(again.find(u"M3")->MoreFields, (std::vector<std::u16string>{u"keep", u"these \"too\""}));
  // A number the draw sets replaces the text the reader kept.
  again.find(u"M2")->P1 = 7;
  EXPECT_NE(scheduleText(again).find(u"M2;7;abc;-1;walkover"), std::u16string::npos);
}

TEST(Schedule, WrittenFormat) {
  TMatchList list;
  TMatchRecord& m = list.add(u"M1");
  m.P1 = 3;
  m.Winner = 3;
  list.add(u"M2");
  EXPECT_EQ(scheduleText(list),
            u"#MatchID;P1;P2;Winner;Result;Detailed result;P1WinOf;P2WinOf\r\nM1;3;;3;;;;\r\nM2;;;;;;;\r\n");
}

TEST(Schedule, WriteFailuresAreErrors) {
  test::ScratchDir dir;
  test::writeFile(dir / "file", "x");
  TMatchList list;
  list.add(u"M1");
  EXPECT_THROW(saveSchedule(list, u((dir / "file/sub/s.txt").string())), Error);
  EXPECT_NO_THROW(saveSchedule(list, u""));
}

TEST(Schedule, KilledWriterLeavesThePreviousFile) {
  // A child writes a large schedule over the old one and is killed half way through.
  test::ScratchDir dir;
  std::u16string p = u((dir / "s.txt").string());
  TMatchList small;
  small.add(u"M1").Result = u"old";
  saveSchedule(small, p);
  const std::string before = test::readFile(dir / "s.txt");
  TMatchList big;
  for (int i = 0; i < 200000; ++i) big.add(u"M" + text::fromAscii(std::to_string(i))).Result = u"a long result text";
  for (int attempt = 0; attempt < 5; ++attempt) {
    pid_t pid = ::fork();
    if (pid == 0) {
      try {
        saveSchedule(big, p);
      } catch (...) {
      }
      ::_exit(0);
    }
    ::usleep(static_cast<useconds_t>(2000 + attempt * 3000));
    ::kill(pid, SIGKILL);
    int status;
    ::waitpid(pid, &status, 0);
    std::string now = test::readFile(dir / "s.txt");
    // Old or new, never torn.
    EXPECT_TRUE(now == before || now == text::toUtf8(u"\uFEFF" + scheduleText(big))) << now.size();
    if (now != before) break;
  }
}

TEST(MatchViews, WinnerSideAndTurnedResults) {
  std::vector<std::u16string> lines{u"Ann Lee;Lee;Club A", u"Bob Ray;Ray;Club B"};
  auto players = buildParticipants(lines, 1, u"bye");
  TMatchRecord m;
  m.P1 = 1;
  m.P2 = 2;
  m.Winner = 2;
  m.Result = u"1:3";
  m.DetailedResult = u"4:6, 3:6, 6:4, 2:6";
  MatchView v = matchView(&m, players, false);
  EXPECT_EQ(v.upper.name, u"Lee");
  EXPECT_EQ(v.upper.seed, 1);
  EXPECT_EQ(v.lower.info, u"Club B");
  EXPECT_EQ(v.winnerSide, 2);
  WinnerView w = winnerView(&m, players, true);
  EXPECT_EQ(w.winner.name, u"Bob Ray");
  EXPECT_EQ(w.result, u"3:1");
  EXPECT_EQ(w.detailedResult, u"6:4,6:3,4:6,6:2");
  TMatchRecord empty;  // no participants, no winner: neither side won
  EXPECT_EQ(matchView(&empty, players, false).winnerSide, 0);
  EXPECT_EQ(matchView(nullptr, players, false).upper.name, u"");
  std::u16string result = u"3:1", detail = u"6:4 6:2";
  applyDetailedSwitch(false, result, detail);
  EXPECT_EQ(result, u"3:1");
  applyDetailedSwitch(true, result, detail);
  EXPECT_EQ(result, u"6:4 6:2");
  EXPECT_EQ(detail, u"");
}

}  // namespace
}  // namespace velmoro::draw
