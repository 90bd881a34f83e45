#include "generator/script_skeleton.h"

#include "generator/bracket_drawing.h"
#include "generator/first_round.h"

namespace velmoro::draw {

Competition prepareCompetition(TDrawScript& script, const BracketLimits& limits, bool letterLabels,
                               bool caseSensitiveIds) {
  TConfigList& config = *script.Config;
  Competition c;
  c.matches = TMatchList(caseSensitiveIds);
  c.byeText = config.value(u"DataByeInfoText");
  if (c.byeText.empty()) c.byeText = u"bye";
  std::vector<std::u16string> lines =
      loadParticipants(script.UsesDataFiles ? config.value(u"DataParticipantsFile") : std::u16string(),
                       config.integer(u"DrawParticipantsCount", limits.defaultCount));
  c.bracket = bracketSize(static_cast<int>(lines.size()), limits.smallest, limits.largest);
  c.count = fitToBracket(lines, c.bracket, c.byeText);
  c.players = buildParticipants(lines, seedCount(c.bracket), c.byeText);

  if (script.UsesDataFiles) loadSchedule(c.matches, config.value(u"DataScheduleFile"), c.bracket);
  if (config.boolean(u"Draw3rdPlace", false) && c.count <= 3) config.setValue(u"Draw3rdPlace", u"0");
  if (c.matches.size() == 0) {
    drawFirstRound(c.bracket, c.players, c.matches, c.byeText,
                   {letterLabels, config.boolean(u"DataRandomizeSeeded", false),
                    config.boolean(u"DataRandomizeNonSeeded", false)});
    c.firstRoundDrawn = script.UsesDataFiles;
  }
  return c;
}

Sheet startSheet(TDrawScript& script) {
  TConfigList& config = *script.Config;
  Sheet s;
  script.OnAddPage();
  s.area = script.OnGetPageRect();
  s.canvas = script.OnGetCanvas();
  if (!s.canvas) return s;
  s.canvas->Font.Name = config.value(u"DrawFontName");
  if (s.canvas->Font.Name.empty()) s.canvas->Font.Name = u"Arial";
  s.baseHeight = baseFontHeight(s.area);
  drawSheetHeader(*s.canvas, config.value(u"DrawTitle"), config.value(u"DrawType"), config.value(u"DrawOtherInfo"),
                  kLightGrey, kBlack, kBlack, config.integer(u"DrawInfoLineWidth", 1), s.baseHeight, s.area,
                  HeaderAlign::Right);
  return s;
}

void drawSheetFooter(TDrawScript& script, const Sheet& sheet) {
  if (sheet.canvas) drawFooter(*sheet.canvas, script.Config->value(u"DocumentCopyright"), sheet.area, sheet.baseHeight);
}

void saveFreshSchedule(TDrawScript& script, const Competition& competition) {
  if (competition.firstRoundDrawn) saveSchedule(competition.matches, script.Config->value(u"DataScheduleFile"));
}

}  // namespace velmoro::draw
