#include "platform/emf_writer.h"

#include "platform/screen.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace velmoro::emf {

int32_t TReferenceDevice::toHundredthsMm(int32_t pixels) const {
  return static_cast<int32_t>(std::llround(static_cast<double>(pixels) * 2540.0 / dpi));
}

TReferenceDevice referenceDevice() { return TReferenceDevice{platform::screenDpi()}; }

size_t TEmfWriter::begin(uint32_t type, uint32_t size) {
  size_t at = bytes_.size();
  u32(type);
  u32(size);
  ++count_;
  return at;
}

void TEmfWriter::u32(uint32_t v) {
  uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  bytes_.insert(bytes_.end(), b, b + 4);
}

void TEmfWriter::f32(float v) { u32(std::bit_cast<uint32_t>(v)); }

void TEmfWriter::handle(uint32_t h) {
  if ((h & kStockObject) == 0) handles_ = std::max(handles_, h + 1);
}

void TEmfWriter::include(TRect r) {
  if (!hasBounds_) {
    bounds_ = r;
    hasBounds_ = true;
    return;
  }
  bounds_.left = std::min(bounds_.left, r.left);
  bounds_.top = std::min(bounds_.top, r.top);
  bounds_.right = std::max(bounds_.right, r.right);
  bounds_.bottom = std::max(bounds_.bottom, r.bottom);
}

// A box of exclusive right and bottom edges, widened by half the pen on each side.
void TEmfWriter::includeBox(TRect box, int penWidth) {
  int32_t l = std::min(box.left, box.right), r = std::max(box.left, box.right);
  int32_t t = std::min(box.top, box.bottom), b = std::max(box.top, box.bottom);
  int32_t half = std::max(penWidth, 1) / 2;
  include({l - half, t - half, std::max(l, r - 1) + half, std::max(t, b - 1) + half});
}

void TEmfWriter::createPen(uint32_t h, uint32_t style, int32_t width, uint32_t color) {
  begin(EMR_CREATEPEN, 28);
  u32(h);
  u32(style);
  i32(std::max(width, 1));  // 0 would read as a null pen
  i32(0);
  u32(color);
  handle(h);
}

void TEmfWriter::createBrush(uint32_t h, uint32_t style, uint32_t color) {
  begin(EMR_CREATEBRUSHINDIRECT, 24);
  u32(h);
  u32(style);
  u32(color);
  u32(0);
  handle(h);
}

void TEmfWriter::createFont(uint32_t h, const TLogFont& f) {
  begin(EMR_EXTCREATEFONTINDIRECTW, 12 + kLogFontSize);
  u32(h);
  i32(f.height), i32(f.width), i32(f.escapement), i32(f.orientation), i32(f.weight);
  const uint8_t b[8] = {f.italic, f.underline, f.strikeOut, f.charSet,
                        f.outPrecision, f.clipPrecision, f.quality, f.pitchAndFamily};
  bytes_.insert(bytes_.end(), b, b + 8);
  for (size_t i = 0; i < 32; ++i) {
    char16_t c = i < 31 && i < f.faceName.size() ? f.faceName[i] : u'\0';
    bytes_.push_back(uint8_t(c));
    bytes_.push_back(uint8_t(c >> 8));
  }
  handle(h);
}

void TEmfWriter::selectObject(uint32_t h) {
  begin(EMR_SELECTOBJECT, 12);
  u32(h);
  handle(h);
}

void TEmfWriter::deleteObject(uint32_t h) {
  begin(EMR_DELETEOBJECT, 12);
  u32(h);
}

void TEmfWriter::moveTo(TPoint p) {
  begin(EMR_MOVETOEX, 16);
  point(p);
}

void TEmfWriter::lineTo(TPoint p, TRect bounds) {
  begin(EMR_LINETO, 16);
  point(p);
  include(bounds);
}

void TEmfWriter::poly(uint32_t type16, uint32_t type32, std::span<const TPoint> points, int penWidth) {
  if (points.empty()) return;
  TRect box{points[0].x, points[0].y, points[0].x, points[0].y};
  bool small = true;
  for (const TPoint& p : points) {
    box.left = std::min(box.left, p.x), box.right = std::max(box.right, p.x);
    box.top = std::min(box.top, p.y), box.bottom = std::max(box.bottom, p.y);
    small = small && p.x >= INT16_MIN && p.x <= INT16_MAX && p.y >= INT16_MIN && p.y <= INT16_MAX;
  }
  const auto n = static_cast<uint32_t>(points.size());
  begin(small ? type16 : type32, 28 + n * (small ? 4 : 8));
  rect(box);
  u32(n);
  for (const TPoint& p : points) {
    if (small) {
      u32(uint16_t(int16_t(p.x)) | uint32_t(uint16_t(int16_t(p.y))) << 16);
    } else {
      point(p);
    }
  }
  int32_t half = std::max(penWidth, 1) / 2;
  include({box.left - half, box.top - half, box.right + half, box.bottom + half});
}

void TEmfWriter::polyline(std::span<const TPoint> points, int penWidth) {
  poly(EMR_POLYLINE16, EMR_POLYLINE, points, penWidth);
}

void TEmfWriter::polyBezier(std::span<const TPoint> points, int penWidth) {
  poly(EMR_POLYBEZIER16, EMR_POLYBEZIER, points, penWidth);
}

void TEmfWriter::rectangle(TRect box, int penWidth) {
  begin(EMR_RECTANGLE, 24);
  rect(box);
  includeBox(box, penWidth);
}

