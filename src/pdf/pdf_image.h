// TPdfImage: an image XObject made from a bitmap of a metafile. Palette bitmaps become
// 8-bit /Indexed images over DeviceRGB, all others DeviceRGB with three bytes a pixel;
// the pixels are compressed like any stream. A 16-byte digest of the pixels and colours
// lets a document draw an equal bitmap again instead of storing it twice.
#pragma once

#include "pdf/dib.h"
#include "pdf/pdf_objects.h"

#include <array>
#include <cstdint>
#include <memory>

namespace velmoro::pdf {

using TDigest = std::array<uint8_t, 16>;

class TPdfImage : public TPdfXObject {
 public:
  // Direct until the document adds it (TPdfDocument::AddXObject names and registers it).
  TPdfImage(const TDibBitmap& bitmap, bool compress);

  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  const TDigest& Digest() const { return digest_; }
  // The same picture: size, colours and pixels (the digest only narrows the search).
  bool SameAs(const TPdfImage& other) const;
  // The name it was added under, empty before.
  std::string Name() const;

 private:
  int32_t width_, height_;
  std::string colors_;  // the palette of an indexed image, empty for RGB
  TDigest digest_{};
};

TDigest digestOf(std::string_view a, std::string_view b);

}  // namespace velmoro::pdf
