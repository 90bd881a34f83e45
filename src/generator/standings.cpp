#include "generator/standings.h"

#include "common/config_list.h"
#include "common/error.h"
#include "common/paths.h"
#include "common/text_file.h"
#include "common/unicode.h"

#include <cstdio>
#include <cstdlib>

namespace velmoro::draw {

namespace {

using Stats = std::array<int32_t, 12>;

int32_t integerOr0(std::u16string_view s) {
  int32_t v = 0;
  return parseInteger(text::trim(s), v) ? v : 0;
}

// "a:b" (else "a-b") read into two numbers; false when there is no separator.
bool readScore(std::u16string_view s, int32_t& a, int32_t& b, std::u16string_view* left = nullptr,
               std::u16string_view* right = nullptr) {
  size_t sep = s.find(u':');
  if (sep == std::u16string_view::npos) sep = s.find(u'-');
  if (sep == std::u16string_view::npos) return false;
  std::u16string_view l = text::trim(s.substr(0, sep)), r = text::trim(s.substr(sep + 1));
  a = integerOr0(l);
  b = integerOr0(r);
  if (left) *left = l;
  if (right) *right = r;
  return true;
}

void addCrosswise(Stats& upper, Stats& lower, size_t forIndex, size_t againstIndex, int32_t a, int32_t b) {
  upper[forIndex] += a;
  upper[againstIndex] += b;
  lower[forIndex] += b;
  lower[againstIndex] += a;
}

std::u16string number(int64_t v, bool decimal) {
  char buf[32];
  if (decimal)
    std::snprintf(buf, sizeof buf, "%.1f", static_cast<double>(v));
  else
    std::snprintf(buf, sizeof buf, "%lld", static_cast<long long>(v));
  return text::fromAscii(buf);
}

int32_t played(const Stats& s) { return s[kWins] + s[kLosses] + s[kDraws] + s[kPen]; }

int64_t compare(const Stats& p, const Stats& q, bool second, bool extra, bool rankKeyMode) {
  int64_t x = 0;
  if (rankKeyMode) {
    int64_t kp = p[kRankKey], kq = q[kRankKey];
    if (kp == 0 && kq == 0)
      x = 0;
    else if (kp >= 1 && kq == 0)
      x = -1;
    else if (kp != 0)
      x = kp - kq;
    else
      x = kq < 1 ? -kq : 1;
  }
  if (x != 0) return x;
  if (played(p) == 0 && played(q) >= 1) return 1;
  if (!(played(q) != 0 || played(p) == 0)) return -1;
  x = int64_t(q[kPoints]) - p[kPoints];
  if (x == 0) x = (int64_t(q[kFor1]) - q[kAgainst1]) - (int64_t(p[kFor1]) - p[kAgainst1]);
  if (x == 0) x = int64_t(q[kFor1]) - p[kFor1];
  if (x == 0 && second) {
    x = (int64_t(q[kFor2]) - q[kAgainst2]) - (int64_t(p[kFor2]) - p[kAgainst2]);
    if (x == 0) x = int64_t(q[kFor2]) - p[kFor2];
    if (x == 0 && extra) {
      x = (int64_t(q[kExtraFor]) - q[kExtraAgainst]) - (int64_t(p[kExtraFor]) - p[kExtraAgainst]);
      if (x == 0) x = int64_t(q[kExtraFor]) - p[kExtraFor];
    }
  }
  return x;
}

bool sameScores(const Stats& a, const Stats& b) {
  for (size_t i : {kPoints, kFor1, kAgainst1, kFor2, kAgainst2, kExtraFor, kExtraAgainst})
    if (a[i] != b[i]) return false;
  return true;
}

}  // namespace

TStandingsList prepareStandings(const TParticipantList& players) {
  TStandingsList list;
  for (size_t i = 0; i < players.size(); ++i) {
    if (players[i].player) players[i].player->Stats.fill(0);
    std::string n = std::to_string(i + 1);
    list.push_back({std::u16string(n.begin(), n.end()), players[i].player.get()});
  }
  return list;
}

Outcome countMatch(const TMatchRecord& m, Stats& upper, Stats& lower) {
  if (m.Result.empty() && m.Winner <= 0) return kNotPlayed;
  Outcome outcome = kNoWinner;
  if (m.Winner > 0 && m.Winner == m.P1) {
    ++upper[kWins];
    ++lower[kLosses];
    outcome = kUpperWon;
  } else if (m.Winner > 0 && m.Winner == m.P2) {
    ++lower[kWins];
    ++upper[kLosses];
    outcome = kLowerWon;
  }
  std::u16string_view result = m.Result;
  result = result.substr(0, result.find(u' '));  // "3:1 pen." reads as "3:1"
  int32_t a, b;
  std::u16string_view left, right;
  if (readScore(result, a, b, &left, &right)) {
    addCrosswise(upper, lower, kFor1, kAgainst1, a, b);
    if (left == right) {
      ++upper[kDraws];
      ++lower[kDraws];
      if (outcome == kNoWinner) outcome = kDrawn;
    }
  }
  if (!m.DetailedResult.empty()) {
    std::u16string_view d = m.DetailedResult;
    size_t cut = d.find(u' ');
    if (cut == std::u16string_view::npos) cut = d.find(u',');
    if (cut == std::u16string_view::npos) cut = d.find(u';');
    std::u16string_view first = d.substr(0, cut);
    if (readScore(first, a, b)) addCrosswise(upper, lower, kFor2, kAgainst2, a, b);
    if (cut != std::u16string_view::npos && readScore(d.substr(cut + 1), a, b))
      addCrosswise(upper, lower, kExtraFor, kExtraAgainst, a, b);
  }
  return outcome;
}

void countMatches(const TMatchList& matches, TStandingsList& standings) {
  const int32_t n = static_cast<int32_t>(standings.size());
  auto statsOf = [&](int32_t number, Stats& scratch) -> Stats& {
    if (number >= 1 && number <= n && standings[static_cast<size_t>(number - 1)].player)
      return standings[static_cast<size_t>(number - 1)].player->Stats;
    scratch.fill(0);
    return scratch;
  };
  for (const auto& item : matches.items()) {
    if (!item.match) continue;
    Stats scratchUpper, scratchLower;
    countMatch(*item.match, statsOf(item.match->P1, scratchUpper), statsOf(item.match->P2, scratchLower));
  }
}

void orderStandings(TStandingsList& list, bool useSecondScore, bool useExtraScore, bool rankKeyMode) {
  static const Stats kNone{};
  for (size_t i = 0; i + 1 < list.size(); ++i)
    for (size_t j = i + 1; j < list.size(); ++j) {
      const Stats& p = list[i].player ? list[i].player->Stats : kNone;
      const Stats& q = list[j].player ? list[j].player->Stats : kNone;
      if (compare(p, q, useSecondScore, useExtraScore, rankKeyMode) > 0) std::swap(list[i], list[j]);
    }
}

std::u16string standingsPath(const std::u16string& participantsPath) {
  if (participantsPath.empty()) return {};
  return path::changeExtension(participantsPath, u".standings.csv");
}

std::u16string standingsText(const TStandingsList& list, const std::u16string& byeText, bool decimal,
                             bool sharedPositions) {
  std::u16string out(kStandingsHeader);
  out += u"\r\n";
  int position = 0;
  const TPlayerInfo* previous = nullptr;
  for (const auto& item : list) {
    const TPlayerInfo* p = item.player;
    if (!p) {
      ++position;
      previous = nullptr;
      out += number(position, false) + u";" + item.text + u";\r\n";
      continue;
    }
    if (p->Name == byeText) continue;
    if (!previous || !sharedPositions || !sameScores(previous->Stats, p->Stats)) ++position;
    previous = p;
    const Stats& s = p->Stats;
    auto pair = [&](size_t a, size_t b) { return number(s[a], decimal) + u":" + number(s[b], decimal); };
    out += number(position, false) + u";" + item.text + u";" + number(played(s), false) + u";" +
           number(s[kWins], false) + u";" + number(s[kDraws], false) + u";" + number(s[kLosses], false) + u";" +
           number(s[kPen], false) + u";" + pair(kFor1, kAgainst1) + u";" + pair(kFor2, kAgainst2) + u";" +
           pair(kExtraFor, kExtraAgainst) + u";;" + number(s[kPoints], decimal) + u"\r\n";
  }
  return out;
}

void writeStandings(const std::u16string& path, const TStandingsList& list, const std::u16string& byeText,
                    bool decimal, bool sharedPositions) {
  if (path.empty() || list.empty()) return;
  if (!path::createFolders(path::folderOf(path))) throw Error(u"Cannot save file \"" + path + u"\"!");
  text::writeTextFile(path, standingsText(list, byeText, decimal, sharedPositions));
}

void writeSingleEliminationStandings(const std::u16string& path, const TParticipantList& players,
                                     const TMatchList& matches, bool thirdPlace, const std::u16string& byeText) {
  TStandingsList list = prepareStandings(players);
  countMatches(matches, list);
  // The losing finalist goes ahead of the third-place winner.
  if (thirdPlace && matches.size() >= 2) {
    const TMatchRecord* final = matches.at(matches.size() - 2);
    const int32_t n = static_cast<int32_t>(list.size());
    auto stats = [&](int32_t number) -> Stats* {
      if (number < 1 || number > n || !players[static_cast<size_t>(number - 1)].player) return nullptr;
      return &players[static_cast<size_t>(number - 1)].player->Stats;
    };
    if (final && final->Winner > 0 && final->Winner == final->P1) {
      if (Stats* s = stats(final->P2)) (*s)[kDraws] = 1;
    } else if (final && final->Winner > 0 && final->Winner == final->P2) {
      if (Stats* s = stats(final->P1)) (*s)[kDraws] = 1;
    }
  }
  for (auto& item : list) {
    if (!item.player) continue;
    Stats& s = item.player->Stats;
    s[kPoints] = 3 * s[kWins] + s[kDraws];
    for (size_t i : {kFor1, kAgainst1, kFor2, kAgainst2, kExtraFor, kExtraAgainst}) s[i] = 0;
  }
  orderStandings(list, false, false, false);
  writeStandings(path, list, byeText, false, true);
}

void writeDoubleEliminationStandings(const std::u16string& path, const TParticipantList& players,
                                     const TMatchList& matches, int finalOffset, const std::u16string& byeText) {
  TStandingsList list = prepareStandings(players);
  countMatches(matches, list);
  for (auto& item : list) {
    if (!item.player) continue;
    Stats& s = item.player->Stats;
    s[kPoints] = -s[kLosses];
    for (size_t i : {kFor1, kAgainst1, kFor2, kAgainst2, kExtraFor, kExtraAgainst}) s[i] = 0;
  }
  // Elimination depth: later eliminations rank higher.
  const int32_t n = static_cast<int32_t>(list.size());
  const long skip = std::labs(finalOffset);
  int i = 0, w = 2;
  for (long r = static_cast<long>(matches.size()) - 1 - skip; r >= 0; --r) {
    const TMatchRecord* m = matches.at(static_cast<size_t>(r));
    ++i;
    if (m && m->Winner > 0 && m->MatchID.size() >= 2 && m->MatchID[0] == u'M' && m->MatchID[1] >= u'0' &&
        m->MatchID[1] <= u'9') {
      for (int32_t slot : {m->P1, m->P2}) {
        if (slot == m->Winner || slot < 1 || slot > n || !players[static_cast<size_t>(slot - 1)].player) continue;
        players[static_cast<size_t>(slot - 1)].player->Stats[kFor1] = i > w / 2 ? -2 * w - 1 : -2 * w;
      }
    }
    if (i >= w) {
      w *= 2;
      i = 0;
    }
  }
  orderStandings(list, false, false, false);
  writeStandings(path, list, byeText, false, true);
}

}  // namespace velmoro::draw
