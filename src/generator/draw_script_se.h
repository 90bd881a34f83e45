// Single elimination on one page: the first round in the leftmost column, each further
// round in the next, the champion's line after the final, optionally a match for third
// place. TDrawScript_SE draws the empty sheet of DrawParticipantsCount entries;
// TDrawScript_SE_Data draws from the participants and schedule files.
//
// Matches are numbered round after round, top to bottom: M1 … M(B/2) in the first
// round, the final M(B-1), the third-place match M(B).
#pragma once

#include "generator/draw_script.h"

namespace velmoro::draw {

class TDrawScript_SE_Data : public TDrawScript {
 public:
  TDrawScript_SE_Data() { UsesDataFiles = true; }
  void Draw() override;
};

class TDrawScript_SE : public TDrawScript_SE_Data {
 public:
  TDrawScript_SE() { UsesDataFiles = false; }
};

}  // namespace velmoro::draw
