// Standings: counting wins, losses, draws and scores match by match, ordering the
// participants with their tie-breaks, and the standings file
//   #Pos;PID;Plays;Wins;Draws;Losts;Pen.;Score1;Score2;Extra1;Extra2;Points
// written beside the participants file as <name>.standings.csv.
#pragma once

#include "generator/participants.h"
#include "generator/schedule.h"

#include <string>
#include <vector>

namespace velmoro::draw {

// Indexes into TPlayerInfo::Stats.
enum Stat : size_t {
  kWins, kLosses, kDraws, kPen, kFor1, kAgainst1, kFor2, kAgainst2,
  kExtraFor, kExtraAgainst, kPoints, kRankKey
};

inline constexpr std::u16string_view kStandingsHeader =
    u"#Pos;PID;Plays;Wins;Draws;Losts;Pen.;Score1;Score2;Extra1;Extra2;Points";

// The standings list: the participants' records (not owned) under their numbers.
struct StandingItem {
  std::u16string text;         // the participant number
  TPlayerInfo* player = nullptr;
};
using TStandingsList = std::vector<StandingItem>;

// A copy of the participants list with every record's statistics set to 0.
TStandingsList prepareStandings(const TParticipantList& players);

enum Outcome { kNotPlayed = -1, kDrawn = 0, kUpperWon = 1, kLowerWon = 2, kNoWinner = -2 };
Outcome countMatch(const TMatchRecord& match, std::array<int32_t, 12>& upper, std::array<int32_t, 12>& lower);
// Counts every match of the list into the standings' records.
void countMatches(const TMatchList& matches, TStandingsList& standings);

void orderStandings(TStandingsList& list, bool useSecondScore, bool useExtraScore, bool rankKeyMode);

std::u16string standingsPath(const std::u16string& participantsPath);
std::u16string standingsText(const TStandingsList& list, const std::u16string& byeText, bool decimal,
                             bool sharedPositions);
// Nothing is written for an empty path or list; a failed write raises velmoro::Error.
void writeStandings(const std::u16string& path, const TStandingsList& list, const std::u16string& byeText,
                    bool decimal, bool sharedPositions);

void writeSingleEliminationStandings(const std::u16string& path, const TParticipantList& players,
                                     const TMatchList& matches, bool thirdPlace, const std::u16string& byeText);
void writeDoubleEliminationStandings(const std::u16string& path, const TParticipantList& players,
                                     const TMatchList& matches, int finalOffset, const std::u16string& byeText);

}  // namespace velmoro::draw
