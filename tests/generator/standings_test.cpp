#include "generator/standings.h"

#include "common/unicode.h"
#include "test_support.h"

namespace velmoro::draw {
namespace {

std::u16string u(const std::string& s) { return text::fromUtf8(s); }

TParticipantList players(int n, int byes = 0) {
  std::vector<std::u16string> lines;
  for (int i = 1; i <= n; ++i) lines.push_back(u"Player " + text::fromAscii(std::to_string(i)));
  for (int i = 0; i < byes; ++i) lines.push_back(u"bye");
  return buildParticipants(lines, 2, u"bye");
}

void match(TMatchList& list, const char16_t* id, int p1, int p2, int winner, const char16_t* result = u"") {
  TMatchRecord& m = list.add(id);
  m.P1 = p1;
  m.P2 = p2;
  m.Winner = winner;
  m.Result = result;
}

TEST(Standings, FinishedEightDrawWithThirdPlace) {
  auto p = players(8);
  TMatchList m;
  match(m, u"M1", 1, 2, 1, u"2:0");
  match(m, u"M2", 3, 4, 3, u"2:1");
  match(m, u"M3", 5, 6, 5, u"3:1 pen.");
  match(m, u"M4", 7, 8, 7, u"6-4");
  match(m, u"M5", 1, 3, 1, u"2:0");
  match(m, u"M6", 5, 7, 5, u"2:1");
  match(m, u"M7", 1, 5, 1, u"3:2");  // the final
  match(m, u"M8", 3, 7, 3, u"2:0");  // third place
  test::ScratchDir dir;
  std::u16string path = standingsPath(u((dir / "cup.players.txt").string()));
  EXPECT_EQ(path, u((dir / "cup.players.standings.csv").string()));
  writeSingleEliminationStandings(path, p, m, true, u"bye");
  // Hand-computed: 9 points for three wins, 7 for the losing finalist (two wins and the
  // bonus), 6 for the third-place winner, 3 for the fourth; the first-round losers share 5.
  EXPECT_EQ(test::readFile(dir / "cup.players.standings.csv"),
            "\xEF\xBB\xBF#Pos;PID;Plays;Wins;Draws;Losts;Pen.;Score1;Score2;Extra1;Extra2;Points\r\n"
            "1;1;3;3;0;0;0;0:0;0:0;0:0;;9\r\n"
            "2;5;4;2;1;1;0;0:0;0:0;0:0;;7\r\n"
            "3;3;3;2;0;1;0;0:0;0:0;0:0;;6\r\n"
            "4;7;3;1;0;2;0;0:0;0:0;0:0;;3\r\n"
            "5;2;1;0;0;1;0;0:0;0:0;0:0;;0\r\n"
            "5;6;1;0;0;1;0;0:0;0:0;0:0;;0\r\n"
            "5;4;1;0;0;1;0;0:0;0:0;0:0;;0\r\n"
            "5;8;1;0;0;1;0;0:0;0:0;0:0;;0\r\n");
}

TEST(Standings, ReadsCsvWithAStandardReader) {
  VELMORO_REQUIRE_TOOL(python, "python3");
  auto p = players(3, 1);
  TMatchList m;
  match(m, u"M1", 1, 4, 1);
  match(m, u"M2", 3, 2, 2, u"1:2");
  match(m, u"M3", 1, 2, 0);
  test::ScratchDir dir;
  writeSingleEliminationStandings(u((dir / "s.csv").string()), p, m, false, u"bye");
  auto r = test::run({python, "-c",
                      "import csv,sys\n"
                      "rows=list(csv.reader(open(sys.argv[1],encoding='utf-8-sig',newline=''),delimiter=';',strict=True))\n"
                      "assert rows[0][0]=='#Pos' and len(rows[0])==12, rows[0]\n"
                      "assert all(len(r)==12 for r in rows), rows\n"
                      "print(' '.join(r[1] for r in rows[1:]))\n",
                      (dir / "s.csv").string()});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.out, "1 2 3\n");  // the bye (4) is not listed
}

TEST(Standings, Counting) {
  std::array<int32_t, 12> a{}, b{};
  TMatchRecord m;
  m.P1 = 1;
  m.P2 = 2;
  m.Winner = 1;
  m.Result = u"2:2";
  m.DetailedResult = u"2:2 5:4";
  EXPECT_EQ(countMatch(m, a, b), kUpperWon);
  EXPECT_EQ(a[kWins], 1);
  EXPECT_EQ(b[kLosses], 1);
  EXPECT_EQ(a[kDraws], 1);  // equal scores count a draw, winner or not
  EXPECT_EQ(b[kDraws], 1);
  EXPECT_EQ(a[kFor2], 2);
  EXPECT_EQ(a[kExtraFor], 5);
  EXPECT_EQ(b[kExtraFor], 4);
  TMatchRecord unplayed;
  EXPECT_EQ(countMatch(unplayed, a, b), kNotPlayed);
  TMatchRecord noWinner;  // a result against an empty slot is nobody's loss
  noWinner.P1 = 1;
  noWinner.Result = u"1:0";
  std::array<int32_t, 12> c{}, d{};
  EXPECT_EQ(countMatch(noWinner, c, d), kNoWinner);
  EXPECT_EQ(c[kLosses], 0);
}

TEST(Standings, NothingPlayedSharesFirstPlace) {
  auto p = players(4);
  TStandingsList list = prepareStandings(p);
  TMatchList none;
  countMatches(none, list);
  orderStandings(list, false, false, false);
  std::u16string t = standingsText(list, u"bye", true, true);
  EXPECT_NE(t.find(u"1;1;0;0;0;0;0;0.0:0.0;0.0:0.0;0.0:0.0;;0.0\r\n1;2;"), std::u16string::npos);
  EXPECT_NE(t.find(u"\r\n1;4;"), std::u16string::npos);
  TStandingsList empty;
  test::ScratchDir dir;
  writeStandings(u((dir / "x.csv").string()), empty, u"bye", false, true);
  EXPECT_FALSE(std::filesystem::exists(dir / "x.csv"));
}

}  // namespace
}  // namespace velmoro::draw
