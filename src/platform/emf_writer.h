// TEmfWriter appends EMF records to a byte buffer and keeps what the header needs: the
// record count, the highest object handle and the bounds of what was drawn. finish()
// puts the header in front and EMR_EOF behind. It knows the record layouts only; the
// GDI state (which pen is selected, which handles are free) belongs to TCanvas.
#pragma once

#include "platform/emf_records.h"
#include "platform/geometry.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro::emf {

// The reference device the pages are recorded for. There is no screen: a virtual device
// of 20 x 15 inches at the screen resolution, so pixels, millimetres and micrometres
// agree exactly and a reader's MulDiv(frame, pixels, millimetres * 100) gives back the
// page's own pixel size.
struct TReferenceDevice {
  int dpi = 96;
  int32_t widthPixels() const { return dpi * 20; }
  int32_t heightPixels() const { return dpi * 15; }
  static constexpr int32_t kWidthMm = 508, kHeightMm = 381;
  // A length in pixels as 0.01 mm, rounded.
  int32_t toHundredthsMm(int32_t pixels) const;
};
TReferenceDevice referenceDevice();  // at the screen resolution

struct TLogFont {
  int32_t height = 0, width = 0, escapement = 0, orientation = 0, weight = 400;
  uint8_t italic = 0, underline = 0, strikeOut = 0, charSet = 1 /* DEFAULT_CHARSET */;
  uint8_t outPrecision = 0, clipPrecision = 0, quality = 0, pitchAndFamily = 0;
  std::u16string faceName;  // at most 31 units are stored
};

class TEmfWriter {
 public:
  void createPen(uint32_t handle, uint32_t style, int32_t width, uint32_t color);
  void createBrush(uint32_t handle, uint32_t style, uint32_t color);
  void createFont(uint32_t handle, const TLogFont& font);
  void selectObject(uint32_t handle);
  void deleteObject(uint32_t handle);
  void moveTo(TPoint p);
  void lineTo(TPoint p, TRect bounds);
  // POLYLINE16 / POLYBEZIER16 when every point fits 16 bits, else the 32-bit records.
  void polyline(std::span<const TPoint> points, int penWidth);
  void polyBezier(std::span<const TPoint> points, int penWidth);
  void rectangle(TRect box, int penWidth);
  void roundRect(TRect box, int32_t cornerWidth, int32_t cornerHeight, int penWidth);
  void ellipse(TRect box, int penWidth);
  void patBlt(TRect box);  // BITBLT with PATCOPY and no bitmap: fills with the brush
  void setTextColor(uint32_t color);
  void setTextAlign(uint32_t align);
  void setBkMode(uint32_t mode);
  // One run of text at the reference point with an advance per UTF-16 unit.
  void extTextOut(TPoint reference, std::u16string_view text, std::span<const int32_t> dx,
                  uint32_t options, TRect clip, TRect bounds, float xScale, float yScale);
  void saveDC();
  void restoreDC(int32_t relative = -1);

  uint32_t recordCount() const { return count_; }  // without header and EOF
  uint32_t handleCount() const { return handles_; }
  TRect bounds() const { return bounds_; }  // inclusive; empty as (0, 0, -1, -1)
  std::span<const uint8_t> records() const { return bytes_; }

  // The complete file for a picture of width x height pixels, with the description
  // "CreatedBy\0Description\0\0" (nothing when both are empty).
  std::vector<uint8_t> finish(int32_t width, int32_t height, std::u16string_view createdBy,
                              std::u16string_view description) const;

 private:
  size_t begin(uint32_t type, uint32_t size);
  void u32(uint32_t v);
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void f32(float v);
  void rect(TRect r) { i32(r.left), i32(r.top), i32(r.right), i32(r.bottom); }
  void point(TPoint p) { i32(p.x), i32(p.y); }
  void poly(uint32_t type16, uint32_t type32, std::span<const TPoint> points, int penWidth);
  void handle(uint32_t h);
  void include(TRect inclusive);
  void includeBox(TRect box, int penWidth);

  std::vector<uint8_t> bytes_;
  uint32_t count_ = 0;
  uint32_t handles_ = 1;
  TRect bounds_{0, 0, -1, -1};
  bool hasBounds_ = false;
};

}  // namespace velmoro::emf
