// Paper sizes and the unit conversions shared by the page document and the draw code.
// Page drawings are in pixels at the screen resolution; millimetres become points as
// mm / 25.4 * 72 and points become pixels as pt / 72 * dpi, rounded half to even.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmoro::units {

inline constexpr int kPaperCount = 14;  // index 0 (none) and the 13 named sizes
inline constexpr int kDefaultPaper = 5;  // A4

// Paper names by index; index 0 is "" and never matches.
std::u16string_view paperName(int index);
// Index of the first paper name matching name without regard to case, or -1.
int findPaper(std::u16string_view name);

// Width and height in mm of a paper index; index 0 (or one out of range) leaves the
// pair as given; orientation 1 (landscape) swaps the two.
void paperSize(int index, int orientation, int& width, int& height);

float mmToPoints(double mm);          // single precision, as kept by the callers
int pointsToPixels(double points);    // at the screen resolution, half to even
int mmToPixels(int mm);               // the conversion handed to draw scripts
int mmToPdfPoints(int mm);            // points truncated toward zero
int mmToPagePixels(int mm);           // through the single-precision point value

}  // namespace velmoro::units
