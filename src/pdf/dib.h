// Device-independent bitmaps inside EMF records (BITBLT, STRETCHBLT, STRETCHDIBITS):
// the header, colour table and bits are located through the record's offsets and every
// one of them is checked against the record, since foreign files are untrusted. A
// bitmap becomes rows from top to bottom, either palette indexes (1, 4 and 8 bits per
// pixel) or red-green-blue triples (16, 24 and 32 bits per pixel).
#pragma once

#include "platform/emf_reader.h"
#include "platform/geometry.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace velmoro::pdf {

struct TDibBitmap {
  int32_t width = 0, height = 0;
  bool indexed = false;                // palette indexes, else RGB triples
  std::array<uint32_t, 256> palette{};  // 0x00RRGGBB, unused entries black
  std::vector<uint8_t> pixels;         // rows top to bottom, no padding
};

// Where a record keeps its bitmap, and the source rectangle to copy (top-down pixels
// unless fromBottom, which counts y from the last row as StretchDIBits does).
struct TDibSource {
  uint32_t offBmi = 0, cbBmi = 0, offBits = 0, cbBits = 0, usage = 0;
  int32_t x = 0, y = 0, cx = 0, cy = 0;
  bool fromBottom = false;
};

// The source rectangle of the bitmap (clipped to it); nothing for a format this system
// does not draw (compressed, palette-relative colours, unusual headers) or an empty
// rectangle. Raises velmoro::Error when anything lies outside the record.
std::optional<TDibBitmap> decodeDib(const emf::TEmfRecord& r, const TDibSource& source);

}  // namespace velmoro::pdf
