#include "pdf/dib.h"

#include "common/error.h"

#include <algorithm>
#include <bit>

namespace velmoro::pdf {

namespace {

enum : uint32_t { BI_RGB = 0, BI_BITFIELDS = 3 };
constexpr int64_t kMaxSide = 1 << 16;  // far beyond any page bitmap; keeps sizes sane

// One colour channel out of a masked pixel value, scaled to 8 bits.
uint8_t channel(uint32_t value, uint32_t mask) {
  if (mask == 0) return 0;
  const int shift = std::countr_zero(mask);
  const uint32_t bits = std::popcount(mask >> shift) >= 32 ? 0xFFFFFFFFu : (mask >> shift);
  const uint64_t v = (value & mask) >> shift;
  return static_cast<uint8_t>(v * 255 / bits);
}

}  // namespace

std::optional<TDibBitmap> decodeDib(const emf::TEmfRecord& r, const TDibSource& s) {
  if (s.usage != 0) return std::nullopt;  // DIB_PAL_COLORS: indexes into a palette we do not keep
  r.require(s.offBmi, 16);
  const uint32_t headerSize = r.u32(s.offBmi);
  if (headerSize < 40 || headerSize > s.cbBmi) return std::nullopt;  // core headers and worse
  r.require(s.offBmi, headerSize);
  const int64_t width = r.i32(s.offBmi + 4), rawHeight = r.i32(s.offBmi + 8);
  const uint16_t bpp = r.u16(s.offBmi + 14);
  const uint32_t compression = r.u32(s.offBmi + 16), colorsUsed = r.u32(s.offBmi + 32);
  const int64_t height = rawHeight < 0 ? -rawHeight : rawHeight;
  if (width <= 0 || height <= 0 || width > kMaxSide || height > kMaxSide)
    throw Error(u"A bitmap of the metafile has a bad size!");
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return std::nullopt;
  if (compression != BI_RGB && !(compression == BI_BITFIELDS && (bpp == 16 || bpp == 32))) return std::nullopt;

  TDibBitmap out;
  out.indexed = bpp <= 8;
  uint32_t masks[3] = {0x7C00, 0x03E0, 0x001F};  // 5-5-5 for 16 bits, red first
  if (bpp == 32) masks[0] = 0xFF0000, masks[1] = 0x00FF00, masks[2] = 0x0000FF;
  if (out.indexed) {
    const uint32_t entries = std::min<uint32_t>(colorsUsed ? colorsUsed : 1u << bpp, 1u << bpp);
    const size_t at = size_t(s.offBmi) + headerSize;
    if (headerSize + 4ull * entries > s.cbBmi) throw Error(u"A bitmap's colour table lies outside its header!");
    r.require(at, 4ull * entries);
    for (uint32_t i = 0; i < entries; ++i) out.palette[i] = r.u32(at + 4 * i) & 0xFFFFFF;  // B, G, R, 0
  } else if (compression == BI_BITFIELDS) {
    // The masks follow a 40-byte header and are part of any larger one.
    const size_t at = size_t(s.offBmi) + 40;
    if (headerSize == 40 && 52ull > s.cbBmi) throw Error(u"A bitmap's colour masks lie outside its header!");
    r.require(at, 12);
    for (int i = 0; i < 3; ++i) masks[i] = r.u32(at + 4 * i);
  }

  const int64_t stride = (width * bpp + 31) / 32 * 4;
  if (uint64_t(stride) * uint64_t(height) > s.cbBits) throw Error(u"A bitmap's bits are shorter than its size!");
  r.require(s.offBits, size_t(stride * height));

  // The source rectangle, clipped to the bitmap.
  int64_t x0 = s.x, y0 = s.y, x1 = int64_t(s.x) + s.cx, y1 = int64_t(s.y) + s.cy;
  if (x0 > x1) std::swap(x0, x1);
  if (y0 > y1) std::swap(y0, y1);
  if (s.fromBottom && rawHeight > 0) {
    const int64_t top = height - y1, bottom = height - y0;
    y0 = top, y1 = bottom;
  }
  x0 = std::clamp<int64_t>(x0, 0, width), x1 = std::clamp<int64_t>(x1, 0, width);
  y0 = std::clamp<int64_t>(y0, 0, height), y1 = std::clamp<int64_t>(y1, 0, height);
  if (x0 >= x1 || y0 >= y1) return std::nullopt;
  out.width = static_cast<int32_t>(x1 - x0);
  out.height = static_cast<int32_t>(y1 - y0);
  out.pixels.reserve(size_t(out.width) * out.height * (out.indexed ? 1 : 3));

  const uint8_t* bits = r.bytes.data() + s.offBits;
  for (int64_t y = y0; y < y1; ++y) {
    const uint8_t* row = bits + stride * (rawHeight < 0 ? y : height - 1 - y);  // bottom-up unless negative
    for (int64_t x = x0; x < x1; ++x) {
      switch (bpp) {
        case 1: out.pixels.push_back((row[x / 8] >> (7 - x % 8)) & 1); break;
        case 4: out.pixels.push_back((row[x / 2] >> (x % 2 ? 0 : 4)) & 15); break;
        case 8: out.pixels.push_back(row[x]); break;
        case 24:
          out.pixels.insert(out.pixels.end(), {row[3 * x + 2], row[3 * x + 1], row[3 * x]});
          break;
        default: {
          const uint8_t* p = row + x * (bpp / 8);
          const uint32_t v = bpp == 16 ? uint32_t(p[0] | p[1] << 8) : uint32_t(p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24);
          out.pixels.insert(out.pixels.end(), {channel(v, masks[0]), channel(v, masks[1]), channel(v, masks[2])});
        }
      }
    }
  }
  return out;
}

}  // namespace velmoro::pdf
