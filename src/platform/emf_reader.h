// The EMF reader: splits a file or buffer into its records and decodes the records the
// PDF renderer and the tests look into. EMF files also arrive from outside, so every
// length, count and offset is checked against the record it lies in; a breach raises
// velmoro::Error, never reads past the data.
#pragma once

#include "platform/emf_records.h"
#include "platform/emf_writer.h"
#include "platform/geometry.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velmoro::emf {

// One record: its type and its bytes (type and size included), inside the file's data.
struct TEmfRecord {
  uint32_t type = 0;
  std::span<const uint8_t> bytes;

  size_t size() const { return bytes.size(); }
  // Checked field access at a byte offset from the record's start.
  uint32_t u32(size_t offset) const;
  int32_t i32(size_t offset) const { return static_cast<int32_t>(u32(offset)); }
  uint16_t u16(size_t offset) const;
  int16_t i16(size_t offset) const { return static_cast<int16_t>(u16(offset)); }
  float f32(size_t offset) const;
  TRect rect(size_t offset) const { return {i32(offset), i32(offset + 4), i32(offset + 8), i32(offset + 12)}; }
  TPoint point(size_t offset) const { return {i32(offset), i32(offset + 4)}; }
  void require(size_t offset, size_t count) const;  // throws unless the range is inside
};

struct TEmfHeader {
  TRect bounds, frame;
  uint32_t bytes = 0, records = 0;
  uint16_t handles = 0;
  std::u16string description;  // as stored, NULs included
  int32_t devicePixelsX = 0, devicePixelsY = 0, deviceMmX = 0, deviceMmY = 0;
  int32_t deviceMicrometresX = 0, deviceMicrometresY = 0;  // 0 when the header has none
};

class TEmfFile {
 public:
  TEmfFile() = default;
  TEmfFile(TEmfFile&&) = default;
  TEmfFile& operator=(TEmfFile&&) = default;
  TEmfFile(const TEmfFile&) = delete;  // the records point into data_
  TEmfFile& operator=(const TEmfFile&) = delete;

  TEmfHeader header;
  std::vector<TEmfRecord> records;  // header first; EOF last when the file has one

  // The picture size in pixels: MulDiv(frame size, device pixels, device mm * 100).
  int32_t pictureWidth() const;
  int32_t pictureHeight() const;
  // The two texts of the description ("CreatedBy\0Description\0\0").
  std::u16string createdBy() const;
  std::u16string descriptionText() const;

 private:
  friend TEmfFile parseEmf(std::vector<uint8_t> data);
  std::vector<uint8_t> data_;
};

// Raises velmoro::Error "Not an EMF file!" for data without an EMF header, and an error
// naming the record for a record that does not fit. Reading stops at EMR_EOF.
TEmfFile parseEmf(std::vector<uint8_t> data);
TEmfFile parseEmf(std::span<const uint8_t> data);
TEmfFile readEmfFile(const std::u16string& path);

// Decoded records. Each raises velmoro::Error when the record is too short for what
// its counts and offsets promise.
std::vector<TPoint> polyPoints(const TEmfRecord& r);  // POLY*16 and the 32-bit forms

struct TExtTextOut {
  TRect bounds;
  float xScale = 0, yScale = 0;
  TPoint reference;
  uint32_t options = 0;
  TRect clip;
  std::u16string text;
  std::vector<int32_t> dx;  // empty when the record has none
};
TExtTextOut extTextOut(const TEmfRecord& r);

TLogFont logFont(const TEmfRecord& r, size_t offset = 12);  // EMR_EXTCREATEFONTINDIRECTW

}  // namespace velmoro::emf
