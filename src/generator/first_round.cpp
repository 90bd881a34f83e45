#include "generator/first_round.h"

#include "generator/match_labels.h"
#include "generator/random.h"

#include <set>

namespace velmoro::draw {

namespace {

std::u16string numberedId(int k) {
  std::string digits = std::to_string(k);
  return u"M" + std::u16string(digits.begin(), digits.end());
}

// Picks seed n of level h from the pool, alternately from the top and the bottom.
int pickSeed(int h, const std::set<int>& pool, bool randomize, bool& toggle) {
  int n;
  if (randomize) {
    do n = static_cast<int>(randomBelow(static_cast<uint32_t>(h))) + h + 1;
    while (!pool.count(n));
    return n;
  }
  toggle = !toggle;
  if (toggle) {
    n = h + 1;
    while (!pool.count(n) && n <= 2 * h) n += 2;
  } else {
    n = 2 * h;
    while (!pool.count(n) && n > h) n -= 2;
  }
  return n;
}

}  // namespace

void drawFirstRound(int bracket, TParticipantList& players, TMatchList& matches, const std::u16string& byeText,
                    const FirstRoundOptions& options) {
  const int M = bracket / 2;
  const int length = static_cast<int>(players.size());
  matches.clear();
  std::vector<TMatchRecord*> round;
  for (int k = 1; k <= M; ++k) round.push_back(&matches.add(options.letterLabels ? matchLabel(k) : numberedId(k)));
  if (round.empty()) return;

  auto seedOf = [&](int number) {  // 1-based participant number
    if (number < 1 || number > length || !players[number - 1].player) return 0;
    return players[number - 1].player->Seed;
  };
  int S = 0;
  for (int i = 1; i <= length; ++i)
    if (seedOf(i) > 0) ++S;
  if (S == 0) {
    S = M <= 2 ? 2 : (M <= 8 ? 4 : M / 2);
    for (int i = 0; i < S && i < length; ++i)
      if (players[i].player) players[i].player->Seed = i + 1;
  }

  // Seeds 3 and up, level by level; pos(j) is round[j - 1].
  bool toggle = false;
  for (int h = S / 2; h >= 2; h /= 2) {
    std::set<int> pool;
    for (int n = h + 1; n <= 2 * h; ++n) pool.insert(n);
    for (int k = h - 1; k > 0; k -= 2) {
      const int j0 = (M / h) * k;
      for (int placement = 0; placement < 2; ++placement) {
        int n = pickSeed(h, pool, options.randomizeSeeded, toggle);
        pool.erase(n);
        int index = placement == 0 ? j0 - 1 : j0;
        if (index < 0 || index >= M || seedOf(n) <= 0) continue;
        (placement == 0 ? round[index]->P2 : round[index]->P1) = n;
      }
    }
    toggle = !toggle;
  }
  round.front()->P1 = 1;
  round.back()->P2 = std::min(2, length);

  const int R = length - S;
  std::set<int> pool;  // 0-based item indexes of the unseeded
  if (options.randomizeNonSeeded)
    for (int i = S; i < length; ++i) pool.insert(i);

  // Byes meet seeds 1, 2, 3 … in that order.
  int j = 1;
  for (int x = length - 1; x >= 0 && players[x].text == byeText; --x) {
    for (TMatchRecord* m : round) {
      int32_t* empty = m->P1 == j && m->P2 <= 0 ? &m->P2 : (m->P2 == j && m->P1 <= 0 ? &m->P1 : nullptr);
      if (!empty) continue;
      *empty = x + 1;
      pool.erase(x);
      ++j;
      break;
    }
  }

  int c = S;
  for (TMatchRecord* m : round)
    for (int32_t* slot : {&m->P1, &m->P2}) {
      if (*slot > 0) continue;
      if (options.randomizeNonSeeded) {
        if (pool.empty() || R <= 0) continue;  // nothing left to draw from
        int g;
        do g = static_cast<int>(randomBelow(static_cast<uint32_t>(R))) + S;
        while (!pool.count(g));
        pool.erase(g);
        *slot = g + 1;
      } else {
        if (c + 1 <= length) *slot = c + 1;
        ++c;
      }
    }
}

}  // namespace velmoro::draw
