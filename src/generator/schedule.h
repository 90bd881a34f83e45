// The schedule and results file and the match records it holds.
//
// File: a "#" header line, then one match per line:
//   MatchID;P1;P2;Winner;Result;Detailed result;P1WinOf;P2WinOf
// UTF-8 with a byte-order mark, CR LF line ends. The file is the user's data: a rewrite
// keeps every field it read, also the numbers it could not use and fields beyond the
// eighth, quotes fields holding ";" or '"', and replaces the file atomically.
#pragma once

#include "generator/participants.h"
#include "platform/geometry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velmoro::draw {

inline constexpr std::u16string_view kScheduleHeader =
    u"#MatchID;P1;P2;Winner;Result;Detailed result;P1WinOf;P2WinOf";

struct TMatchRecord {
  std::u16string MatchID;
  int32_t P1 = 0;  // participant numbers; 0 or less = none
  int32_t P2 = 0;
  int32_t Winner = 0;
  std::u16string Result;          // from P1's side
  std::u16string DetailedResult;  // from P1's side
  int32_t Page = -1;
  TRect Bounds;
  int32_t Round = 1;
  std::u16string P1WinOf;  // "M5" winner of M5, "!M5" loser of M5
  std::u16string P2WinOf;

  // What the file said where the reader could not use it, written back unchanged while
  // the number is still unset: the text of P1, P2 and Winner, and fields after the 8th.
  std::u16string FileP1, FileP2, FileWinner, FileP1WinOf;
  std::vector<std::u16string> MoreFields;
};

struct MatchItem {
  std::u16string text;  // the match identifier
  std::unique_ptr<TMatchRecord> match;
};

// The match list: identifiers are looked up ignoring case, except in double
// elimination, whose labels use both small and capital letters.
class TMatchList {
 public:
  explicit TMatchList(bool caseSensitive = false) : caseSensitive_(caseSensitive) {}

  std::vector<MatchItem>& items() { return items_; }
  const std::vector<MatchItem>& items() const { return items_; }
  size_t size() const { return items_.size(); }
  TMatchRecord* at(size_t i) const { return items_[i].match.get(); }
  void clear() { items_.clear(); }

  TMatchRecord& add(std::u16string id);
  TMatchRecord* find(std::u16string_view id) const;
  TMatchRecord& findOrCreate(std::u16string_view id);

 private:
  bool caseSensitive_;
  std::vector<MatchItem> items_;
};

// Reads the schedule file into the list (left empty when the path is empty or the file
// missing); numbers above highestParticipant read as 0.
void loadSchedule(TMatchList& list, const std::u16string& path, int highestParticipant);
void parseSchedule(TMatchList& list, std::u16string_view content, int highestParticipant);
// Writes the list; raises velmoro::Error when the folder or the file cannot be written.
void saveSchedule(const TMatchList& list, const std::u16string& path);
std::u16string scheduleText(const TMatchList& list);

// A participant as a bracket line shows it.
struct SlotView {
  std::u16string name;
  int32_t seed = 0;
  std::u16string info;
};

struct MatchView {
  SlotView upper, lower;
  std::u16string result, detailedResult;
  int winnerSide = 0;  // 1 upper, 2 lower, 0 none
};

struct WinnerView {
  SlotView winner;
  std::u16string result, detailedResult;  // turned to the winner's side
};

MatchView matchView(const TMatchRecord* match, const TParticipantList& players, bool fullNames);
WinnerView winnerView(const TMatchRecord* match, const TParticipantList& players, bool fullNames);

// With the switch on and a detailed result present, it takes the result's place.
void applyDetailedSwitch(bool on, std::u16string& result, std::u16string& detailed);

}  // namespace velmoro::draw
