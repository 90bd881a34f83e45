// The drawing primitives the draw scripts share: the sheet header (title, grey type bar,
// other-info lines), the footer, the seed annotation of a name, the match element (two
// participant lines joined by a connector, with names, seeds, results and a label) and
// the champion box. Coordinates are page pixels; font heights negative for character
// heights, as the canvas takes them.
#pragma once

#include "platform/canvas.h"
#include "platform/geometry.h"

#include <string>

namespace velmoro::draw {

using platform::TCanvas;
using platform::TColor;

inline constexpr TColor kBlack = platform::rgb(0, 0, 0);
inline constexpr TColor kGrey = platform::rgb(128, 128, 128);
inline constexpr TColor kLightGrey = platform::rgb(208, 208, 208);

// Text-drawing option sets; every one draws without clipping and without "&" prefixes.
namespace text_options {
using namespace platform;
inline constexpr uint32_t kBase = DT_NOCLIP | DT_NOPREFIX;
inline constexpr uint32_t LeftBottom = kBase | DT_LEFT | DT_BOTTOM | DT_SINGLELINE;
inline constexpr uint32_t RightBottom = kBase | DT_RIGHT | DT_BOTTOM | DT_SINGLELINE;
inline constexpr uint32_t LeftTop = kBase | DT_LEFT | DT_TOP | DT_SINGLELINE;
inline constexpr uint32_t RightTop = kBase | DT_RIGHT | DT_TOP | DT_SINGLELINE;
inline constexpr uint32_t CentreBottom = kBase | DT_CENTER | DT_BOTTOM | DT_SINGLELINE;
inline constexpr uint32_t CentreTop = kBase | DT_CENTER | DT_TOP | DT_SINGLELINE;
inline constexpr uint32_t LeftMiddle = kBase | DT_LEFT | DT_VCENTER | DT_SINGLELINE;
inline constexpr uint32_t RightMiddle = kBase | DT_RIGHT | DT_VCENTER | DT_SINGLELINE;
inline constexpr uint32_t CentreMiddle = kBase | DT_CENTER | DT_VCENTER | DT_SINGLELINE;
inline constexpr uint32_t LeftMiddleEllipsis = LeftMiddle | DT_END_ELLIPSIS;
inline constexpr uint32_t CentreMiddleEllipsis = CentreMiddle | DT_END_ELLIPSIS;
inline constexpr uint32_t RightMiddleEllipsis = RightMiddle | DT_END_ELLIPSIS;
inline constexpr uint32_t WrapLeft = kBase | DT_LEFT | DT_TOP | DT_WORDBREAK;
inline constexpr uint32_t WrapCentre = kBase | DT_CENTER | DT_TOP | DT_WORDBREAK;
inline constexpr uint32_t WrapRight = kBase | DT_RIGHT | DT_TOP | DT_WORDBREAK;
}  // namespace text_options

// The base font height of a drawing area: (top - bottom) / 96, at most -4.
int32_t baseFontHeight(const TRect& area);

enum class HeaderAlign { Left = 0, Right = 1, Centre = 2 };

// Draws title, type bar and info lines; moves area.top down to the bottom of the bar.
// Nothing is drawn when all three texts are empty. Returns the header's full bottom.
int32_t drawSheetHeader(TCanvas& c, const std::u16string& title, const std::u16string& type,
                        const std::u16string& info, TColor barColor, TColor penColor, TColor fontColor,
                        int32_t penWidth, int32_t baseHeight, TRect& area, HeaderAlign align);

// The copyright line centred just below the drawing area.
void drawFooter(TCanvas& c, const std::u16string& text, const TRect& area, int32_t baseHeight);

// "()" for empty characters, one character doubled, more than two cut to two.
std::u16string normaliseSeedChars(std::u16string_view chars);
// name + " (3)" for a seed, name + " (GER)" for an information field, else name.
std::u16string seedAnnotation(const std::u16string& name, int32_t seed, const std::u16string& info,
                              const std::u16string& seedChars);

struct MatchElement {
  int32_t x = 0, y = 0;
  uint8_t style = 0;  // 0 plain, 1 framed
  bool mirrored = false;
  std::u16string seedChars;
  int connector = 0;  // -2, -1, 0 or 1
  int32_t labelShift = 0;
  bool boldSeededLines = false, boldSeeds = false, showSeeds = false;
  std::u16string name1, info1, second1;
  int32_t seed1 = 0;
  std::u16string name2, info2, second2;
  int32_t seed2 = 0;
  bool firstRound = false;
  int32_t lineNumber = 0;
  std::u16string label;
  int32_t gap = 1;
  int32_t smallHeight = 0;
  int32_t nameHeight = 0;
  int32_t penWidth = 1;
  bool singleLine = false;
  int32_t seedColumnWidth = 0;
  int32_t rowHeight = 0;  // a quarter of the element's height
  int32_t width = 0;      // length of the horizontal lines
};

void drawMatchElement(TCanvas& c, const MatchElement& e);

struct ChampionBox {
  TRect box;
  int32_t framePen = 1;
  std::u16string seedChars;
  bool showSeeds = false;
  std::u16string caption, info, name, second;
  int32_t seed = 0;
  int32_t gap = 1;
  int32_t captionHeight = 0, nameHeight = 0;
  TColor bandColor = kLightGrey;
  int32_t bandPen = 1;
};

void drawChampionBox(TCanvas& c, const ChampionBox& b);

// round() of the draw code: to the nearest integer, ties to even.
int32_t roundEven(double v);

}  // namespace velmoro::draw