void TEmfWriter::roundRect(TRect box, int32_t cw, int32_t ch, int penWidth) {
  begin(EMR_ROUNDRECT, 32);
  rect(box);
  i32(cw), i32(ch);
  includeBox(box, penWidth);
}

void TEmfWriter::ellipse(TRect box, int penWidth) {
  begin(EMR_ELLIPSE, 24);
  rect(box);
  includeBox(box, penWidth);
}

void TEmfWriter::patBlt(TRect box) {
  int32_t l = std::min(box.left, box.right), t = std::min(box.top, box.bottom);
  int32_t w = std::abs(box.right - box.left), h = std::abs(box.bottom - box.top);
  if (w == 0 || h == 0) return;
  begin(EMR_BITBLT, kBitBltSize);
  rect({l, t, l + w - 1, t + h - 1});
  i32(l), i32(t), i32(w), i32(h);
  u32(PATCOPY);
  i32(0), i32(0);                                           // source position
  f32(1), f32(0), f32(0), f32(1), f32(0), f32(0);           // source transform
  u32(0), u32(0);                                           // background colour, usage
  u32(0), u32(0), u32(0), u32(0);                           // no bitmap
  include({l, t, l + w - 1, t + h - 1});
}

void TEmfWriter::setTextColor(uint32_t color) {
  begin(EMR_SETTEXTCOLOR, 12);
  u32(color);
}

void TEmfWriter::setTextAlign(uint32_t align) {
  begin(EMR_SETTEXTALIGN, 12);
  u32(align);
}

void TEmfWriter::setBkMode(uint32_t mode) {
  begin(EMR_SETBKMODE, 12);
  u32(mode);
}

void TEmfWriter::extTextOut(TPoint reference, std::u16string_view text, std::span<const int32_t> dx,
                            uint32_t options, TRect clip, TRect bounds, float xScale, float yScale) {
  const auto n = static_cast<uint32_t>(text.size());
  const uint32_t textBytes = (n * 2 + 3) & ~3u;
  const uint32_t offDx = kExtTextOutSize + textBytes;
  begin(EMR_EXTTEXTOUTW, offDx + n * 4);
  rect(bounds);
  u32(GM_COMPATIBLE);
  f32(xScale), f32(yScale);
  point(reference);
  u32(n);
  u32(kExtTextOutSize);
  u32(options);
  rect(clip);
  u32(offDx);
  for (char16_t c : text) bytes_.push_back(uint8_t(c)), bytes_.push_back(uint8_t(c >> 8));
  bytes_.resize(bytes_.size() + (textBytes - n * 2), 0);
  for (uint32_t i = 0; i < n; ++i) i32(i < dx.size() ? dx[i] : 0);
  if (n > 0 && bounds.left <= bounds.right && bounds.top <= bounds.bottom) include(bounds);
}

void TEmfWriter::saveDC() { begin(EMR_SAVEDC, 8); }

void TEmfWriter::restoreDC(int32_t relative) {
  begin(EMR_RESTOREDC, 12);
  i32(relative);
}

std::vector<uint8_t> TEmfWriter::finish(int32_t width, int32_t height, std::u16string_view createdBy,
                                        std::u16string_view description) const {
  std::u16string desc;
  if (!createdBy.empty() || !description.empty()) {
    desc.append(createdBy).push_back(u'\0');
    desc.append(description).push_back(u'\0');
    desc.push_back(u'\0');
  }
  const auto descBytes = static_cast<uint32_t>((desc.size() * 2 + 3) & ~size_t(3));
  const uint32_t headerSize = kHeaderSize + descBytes;
  const uint32_t total = headerSize + static_cast<uint32_t>(bytes_.size()) + 20;
  const TReferenceDevice dev = referenceDevice();

  TEmfWriter h;
  h.bytes_.reserve(total);
  h.u32(EMR_HEADER);
  h.u32(headerSize);
  h.rect(bounds_);
  h.rect({0, 0, dev.toHundredthsMm(width), dev.toHundredthsMm(height)});
  h.u32(kSignature);
  h.u32(kVersion);
  h.u32(total);
  h.u32(count_ + 2);
  h.u32(std::min<uint32_t>(handles_, 0xFFFF));  // nHandles, then sReserved = 0
  h.u32(static_cast<uint32_t>(desc.size()));
  h.u32(desc.empty() ? 0 : kHeaderSize);
  h.u32(0);  // palette entries
  h.i32(dev.widthPixels()), h.i32(dev.heightPixels());
  h.i32(TReferenceDevice::kWidthMm), h.i32(TReferenceDevice::kHeightMm);
  h.u32(0), h.u32(0), h.u32(0);  // no pixel format, no OpenGL
  h.i32(TReferenceDevice::kWidthMm * 1000), h.i32(TReferenceDevice::kHeightMm * 1000);
  for (char16_t c : desc) h.bytes_.push_back(uint8_t(c)), h.bytes_.push_back(uint8_t(c >> 8));
  h.bytes_.resize(headerSize, 0);
  h.bytes_.insert(h.bytes_.end(), bytes_.begin(), bytes_.end());
  h.u32(EMR_EOF);
  h.u32(20);
  h.u32(0);   // no palette
  h.u32(16);  // offset of the (empty) palette
  h.u32(20);  // this record's size again
  return std::move(h.bytes_);
}

}  // namespace velmoro::emf
