// Integer geometry of page drawings, in page pixels (x to the right, y downwards).
#pragma once

#include <cstdint>

namespace velmoro {

struct TPoint {
  int32_t x = 0, y = 0;
  bool operator==(const TPoint&) const = default;
};

struct TRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t width() const { return right - left; }
  int32_t height() const { return bottom - top; }
  bool isEmpty() const { return !(left < right && top < bottom); }
  bool operator==(const TRect&) const = default;
};

}  // namespace velmoro
