// Test pictures record by record: an EMF header for a page of pixels at 96 dpi, any
// record as raw 32-bit words or bytes, and the few records the tests need by name. Used
// where the real canvas cannot make the case (foreign records, bitmaps, bad data).
#pragma once

#include "platform/emf_records.h"

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro::test {

class EmfBuilder {
 public:
  EmfBuilder(int32_t width = 794, int32_t height = 1123, uint16_t handles = 8) {
    const int32_t fx = (width * 2540 + 48) / 96, fy = (height * 2540 + 48) / 96;
    words(emf::EMR_HEADER, {0, 0, uint32_t(width - 1), uint32_t(height - 1), 0, 0, uint32_t(fx), uint32_t(fy),
                            emf::kSignature, emf::kVersion, 0, 0, handles, 0, 0, 0, 960, 960, 254, 254, 0, 0, 0,
                            254000, 254000});
  }
  // A record of type with the given 32-bit fields after type and size.
  EmfBuilder& words(uint32_t type, std::initializer_list<uint32_t> fields) {
    std::vector<uint8_t> b;
    for (uint32_t f : fields) put(b, f);
    return raw(type, b);
  }
  // A record of type with the given bytes after type and size (padded to 4).
  EmfBuilder& raw(uint32_t type, std::vector<uint8_t> fields) {
    while (fields.size() % 4) fields.push_back(0);
    put(bytes_, type);
    put(bytes_, uint32_t(fields.size() + 8));
    bytes_.insert(bytes_.end(), fields.begin(), fields.end());
    ++records_;
    return *this;
  }
  EmfBuilder& pen(uint32_t h, uint32_t style, int32_t width, uint32_t color) {
    return words(emf::EMR_CREATEPEN, {h, style, uint32_t(width), 0, color});
  }
  EmfBuilder& brush(uint32_t h, uint32_t style, uint32_t color) {
    return words(emf::EMR_CREATEBRUSHINDIRECT, {h, style, color, 0});
  }
  EmfBuilder& select(uint32_t h) { return words(emf::EMR_SELECTOBJECT, {h}); }
  EmfBuilder& moveTo(int32_t x, int32_t y) { return words(emf::EMR_MOVETOEX, {uint32_t(x), uint32_t(y)}); }
  EmfBuilder& lineTo(int32_t x, int32_t y) { return words(emf::EMR_LINETO, {uint32_t(x), uint32_t(y)}); }
  EmfBuilder& rectangle(int32_t l, int32_t t, int32_t r, int32_t b) {
    return words(emf::EMR_RECTANGLE, {uint32_t(l), uint32_t(t), uint32_t(r), uint32_t(b)});
  }
  EmfBuilder& poly16(uint32_t type, std::initializer_list<std::pair<int16_t, int16_t>> points) {
    std::vector<uint8_t> b;
    for (int i = 0; i < 4; ++i) put(b, 0);
    put(b, uint32_t(points.size()));
    for (auto [x, y] : points) put(b, uint32_t(uint16_t(x)) | uint32_t(uint16_t(y)) << 16);
    return raw(type, b);
  }
  // LOGFONTW of a face at a pixel height.
  EmfBuilder& font(uint32_t h, std::u16string_view face, int32_t height, int32_t weight = 400, bool underline = false,
                   int32_t escapement = 0) {
    std::vector<uint8_t> b;
    for (uint32_t f : {h, uint32_t(height), 0u, uint32_t(escapement), 0u, uint32_t(weight)}) put(b, f);
    for (uint8_t c : {uint8_t(0), uint8_t(underline), uint8_t(0), uint8_t(1), uint8_t(0), uint8_t(0), uint8_t(0), uint8_t(0)})
      b.push_back(c);
    for (size_t i = 0; i < 32; ++i) put16(b, i < face.size() ? face[i] : 0);
    return raw(emf::EMR_EXTCREATEFONTINDIRECTW, b);
  }
  // EXTTEXTOUTW at (x, y); dx empty for none; clip empty for none.
  EmfBuilder& text(int32_t x, int32_t y, std::u16string_view s, std::vector<int32_t> dx = {}, uint32_t options = 0,
                   std::initializer_list<int32_t> clip = {0, 0, 0, 0}) {
    std::vector<uint8_t> b;
    for (int i = 0; i < 4; ++i) put(b, 0);
    put(b, 1);
    float one = 1;
    uint32_t f;
    std::memcpy(&f, &one, 4);
    put(b, f), put(b, f);
    const uint32_t textBytes = (uint32_t(s.size()) * 2 + 3) / 4 * 4;
    put(b, uint32_t(x)), put(b, uint32_t(y)), put(b, uint32_t(s.size())), put(b, 76), put(b, options);
    for (int32_t c : clip) put(b, uint32_t(c));
    put(b, dx.empty() ? 0 : 76 + textBytes);
    for (char16_t c : s) put16(b, c);
    while (b.size() % 4) b.push_back(0);
    for (int32_t d : dx) put(b, uint32_t(d));
    return raw(emf::EMR_EXTTEXTOUTW, b);
  }
  // A GDI comment with a command byte and its data.
  EmfBuilder& comment(std::vector<uint8_t> data) {
    std::vector<uint8_t> b;
    put(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    return raw(emf::EMR_GDICOMMENT, b);
  }

  std::vector<uint8_t> finish() {
    words(emf::EMR_EOF, {0, 16, 20});
    std::vector<uint8_t> out = bytes_;
    set(out, 48, uint32_t(out.size()));
    set(out, 52, records_);
    return out;
  }

  std::string finishString() {
    const std::vector<uint8_t> b = finish();
    return std::string(b.begin(), b.end());
  }

  static void put(std::vector<uint8_t>& b, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i)));
  }
  static void put16(std::vector<uint8_t>& b, uint16_t v) {
    b.push_back(uint8_t(v)), b.push_back(uint8_t(v >> 8));
  }
  static void set(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
  }

 private:
  std::vector<uint8_t> bytes_;
  uint32_t records_ = 0;
};

}  // namespace velmoro::test
