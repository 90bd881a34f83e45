#include "generator/draw_script_se.h"

#include "generator/bracket_drawing.h"
#include "generator/script_skeleton.h"
#include "generator/standings.h"

#include <bit>

namespace velmoro::draw {

namespace {

std::u16string matchId(int number) {
  std::string digits = std::to_string(number);
  return u"M" + std::u16string(digits.begin(), digits.end());
}

// What the sheet needs of the configuration and the drawing area.
struct Layout {
  int32_t W, H, V, sp, colW, firstW, r, top, hn, hs, p, g, s;
  bool doubleFirst, showIds, showSeeds, boldSeeds, boldSeededLines, reversedLast;
  std::u16string seedChars;
};

Layout computeLayout(TDrawScript& script, platform::TCanvas& c, const TRect& R, int bracket, int32_t f0) {
  TConfigList& config = *script.Config;
  Layout l{};
  l.doubleFirst = config.boolean(u"DrawDoubleSized1stBracket", false);
  l.showIds = config.boolean(u"DrawShowMatchID", false);
  l.showSeeds = config.boolean(u"DrawShowSeed", false);
  l.boldSeeds = config.boolean(u"DrawShowSeedBold", false);
  l.boldSeededLines = config.boolean(u"DrawSeededLinesBold", false);
  l.reversedLast = config.boolean(u"DrawReversedLastBracket", false);
  l.seedChars = config.value(u"DrawSeedChars");

  l.W = R.width();
  l.H = R.height();
  l.V = std::countr_zero(static_cast<unsigned>(bracket)) + 1;
  l.sp = script.OnMMToPixels(config.integer(u"DrawBracketSpacing", 0));
  const bool shareLast = l.reversedLast && l.V > 2;
  l.colW = (shareLast ? l.W / (l.V - 1) : l.W / l.V) - l.sp;
  l.firstW = l.colW;
  if (l.doubleFirst) {
    l.firstW = std::min(l.colW / 2 + l.colW + l.colW / 4, (l.W / 3) * 2);
    l.colW = (shareLast ? (l.W - l.firstW) / (l.V - 2) : (l.W - l.firstW) / (l.V - 1)) - l.sp;
  }
  l.r = (l.H / (bracket / 2)) / 4;
  l.top = (l.H - 4 * l.r * (bracket / 2)) / 2;
  l.hn = std::min(l.colW / 8, l.r + l.r / 4);
  const int32_t percent = config.integer(u"DrawFontPercent", 100);
  if (percent != 100) l.hn = roundEven(percent / 100.0 * l.hn);
  l.hs = std::abs(f0) <= l.hn ? f0 : -l.hn;
  l.p = config.integer(u"DrawLineWidth", 1);
  l.g = std::max(l.hn / 8 + l.p / 2, 1);
  l.s = 0;
  if (l.doubleFirst) {
    c.Font.Height = -l.hn;
    c.Font.SetBold(l.boldSeeds);
    l.s = c.TextWidth(u" 99 ");
  }
  return l;
}

MatchElement element(const Layout& l, uint8_t style, int32_t x, int32_t y, int32_t width, int32_t rowHeight) {
  MatchElement e;
  e.x = x;
  e.y = y;
  e.style = style;
  e.seedChars = l.seedChars;
  e.boldSeededLines = l.boldSeededLines;
  e.boldSeeds = l.boldSeeds;
  e.showSeeds = l.showSeeds;
  e.gap = l.g;
  e.smallHeight = l.hs;
  e.nameHeight = l.hn;
  e.penWidth = l.p;
  e.rowHeight = rowHeight;
  e.width = width;
  return e;
}

void setParticipants(MatchElement& e, const MatchView& v) {
  e.name1 = v.upper.name;
  e.seed1 = v.upper.seed;
  e.info1 = v.upper.info;
  e.name2 = v.lower.name;
  e.seed2 = v.lower.seed;
  e.info2 = v.lower.info;
}

// The winner's line after a match: champion or third-place winner.
void drawWinnerLine(platform::TCanvas& c, const Layout& l, uint8_t style, int32_t x, int32_t y, int32_t rowHeight,
                    const TMatchRecord* match, const Competition& comp, bool detailed) {
  MatchElement e = element(l, style, x, y, l.colW, rowHeight);
  e.singleLine = true;
  WinnerView w = winnerView(match, comp.players, false);
  applyDetailedSwitch(detailed, w.result, w.detailedResult);
  e.name1 = w.winner.name;
  e.seed1 = w.winner.seed;
  e.info1 = w.winner.info;
  e.second1 = w.result;
  drawMatchElement(c, e);
}

}  // namespace

void TDrawScript_SE_Data::Draw() {
  TDrawScript::Draw();
  if (!Ready) return;
  Competition comp = prepareCompetition(*this, {2, 256, 2}, false, false);
  Sheet sheet = startSheet(*this);
  if (!sheet.canvas) return;
  platform::TCanvas& c = *sheet.canvas;
  const TRect& R = sheet.area;
  const int B = comp.bracket;
  const Layout l = computeLayout(*this, c, R, B, sheet.baseHeight);
  const bool thirdPlace = Config->boolean(u"Draw3rdPlace", false) && !l.reversedLast;

  if (l.doubleFirst) {
    c.Pen.Width = l.p;
    c.Pen.Color = kBlack;
    int32_t y0 = R.top + l.top;
    if (2 * l.g + l.hn > l.r) y0 -= (2 * l.g + l.hn) - l.r;
    c.MoveTo(R.left + l.s, y0);
    c.LineTo(R.left + l.s, R.bottom - l.top - l.r - 1);
  }
  c.Brush.Style = platform::TBrushStyle::Clear;

  int32_t x = R.left;
  int i = 0;
  int32_t rc = l.r;
  int L = B / 2;
  for (int column = 1; column <= l.V; ++column) {
    int32_t y = R.top + l.top;
    if (L > 0) {
      for (int p = 1; p <= L; ++p) {
        ++i;
        TMatchRecord* m = comp.matches.find(matchId(i));
        if (!m) {
          m = &comp.matches.add(matchId(i));
          if (column > 1) {
            m->P1WinOf = matchId(i - 2 * L + p - 1);
            m->P2WinOf = matchId(i - 2 * L + p);
          }
        }
        MatchElement e = element(l, Style, x, y, column == 1 ? l.firstW : l.colW, rc);
        setParticipants(e, matchView(m, comp.players, column == 1));
        if (column == 1) {
          e.firstRound = true;
          e.lineNumber = l.doubleFirst ? 2 * p - 1 : 0;
          e.seedColumnWidth = l.s;
        } else {
          for (int k = 0; k < 2; ++k) {
            WinnerView w = winnerView(comp.matches.find(matchId(i - 2 * L + p - 1 + k)), comp.players, false);
            applyDetailedSwitch(DetailedResults, w.result, w.detailedResult);
            (k == 0 ? e.second1 : e.second2) = w.result;
          }
        }
        if (l.showIds) e.label = matchId(i);
        if (L == 1 && l.reversedLast) e.labelShift = l.sp + 1;
        drawMatchElement(c, e);
        y += 4 * rc;
      }
      if (L == 1 && thirdPlace) {
        const int final = i;
        TMatchRecord* m = comp.matches.find(matchId(final + 1));
        if (!m) {
          m = &comp.matches.add(matchId(final + 1));
          if (l.V > 2) {
            m->P1WinOf = u"!" + matchId(final - 2);
            m->P2WinOf = u"!" + matchId(final - 1);
          }
        }
        const int32_t q = rc / 8;
        const int32_t y3 = R.bottom - l.top - 4 * q;
        MatchElement e = element(l, Style, x, y3, l.colW, q);
        setParticipants(e, matchView(m, comp.players, false));
        if (l.showIds) e.label = matchId(final + 1);
        drawMatchElement(c, e);
        drawWinnerLine(c, l, Style, x + l.colW + l.sp, y3, 2 * q, m, comp, DetailedResults);
      }
    } else {
      if (l.reversedLast) x -= l.colW + 2 * l.sp;
      drawWinnerLine(c, l, Style, x, y, rc, comp.matches.find(matchId(B - 1)), comp, DetailedResults);
    }
    L /= 2;
    x += (column == 1 ? l.firstW : l.colW) + l.sp;
    rc *= 2;
  }

  drawSheetFooter(*this, sheet);
  saveFreshSchedule(*this, comp);
  if (UsesDataFiles)
    writeSingleEliminationStandings(standingsPath(Config->value(u"DataParticipantsFile")), comp.players, comp.matches,
                                    thirdPlace, comp.byeText);
}

}  // namespace velmoro::draw
