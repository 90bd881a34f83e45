// TCanvas: the GDI-like drawing surface of a page. It records every operation as EMF
// records onto a TMetafile; destroying the canvas ends the recording and the page then
// holds everything drawn. Pen, Brush and Font are plain values the draw code sets; the
// canvas creates, selects and deletes the GDI objects for them only when a drawing
// operation needs a changed one, as a Windows canvas does.
//
// Coordinates are page pixels. Rectangles are (left, top, right, bottom) with the right
// and bottom edges outside, as GDI draws them. Text is placed with its top left at the
// given point and measured with the real font (fonts.h).
#pragma once

#include "platform/emf_writer.h"
#include "platform/fonts.h"
#include "platform/geometry.h"
#include "platform/metafile.h"
#include "platform/text_layout.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro::platform {

using TColor = uint32_t;  // 0x00BBGGRR, as a COLORREF
constexpr TColor rgb(uint8_t r, uint8_t g, uint8_t b) { return r | g << 8 | uint32_t(b) << 16; }
inline constexpr TColor clBlack = 0x000000, clWhite = 0xFFFFFF;

enum class TPenStyle : uint8_t { Solid, Dash, Dot, DashDot, DashDotDot, Clear };
enum class TBrushStyle : uint8_t { Solid, Clear };

struct TPen {
  int32_t Width = 1;  // recorded as at least 1
  TColor Color = clBlack;
  TPenStyle Style = TPenStyle::Solid;
  bool operator==(const TPen&) const = default;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::Solid;
  bool operator==(const TBrush&) const = default;
};

struct TCanvasFont {
  std::u16string Name = u"Arial";
  int32_t Height = 0;  // negative: character height; positive: cell height; 0: default
  int32_t Weight = 400;
  bool Italic = false, Underline = false, StrikeOut = false;
  TColor Color = clBlack;  // the text colour; not part of the GDI font

  bool Bold() const { return Weight >= 600; }
  void SetBold(bool bold) { Weight = bold ? 700 : 400; }
  bool operator==(const TCanvasFont&) const = default;
};

struct TSize {
  int32_t cx = 0, cy = 0;
  bool operator==(const TSize&) const = default;
};

class TCanvas {
 public:
  // Records onto page, after whatever the page already holds.
  TCanvas(TMetafile& page, std::u16string createdBy, std::u16string description);
  ~TCanvas();
  TCanvas(const TCanvas&) = delete;
  TCanvas& operator=(const TCanvas&) = delete;

  TPen Pen;
  TBrush Brush;
  TCanvasFont Font;

  void MoveTo(int32_t x, int32_t y);
  void LineTo(int32_t x, int32_t y);
  TPoint PenPos() const { return selected_.position; }
  void Polyline(std::span<const TPoint> points);
  // Start point and three points per curve; extra points are ignored.
  void PolyBezier(std::span<const TPoint> points);
  void Rectangle(TRect r);  // outline with the pen, inside with the brush
  void RoundRect(TRect r, int32_t cornerWidth, int32_t cornerHeight);
  void Ellipse(TRect r);
  void FillRect(TRect r);  // with the brush only; nothing with a clear brush

  TSize TextExtent(std::u16string_view text);
  int32_t TextWidth(std::u16string_view text) { return TextExtent(text).cx; }
  int32_t TextHeight(std::u16string_view text) { return TextExtent(text).cy; }
  void TextOut(int32_t x, int32_t y, std::u16string_view text);
  // Lays text out in r with DT_ flags and draws it; DT_CALCRECT only measures, moving
  // r's right edge (single line) or bottom edge (several lines). Returns the height.
  int32_t DrawText(std::u16string_view text, TRect& r, uint32_t flags);

  void SaveDC();
  void RestoreDC();  // a restore without a save does nothing

  const TFont& CurrentFont();  // the font that Font resolves to, for measuring
  uint32_t RecordCount() const { return writer_.recordCount(); }

 private:
  struct Selected {  // what the DC has selected: a created handle, or 0 for a stock one
    std::optional<TPen> pen;
    std::optional<TBrush> brush;
    std::optional<TCanvasFont> font;  // Color ignored
    uint32_t penHandle = 0, brushHandle = 0, fontHandle = 0;
    std::optional<TColor> textColor;
    TPoint position;  // the current position is part of a saved state too
  };

  void usePen();
  void useBrush();
  void useFont();
  uint32_t newHandle();
  void release(uint32_t handle);  // deletes a created object unless a saved state holds it
  bool heldBySavedState(uint32_t handle) const;
  void emitText(TPoint at, std::u16string_view text, const TRect* clip);
  int penWidth() const { return Pen.Style == TPenStyle::Clear ? 0 : std::max(Pen.Width, 1); }

  TMetafile& page_;
  emf::TEmfWriter writer_;
  std::u16string createdBy_, description_;
  float textScale_;
  Selected selected_;
  std::vector<Selected> saved_;
  std::vector<bool> handleUsed_;  // index 0 is the metafile itself
  std::vector<uint32_t> pendingDelete_;
  std::shared_ptr<const TFont> font_;
  std::optional<TCanvasFont> fontFor_;
};

}  // namespace velmoro::platform
