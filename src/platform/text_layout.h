// DrawText-style layout: where the lines of a text go inside a rectangle for the option
// flags (the Windows DT_ values, so the draw code reads like its Windows original),
// measured with a real font. Pure computation; TCanvas draws the result.
//
// Single line: CR and LF are dropped, the line is aligned horizontally and vertically.
// Word wrap: lines break at CR LF, CR or LF and between words; a word wider than the
// rectangle stays whole on its own line; only top alignment applies, as on Windows.
// End ellipsis: a line wider than the rectangle loses characters at its end until it
// fits with "..." appended. Without no-prefix, "&&" shows "&" and a single "&" is
// dropped (the underline it would mark is not drawn).
#pragma once

#include "platform/fonts.h"
#include "platform/geometry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro::platform {

enum TDrawTextFlags : uint32_t {
  DT_LEFT = 0x0,
  DT_CENTER = 0x1,
  DT_RIGHT = 0x2,
  DT_TOP = 0x0,
  DT_VCENTER = 0x4,
  DT_BOTTOM = 0x8,
  DT_WORDBREAK = 0x10,
  DT_SINGLELINE = 0x20,
  DT_NOCLIP = 0x100,
  DT_CALCRECT = 0x400,
  DT_NOPREFIX = 0x800,
  DT_END_ELLIPSIS = 0x8000,
};

struct TTextLine {
  std::u16string text;
  TPoint origin;  // top left of the line's cell
  int32_t width = 0;
};

struct TTextLayout {
  std::vector<TTextLine> lines;
  int32_t lineHeight = 0;
  int32_t widest = 0;   // the widest line
  int32_t height = 0;   // the DrawText result: from the rectangle's top to the last line's bottom
};

TTextLayout layoutText(std::u16string_view text, TRect rect, uint32_t flags, const TFont& font);

// The text cut at its end and followed by "..." so that it fits width (just "..." when
// nothing else fits); the text itself when it fits.
std::u16string endEllipsis(std::u16string_view text, int32_t width, const TFont& font);

}  // namespace velmoro::platform
