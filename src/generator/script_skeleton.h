// The steps every elimination script runs around its own bracket: the participants and
// the schedule before drawing (with a fresh first-round draw when the schedule holds no
// matches), the page with its header, and after drawing the footer, the schedule
// (written back only after a fresh draw) and the standings.
#pragma once

#include "generator/draw_script.h"
#include "generator/participants.h"
#include "generator/schedule.h"
#include "platform/canvas.h"

#include <string>

namespace velmoro::draw {

struct BracketLimits {
  int smallest, largest, defaultCount;
};

struct Competition {
  TParticipantList players;
  int count = 0;    // real participants (byes not counted)
  int bracket = 0;  // lines of the first round
  TMatchList matches;
  bool firstRoundDrawn = false;
  std::u16string byeText;
};

// Skeleton steps 2 to 5: participants, schedule, third-place switch-off, first round.
Competition prepareCompetition(TDrawScript& script, const BracketLimits& limits, bool letterLabels,
                               bool caseSensitiveIds);

struct Sheet {
  platform::TCanvas* canvas = nullptr;
  TRect area;       // below the header
  int32_t baseHeight = -4;
};

// Skeleton steps 6 to 8: page, drawing area, canvas and font, base height, header.
// The canvas is null when the engine gives none.
Sheet startSheet(TDrawScript& script);

// Skeleton step 10: the copyright line.
void drawSheetFooter(TDrawScript& script, const Sheet& sheet);
// Skeleton step 11: the schedule, written back only after a fresh first-round draw.
void saveFreshSchedule(TDrawScript& script, const Competition& competition);

}  // namespace velmoro::draw
