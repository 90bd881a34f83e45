#include "platform/emf_reader.h"

#include "common/error.h"
#include "common/paths.h"
#include "common/unicode.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace velmoro::emf {

std::string_view recordName(uint32_t type) {
  switch (type) {
#define VELMORO_EMF_NAME(name, number) \
  case number:                         \
    return "EMR_" #name;
    VELMORO_EMF_RECORDS(VELMORO_EMF_NAME)
#undef VELMORO_EMF_NAME
  }
  return {};
}

namespace {

uint32_t le32(const uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | uint32_t(p[3]) << 24; }

std::u16string number(uint64_t v) { return text::fromAscii(std::to_string(v)); }

std::u16string recordLabel(uint32_t type, size_t index) {
  std::string_view name = recordName(type);
  std::u16string label = u"EMF record " + number(index);
  if (!name.empty()) label += u" (" + text::fromAscii(name) + u")";
  return label;
}

// a * b / c rounded, in 64 bits and clamped: the header's values are not trusted.
int32_t mulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return -1;
  const double v = std::round(static_cast<double>(a) * static_cast<double>(b) / static_cast<double>(c));
  return static_cast<int32_t>(std::clamp(v, double(INT32_MIN), double(INT32_MAX)));
}

}  // namespace

void TEmfRecord::require(size_t offset, size_t count) const {
  if (offset > bytes.size() || count > bytes.size() - offset)
    throw Error(text::fromAscii(recordName(type).empty() ? "EMF record" : recordName(type)) +
                u" is too short: " + number(bytes.size()) + u" bytes, needs " + number(offset + count) +
                u"!");
}

uint32_t TEmfRecord::u32(size_t offset) const {
  require(offset, 4);
  return le32(bytes.data() + offset);
}

