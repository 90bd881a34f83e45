// Participants: the participants file, the record of one participant, and bringing the
// list to the size of a bracket with byes and seeds. Participant numbers are 1-based
// positions in the list; 0 means no participant.
//
// Participants file: one participant per line, fields Name;ShortName;Info (more are
// ignored). Blank lines are dropped, then a first line beginning with "#" (a header).
// An empty short name is the name after its last blank.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmoro::draw {

struct TPlayerInfo {
  std::u16string Name;
  std::u16string ShortName;
  std::u16string Info;
  std::u16string Extra;
  std::array<int32_t, 12> Stats{};  // filled by the standings
  int32_t Seed = 0;                 // 0 = not seeded
};

// One item of the participants list: its text (the short name) and its record.
struct ParticipantItem {
  std::u16string text;
  std::unique_ptr<TPlayerInfo> player;
};
using TParticipantList = std::vector<ParticipantItem>;

// The participant lines of a file (header and blank lines dropped), as items whose
// text is the whole line; none when the path is empty or the file cannot be read.
std::vector<std::u16string> readParticipantLines(const std::u16string& path);

// Load: the file's lines, or requested empty lines when the file gives none.
std::vector<std::u16string> loadParticipants(const std::u16string& path, int requested);

// Smallest power of two from smallest up that holds count, at most largest.
int bracketSize(int count, int smallest, int largest);
// Seeds in a bracket of size b: 2 for 2 and 4 lines, 4 for 8 and 16, else b / 4.
int seedCount(int bracket);

// Cuts the lines to the bracket, or appends bye lines; returns the real participants.
int fitToBracket(std::vector<std::u16string>& lines, int bracket, const std::u16string& byeText);

// Records from the fitted lines; the first seeds items are seeds 1..seeds. A line that
// is exactly the bye text is a bye: its name and short name are the bye text.
TParticipantList buildParticipants(const std::vector<std::u16string>& lines, int seeds,
                                   const std::u16string& byeText);

}  // namespace velmoro::draw
