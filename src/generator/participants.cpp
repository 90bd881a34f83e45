#include "generator/participants.h"

#include "common/paths.h"
#include "common/text_file.h"
#include "common/unicode.h"
#include "generator/fields.h"

namespace velmoro::draw {

std::vector<std::u16string> readParticipantLines(const std::u16string& path) {
  std::vector<std::u16string> lines;
  if (path.empty() || !path::fileExists(path)) return lines;
  std::u16string content = text::readTextFile(path);
  size_t start = 0;
  for (size_t i = 0; i <= content.size(); ++i) {
    if (i < content.size() && content[i] != u'\r' && content[i] != u'\n') continue;
    std::u16string line = content.substr(start, i - start);
    if (!text::trim(line).empty()) lines.push_back(std::move(line));
    if (i + 1 < content.size() && content[i] == u'\r' && content[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  if (!lines.empty() && lines.front().starts_with(u"#")) lines.erase(lines.begin());
  return lines;
}

std::vector<std::u16string> loadParticipants(const std::u16string& path, int requested) {
  std::vector<std::u16string> lines = readParticipantLines(path);
  if (lines.empty() && requested > 0) lines.assign(static_cast<size_t>(requested), std::u16string());
  return lines;
}

int bracketSize(int count, int smallest, int largest) {
  int size = smallest;
  while (size < count && size < largest) size *= 2;
  return size;
}

int seedCount(int bracket) {
  int h = bracket / 2;
  if (h <= 2) return 2;
  if (h <= 8) return 4;
  return bracket / 4;
}

int fitToBracket(std::vector<std::u16string>& lines, int bracket, const std::u16string& byeText) {
  if (static_cast<int>(lines.size()) > bracket) lines.resize(static_cast<size_t>(bracket));
  int count = static_cast<int>(lines.size());
  while (static_cast<int>(lines.size()) < bracket) lines.push_back(byeText);
  return count;
}

TParticipantList buildParticipants(const std::vector<std::u16string>& lines, int seeds,
                                   const std::u16string& byeText) {
  TParticipantList list;
  list.reserve(lines.size());
  for (size_t i = 0; i < lines.size(); ++i) {
    auto player = std::make_unique<TPlayerInfo>();
    std::vector<std::u16string> fields =
        lines[i] == byeText ? std::vector<std::u16string>{byeText, byeText} : splitFields(lines[i]);
    player->Name = fields[0];
    if (fields.size() > 1) player->ShortName = fields[1];
    if (fields.size() > 2) player->Info = fields[2];
    if (player->ShortName.empty()) {
      size_t blank = player->Name.rfind(u' ');
      player->ShortName = blank == std::u16string::npos ? player->Name : player->Name.substr(blank + 1);
    }
    player->Seed = static_cast<int>(i) + 1 <= seeds ? static_cast<int>(i) + 1 : 0;
    list.push_back({player->ShortName, std::move(player)});
  }
  return list;
}

}  // namespace velmoro::draw