uint16_t TEmfRecord::u16(size_t offset) const {
  require(offset, 2);
  return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

float TEmfRecord::f32(size_t offset) const { return std::bit_cast<float>(u32(offset)); }

int32_t TEmfFile::pictureWidth() const {
  return mulDiv(int64_t(header.frame.right) - header.frame.left, header.devicePixelsX, int64_t(header.deviceMmX) * 100);
}

int32_t TEmfFile::pictureHeight() const {
  return mulDiv(int64_t(header.frame.bottom) - header.frame.top, header.devicePixelsY, int64_t(header.deviceMmY) * 100);
}

std::u16string TEmfFile::createdBy() const {
  const std::u16string& d = header.description;
  return d.substr(0, d.find(u'\0'));
}

std::u16string TEmfFile::descriptionText() const {
  const std::u16string& d = header.description;
  size_t first = d.find(u'\0');
  if (first == std::u16string::npos) return {};
  size_t end = d.find(u'\0', first + 1);
  return d.substr(first + 1, end == std::u16string::npos ? std::u16string::npos : end - first - 1);
}

TEmfFile parseEmf(std::span<const uint8_t> data) { return parseEmf(std::vector<uint8_t>(data.begin(), data.end())); }

TEmfFile parseEmf(std::vector<uint8_t> data) {
  TEmfFile file;
  file.data_ = std::move(data);
  const std::vector<uint8_t>& d = file.data_;
  if (d.size() < kHeaderBaseSize || le32(d.data()) != EMR_HEADER || le32(d.data() + 40) != kSignature)
    throw Error(u"Not an EMF file!");

  // Records are read up to the smaller of the file and its own byte count: a header
  // that claims less than the file is trusted, one that claims more is not.
  const size_t limit = std::min<size_t>(d.size(), std::max<uint32_t>(le32(d.data() + 48), kHeaderBaseSize));
  size_t at = 0;
  while (at < limit) {
    if (limit - at < 8) throw Error(recordLabel(0, file.records.size()) + u" is cut off!");
    const uint32_t type = le32(d.data() + at), size = le32(d.data() + at + 4);
    if (size < 8 || size % 4 != 0 || size > limit - at)
      throw Error(recordLabel(type, file.records.size()) + u" has a bad size " + number(size) + u"!");
    file.records.push_back({type, std::span<const uint8_t>(d.data() + at, size)});
    at += size;
    if (type == EMR_EOF) break;
  }

  const TEmfRecord& h = file.records.front();
  TEmfHeader& hd = file.header;
  h.require(0, kHeaderBaseSize);
  hd.bounds = h.rect(8);
  hd.frame = h.rect(24);
  hd.bytes = h.u32(48);
  hd.records = h.u32(52);
  hd.handles = h.u16(56);
  hd.devicePixelsX = h.i32(72), hd.devicePixelsY = h.i32(76);
  hd.deviceMmX = h.i32(80), hd.deviceMmY = h.i32(84);
  const uint32_t nDesc = h.u32(60), offDesc = h.u32(64);
  if (nDesc > 0) {
    if (offDesc < kHeaderBaseSize || nDesc > (h.size() - std::min<size_t>(h.size(), offDesc)) / 2)
      throw Error(u"The EMF description lies outside the header!");
    for (uint32_t i = 0; i < nDesc; ++i) hd.description.push_back(static_cast<char16_t>(h.u16(offDesc + 2 * i)));
  }
  // The micrometre size exists only when the header reaches past it and the
  // description does not start inside it.
  if (h.size() >= kHeaderSize && (nDesc == 0 || offDesc >= kHeaderSize))
    hd.deviceMicrometresX = h.i32(100), hd.deviceMicrometresY = h.i32(104);
  return file;
}

TEmfFile readEmfFile(const std::u16string& path) {
  std::ifstream in(path::toSystem(path), std::ios::binary);
  if (!in) throw Error(u"Cannot read file \"" + path + u"\"!");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw Error(u"Cannot read file \"" + path + u"\"!");
  return parseEmf(std::move(bytes));
}

std::vector<TPoint> polyPoints(const TEmfRecord& r) {
  const bool small = r.type == EMR_POLYBEZIER16 || r.type == EMR_POLYGON16 || r.type == EMR_POLYLINE16 ||
                     r.type == EMR_POLYBEZIERTO16;
  const uint32_t n = r.u32(24);
  const size_t each = small ? 4 : 8;
  r.require(28, size_t(n) * each);  // 64-bit: no overflow
  std::vector<TPoint> points(n);
  for (uint32_t i = 0; i < n; ++i)
    points[i] = small ? TPoint{r.i16(28 + 4 * i), r.i16(30 + 4 * i)} : r.point(28 + 8 * size_t(i));
  return points;
}

TExtTextOut extTextOut(const TEmfRecord& r) {
  TExtTextOut t;
  t.bounds = r.rect(8);
  t.xScale = r.f32(28), t.yScale = r.f32(32);
  t.reference = r.point(36);
  const uint32_t n = r.u32(44), offString = r.u32(48);
  t.options = r.u32(52);
  t.clip = r.rect(56);
  const uint32_t offDx = r.u32(72);
  r.require(offString, size_t(n) * 2);
  t.text.resize(n);
  for (uint32_t i = 0; i < n; ++i) t.text[i] = static_cast<char16_t>(r.u16(offString + 2 * size_t(i)));
  if (offDx != 0 && n > 0) {
    r.require(offDx, size_t(n) * 4);
    t.dx.resize(n);
    for (uint32_t i = 0; i < n; ++i) t.dx[i] = r.i32(offDx + 4 * size_t(i));
  }
  return t;
}

TLogFont logFont(const TEmfRecord& r, size_t offset) {
  r.require(offset, kLogFontSize);
  TLogFont f;
  f.height = r.i32(offset), f.width = r.i32(offset + 4), f.escapement = r.i32(offset + 8);
  f.orientation = r.i32(offset + 12), f.weight = r.i32(offset + 16);
  const uint8_t* b = r.bytes.data() + offset + 20;
  f.italic = b[0], f.underline = b[1], f.strikeOut = b[2], f.charSet = b[3];
  f.outPrecision = b[4], f.clipPrecision = b[5], f.quality = b[6], f.pitchAndFamily = b[7];
  for (size_t i = 0; i < 32; ++i) {
    char16_t c = static_cast<char16_t>(r.u16(offset + 28 + 2 * i));
    if (c == 0) break;
    f.faceName.push_back(c);
  }
  return f;
}

}  // namespace velmoro::emf
