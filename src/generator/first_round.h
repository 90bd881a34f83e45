// The first-round draw: who meets whom in the first round of an elimination bracket.
// Seeds 1 and 2 take the first and the last line, seeds 3 and up are placed level by
// level into the halves and quarters the seeding order gives them, byes meet seeds 1,
// 2, 3 … in that order (one each), and the rest fill the free lines in file order or
// at random.
#pragma once

#include "generator/participants.h"
#include "generator/schedule.h"

namespace velmoro::draw {

struct FirstRoundOptions {
  bool letterLabels = false;  // "A", "B" … instead of "M1", "M2" …
  bool randomizeSeeded = false;
  bool randomizeNonSeeded = false;
};

// Fills matches with the bracket/2 first-round matches of the (fitted) participants.
void drawFirstRound(int bracket, TParticipantList& players, TMatchList& matches, const std::u16string& byeText,
                    const FirstRoundOptions& options);

}  // namespace velmoro::draw
