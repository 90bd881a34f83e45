#include "generator/schedule.h"

#include "common/config_list.h"
#include "common/error.h"
#include "common/paths.h"
#include "common/text_file.h"
#include "common/unicode.h"
#include "generator/fields.h"
#include "generator/result_turning.h"

namespace velmoro::draw {

namespace {

std::u16string decimal(int32_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

// A participant number field: the number when usable, else 0 (or the negative value,
// which means none wherever it is used); the text is kept when the number is not set.
void readNumber(const std::u16string& field, int highest, int32_t& value, std::u16string& fileText) {
  int32_t v = 0;
  bool ok = parseInteger(field, v);
  value = ok && v <= highest ? v : 0;
  fileText = value > 0 ? std::u16string() : field;
}

std::u16string writeNumber(int32_t value, const std::u16string& fileText) {
  return value > 0 ? decimal(value) : fileText;
}

std::vector<std::u16string> splitLines(std::u16string_view content) {
  TConfigList lines(content);  // the same line breaking as every text file
  return lines.lines();
}

SlotView slotView(int32_t number, const TParticipantList& players, bool fullNames) {
  SlotView v;
  if (number < 1 || number > static_cast<int32_t>(players.size())) return v;
  const TPlayerInfo* p = players[static_cast<size_t>(number - 1)].player.get();
  if (!p) return v;
  v.name = fullNames ? p->Name : p->ShortName;
  v.seed = p->Seed;
  v.info = p->Info;
  return v;
}

}  // namespace

TMatchRecord& TMatchList::add(std::u16string id) {
  auto record = std::make_unique<TMatchRecord>();
  record->MatchID = id;
  items_.push_back({std::move(id), std::move(record)});
  return *items_.back().match;
}

TMatchRecord* TMatchList::find(std::u16string_view id) const {
  for (const auto& item : items_) {
    bool same = caseSensitive_ ? item.text == id : text::equalsIgnoreCase(item.text, id);
    if (same && item.match) return item.match.get();
  }
  return nullptr;
}

TMatchRecord& TMatchList::findOrCreate(std::u16string_view id) {
  if (TMatchRecord* m = find(id)) return *m;
  return add(std::u16string(id));
}

void loadSchedule(TMatchList& list, const std::u16string& path, int highestParticipant) {
  list.clear();
  if (path.empty() || !path::fileExists(path)) return;
  parseSchedule(list, text::readTextFile(path), highestParticipant);
}

void parseSchedule(TMatchList& list, std::u16string_view content, int highestParticipant) {
  list.clear();
  std::vector<std::u16string> lines = splitLines(content);
  if (!lines.empty() && lines.front().starts_with(u"#")) lines.erase(lines.begin());
  for (const auto& line : lines) {
    std::vector<std::u16string> f = splitFields(line);
    if (f.size() < 3) continue;
    auto m = std::make_unique<TMatchRecord>();
    m->MatchID = f[0];
    readNumber(f[1], highestParticipant, m->P1, m->FileP1);
    readNumber(f[2], highestParticipant, m->P2, m->FileP2);
    if (f.size() > 3) readNumber(f[3], highestParticipant, m->Winner, m->FileWinner);
    if (f.size() > 4) m->Result = f[4];
    if (f.size() > 5) m->DetailedResult = f[5];
    if (f.size() >= 8) {
      m->P1WinOf = f[6];
      m->P2WinOf = f[7];
    } else if (f.size() == 7) {
      m->FileP1WinOf = f[6];  // kept in its place, though a link needs both fields
    }
    if (f.size() > 8) m->MoreFields.assign(f.begin() + 8, f.end());
    list.items().push_back({m->MatchID, std::move(m)});
  }
}

std::u16string scheduleText(const TMatchList& list) {
  std::u16string out(kScheduleHeader);
  out += u"\r\n";
  for (const auto& item : list.items()) {
    const TMatchRecord* m = item.match.get();
    if (!m) continue;
    std::vector<std::u16string> fields{m->MatchID,
                                       writeNumber(m->P1, m->FileP1),
                                       writeNumber(m->P2, m->FileP2),
                                       writeNumber(m->Winner, m->FileWinner),
                                       m->Result,
                                       m->DetailedResult,
                                       m->P1WinOf.empty() ? m->FileP1WinOf : m->P1WinOf,
                                       m->P2WinOf};
    fields.insert(fields.end(), m->MoreFields.begin(), m->MoreFields.end());
    out += joinFields(fields);
    out += u"\r\n";
  }
  return out;
}

void saveSchedule(const TMatchList& list, const std::u16string& path) {
  if (path.empty()) return;
  if (!path::createFolders(path::folderOf(path))) throw Error(u"Cannot save file \"" + path + u"\"!");
  text::writeTextFile(path, scheduleText(list));
}

MatchView matchView(const TMatchRecord* match, const TParticipantList& players, bool fullNames) {
  MatchView v;
  if (!match) return v;
  v.upper = slotView(match->P1, players, fullNames);
  v.lower = slotView(match->P2, players, fullNames);
  v.result = match->Result;
  v.detailedResult = match->DetailedResult;
  // An undecided match between empty slots has no winner: 0 is no participant.
  if (match->Winner > 0 && match->Winner == match->P1)
    v.winnerSide = 1;
  else if (match->Winner > 0 && match->Winner == match->P2)
    v.winnerSide = 2;
  return v;
}

WinnerView winnerView(const TMatchRecord* match, const TParticipantList& players, bool fullNames) {
  WinnerView v;
  if (!match) return v;
  v.winner = slotView(match->Winner, players, fullNames);
  v.result = match->Result;
  v.detailedResult = match->DetailedResult;
  if (!match->Result.empty() && match->Winner > 0 && match->Winner == match->P2) {
    v.result = turnResult(match->Result);
    v.detailedResult = turnDetailedResult(match->DetailedResult);
  }
  return v;
}

void applyDetailedSwitch(bool on, std::u16string& result, std::u16string& detailed) {
  if (on && !detailed.empty()) {
    result = detailed;
    detailed.clear();
  }
}

}  // namespace velmoro::draw
