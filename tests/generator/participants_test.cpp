#include "generator/first_round.h"
#include "generator/match_labels.h"
#include "generator/participants.h"
#include "generator/random.h"

#include "common/unicode.h"
#include "test_support.h"

#include <set>

namespace velmoro::draw {
namespace {

std::u16string u(const std::string& s) { return text::fromUtf8(s); }

TEST(Participants, FileReading) {
  test::ScratchDir dir;
  test::writeFile(dir / "p.txt",
                  "\xEF\xBB\xBF#Name;Short;Club\r\n"
                  "Anna Maria Smith\r\n"
                  "   \r\n"
                  "\"Lee; Jr.\";\"Lee \"\"J\"\"\";  Club  \r\n"
                  "#Hash Tag;;\n"
                  "Solo;;Info;ignored\r\n"
                  "Trailing;\r\n");
  auto lines = readParticipantLines(u((dir / "p.txt").string()));
  ASSERT_EQ(lines.size(), 5u);
  auto players = buildParticipants(lines, 2, u"bye");
  const struct {
    const char16_t *name, *shortName, *info;
    int seed;
  } expected[] = {
      {u"Anna Maria Smith", u"Smith", u"", 1},
      {u"Lee; Jr.", u"Lee \"J\"", u"  Club  ", 2},  // quotes; blanks are kept
      {u"#Hash Tag", u"Tag", u"", 0},              // only the first line is a header
      {u"Solo", u"Solo", u"Info", 0},
      {u"Trailing", u"Trailing", u"", 0},
  };
  for (size_t i = 0; i < players.size(); ++i) {
    EXPECT_EQ(players[i].player->Name, expected[i].name);
    EXPECT_EQ(players[i].player->ShortName, expected[i].shortName);
    EXPECT_EQ(players[i].text, expected[i].shortName);
    EXPECT_EQ(players[i].player->Info, expected[i].info);
    EXPECT_EQ(players[i].player->Seed, expected[i].seed);
  }
}

TEST(Participants, FallbackToRequestedEmptyLines) {
  test::ScratchDir dir;
  test::writeFile(dir / "only-header.txt", "#Name;Short\r\n");
  EXPECT_EQ(loadParticipants(u((dir / "only-header.txt").string()), 8).size(), 8u);
  EXPECT_EQ(loadParticipants(u((dir / "missing.txt").string()), 4).size(), 4u);
  EXPECT_EQ(loadParticipants(u"", 2).size(), 2u);
}

TEST(Participants, BracketSizeSeedsAndFit) {
  const struct {
    int count, smallest, largest, bracket, seeds;
  } cases[] = {
      {2, 2, 256, 2, 2},     {3, 2, 256, 4, 2},     {5, 2, 256, 8, 4},      {13, 2, 256, 16, 4},
      {16, 2, 256, 16, 4},   {17, 2, 256, 32, 8},   {100, 2, 256, 128, 32}, {256, 2, 256, 256, 64},
      {300, 2, 256, 256, 64}, {0, 2, 256, 2, 2},    {3, 16, 128, 16, 4},    {40, 4, 32, 32, 8},
  };
  for (const auto& c : cases) {
    int b = bracketSize(c.count, c.smallest, c.largest);
    EXPECT_EQ(b, c.bracket) << c.count;
    EXPECT_EQ(seedCount(b), c.seeds) << c.count;
  }
  std::vector<std::u16string> lines(300, u"x");
  EXPECT_EQ(fitToBracket(lines, 256, u"bye"), 256);
  EXPECT_EQ(lines.size(), 256u);
  std::vector<std::u16string> few{u"a", u"b", u"c"};
  EXPECT_EQ(fitToBracket(few, 4, u"free"), 3);
  EXPECT_EQ(few.back(), u"free");
}

// Lines of a first round: line n is slot 1 of match (n+1)/2 for odd n, slot 2 of n/2.
std::vector<int> linesOf(const TMatchList& matches) {
  std::vector<int> lines;
  for (const auto& item : matches.items()) {
    lines.push_back(item.match->P1);
    lines.push_back(item.match->P2);
  }
  return lines;
}

TMatchList draw(int count, int bracket, FirstRoundOptions options = {}, std::u16string bye = u"bye") {
  std::vector<std::u16string> lines;
  for (int i = 1; i <= count; ++i) lines.push_back(u"P" + text::fromAscii(std::to_string(i)));
  fitToBracket(lines, bracket, bye);
  auto players = buildParticipants(lines, seedCount(bracket), bye);
  TMatchList matches;
  drawFirstRound(bracket, players, matches, bye, options);
  return matches;
}

TEST(FirstRound, SeedLines) {
  const struct {
    int bracket;
    std::vector<std::pair<int, int>> seedToLine;
  } cases[] = {
      {4, {{1, 1}, {2, 4}}},
      {8, {{1, 1}, {3, 4}, {4, 5}, {2, 8}}},
      {16, {{1, 1}, {3, 8}, {4, 9}, {2, 16}}},
      {32, {{1, 1}, {7, 8}, {6, 9}, {4, 16}, {3, 17}, {5, 24}, {8, 25}, {2, 32}}},
  };
  for (const auto& c : cases) {
    auto lines = linesOf(draw(c.bracket, c.bracket));
    for (auto [seed, line] : c.seedToLine) EXPECT_EQ(lines[line - 1], seed) << c.bracket << " line " << line;
  }
}

TEST(FirstRound, ThirteenInSixteenWithByes) {
  TMatchList m = draw(13, 16);
  ASSERT_EQ(m.size(), 8u);
  const std::pair<int, int> expected[] = {{1, 16}, {5, 6}, {7, 8}, {14, 3}, {4, 9}, {10, 11}, {12, 13}, {15, 2}};
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_EQ(m.at(i)->P1, expected[i].first) << i;
    EXPECT_EQ(m.at(i)->P2, expected[i].second) << i;
    EXPECT_EQ(m.at(i)->MatchID, u"M" + text::fromAscii(std::to_string(i + 1)));
  }
  TMatchList three = draw(3, 4);  // the single bye meets seed 1
  EXPECT_EQ(linesOf(three), (std::vector<int>{1, 4, 3, 2}));
}

TEST(FirstRound, InvariantsOverSizesAndRandomisation) {
  for (bool seeded : {false, true})
    for (bool unseeded : {false, true})
      for (int count : {2, 3, 5, 7, 13, 16, 17, 33, 100, 200, 256}) {
        setRandomState(12345u + count);
        int bracket = bracketSize(count, 2, 256);
        auto lines = linesOf(draw(count, bracket, {false, seeded, unseeded}));
        // Every line holds a distinct participant; every bye meets a seed, each seed one bye at most.
        std::set<int> seen(lines.begin(), lines.end());
        EXPECT_EQ(seen.size(), static_cast<size_t>(bracket)) << count;
        EXPECT_EQ(*seen.begin(), 1);
        EXPECT_EQ(*seen.rbegin(), bracket);
        int seeds = seedCount(bracket);
        if (bracket - count <= seeds)
          for (size_t i = 0; i < lines.size(); i += 2)
            for (int k : {0, 1})
              if (lines[i + k] > count) {
                EXPECT_LE(lines[i + 1 - k], seeds) << count;
              }
        EXPECT_EQ(lines.front(), 1);
        EXPECT_EQ(lines.back(), 2);
      }
}

TEST(FirstRound, RandomisationMovesOnlyWhatItMay) {
  // Seeds 3 and 4 stay on lines 8 and 9 of a 16 draw, in either order.
  std::set<std::pair<int, int>> seen;
  for (uint32_t s = 0; s < 40; ++s) {
    setRandomState(s);
    auto lines = linesOf(draw(16, 16, {false, true, false}));
    seen.insert({lines[7], lines[8]});
    EXPECT_EQ(lines[0], 1);
    EXPECT_EQ(lines[15], 2);
    for (int l = 1; l < 15; ++l)
      if (l != 7 && l != 8) {
        EXPECT_GT(lines[l], 4);
      }
  }
  EXPECT_EQ(seen, (std::set<std::pair<int, int>>{{3, 4}, {4, 3}}));
  // The same state gives the same draw.
  setRandomState(777);
  auto a = linesOf(draw(100, 128, {false, true, true}));
  setRandomState(777);
  EXPECT_EQ(a, linesOf(draw(100, 128, {false, true, true})));
}

TEST(FirstRound, LetterLabelsAndGenerator) {
  TMatchList m = draw(8, 8, {true, false, false});
  EXPECT_EQ(m.at(0)->MatchID, u"A");
  EXPECT_EQ(m.at(3)->MatchID, u"D");
  const std::pair<int, const char16_t*> labels[] = {
      {1, u"A"}, {17, u"R"}, {22, u"X"}, {24, u"Z"}, {25, u"a"}, {48, u"z"}, {49, u"A2"}, {96, u"z2"}, {97, u"M97"}};
  for (auto [k, label] : labels) EXPECT_EQ(matchLabel(k), label) << k;
  setRandomState(0);
  EXPECT_EQ(randomBelow(100), 0u);  // state 1: (1 * 100) >> 32
  EXPECT_EQ(randomState(), 1u);
  EXPECT_EQ(randomBelow(1u << 31), 134775814u >> 1);
}

TEST(RandomSeed, EnvironmentSeedsTheGeneratorAtLoad) {
  if (std::getenv("VELMORO_PRINT_RANDOM_STATE")) {
    std::printf("state=%u\n", randomState());
    return;
  }
  auto r = test::run({"/proc/self/exe", "--gtest_filter=RandomSeed.*"},
                     {"VELMORO_PRINT_RANDOM_STATE=1", "VELMORO_RANDOM_SEED=4242"});
  EXPECT_NE(r.out.find("state=4242\n"), std::string::npos) << r.out;
}

}  // namespace
}  // namespace velmoro::draw
