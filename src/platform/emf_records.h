// The enhanced-metafile (EMF) records this system writes and reads, laid out as the
// public format has them: little-endian, every record a 32-bit type and a 32-bit size
// (a multiple of 4, the whole record) followed by its fields.
//
//   +--------+--------+------------------------------------------+
//   | type   | size   | fields ...                   (size bytes) |
//   +--------+--------+------------------------------------------+
//    0        4        8
//
// A file is one EMR_HEADER, the drawing records, and EMR_EOF last. Object handles are
// indexes into the metafile's handle table; index 0 is the metafile itself, so the
// header's nHandles is one more than the highest index used. A handle with the top bit
// set names a stock object instead.
#pragma once

#include <cstdint>
#include <string_view>

namespace velmoro::emf {

// One line per record: name, type number, fields after type and size.
// (partner: recordName() in emf_reader.cpp expands this same list)
#define VELMORO_EMF_RECORDS(X)                                                              \
  X(HEADER, 1)             /* bounds, frame, signature, sizes, counts, description */     \
  X(POLYBEZIER, 2)         /* bounds, count, 32-bit points: start + 3 per curve */        \
  X(POLYGON, 3)            /* bounds, count, 32-bit points */                              \
  X(POLYLINE, 4)           /* bounds, count, 32-bit points */                              \
  X(POLYBEZIERTO, 5)       /* bounds, count, 32-bit points from the current position */  \
  X(SETWINDOWEXTEX, 9)     /* extent */                                                    \
  X(SETWINDOWORGEX, 10)    /* origin */                                                    \
  X(SETVIEWPORTEXTEX, 11)  /* extent */                                                    \
  X(SETVIEWPORTORGEX, 12)  /* origin */                                                    \
  X(EOF, 14)               /* palette count, palette offset, size of this record */       \
  X(SETMAPMODE, 17)        /* mode */                                                      \
  X(SETBKMODE, 18)         /* 1 transparent, 2 opaque */                                   \
  X(SETTEXTALIGN, 22)      /* TA_ flags */                                                 \
  X(SETTEXTCOLOR, 24)      /* COLORREF */                                                  \
  X(SETBKCOLOR, 25)        /* COLORREF */                                                  \
  X(MOVETOEX, 27)          /* point: new current position */                              \
  X(SAVEDC, 33)            /* push the device state */                                     \
  X(RESTOREDC, 34)         /* relative count (negative): pop the device state */          \
  X(SETWORLDTRANSFORM, 35) /* 6 floats */                                                  \
  X(SELECTOBJECT, 37)      /* handle (or stock object) */                                  \
  X(CREATEPEN, 38)         /* handle, style, width (x, y), COLORREF */                     \
  X(CREATEBRUSHINDIRECT, 39) /* handle, style, COLORREF, hatch */                          \
  X(DELETEOBJECT, 40)      /* handle */                                                    \
  X(ELLIPSE, 42)           /* box */                                                       \
  X(RECTANGLE, 43)         /* box: outline with the pen, inside with the brush */          \
  X(ROUNDRECT, 44)         /* box, corner size */                                          \
  X(LINETO, 54)            /* point: line from the current position */                     \
  X(GDICOMMENT, 70)        /* data size, data */                                           \
  X(BITBLT, 76)            /* bounds, destination, raster operation, source bitmap */     \
  X(STRETCHBLT, 77)        /* as BITBLT plus the source size */                            \
  X(STRETCHDIBITS, 81)     /* bounds, destination, source, bitmap */                       \
  X(EXTCREATEFONTINDIRECTW, 82) /* handle, LOGFONTW (92 bytes) */                          \
  X(EXTTEXTOUTW, 84)       /* bounds, mode, scales, EMRTEXT, UTF-16 text, Dx array */      \
  X(POLYBEZIER16, 85)      /* bounds, count, 16-bit points */                              \
  X(POLYGON16, 86)         /* bounds, count, 16-bit points */                              \
  X(POLYLINE16, 87)        /* bounds, count, 16-bit points */                              \
  X(POLYBEZIERTO16, 88)    /* bounds, count, 16-bit points */

enum : uint32_t {
#define VELMORO_EMF_ENUM(name, number) EMR_##name = number,
  VELMORO_EMF_RECORDS(VELMORO_EMF_ENUM)
#undef VELMORO_EMF_ENUM
};

// Name of a record type ("EMR_LINETO"), or "" for one not in the list.
std::string_view recordName(uint32_t type);

inline constexpr uint32_t kSignature = 0x464D4520;  // " EMF"
inline constexpr uint32_t kVersion = 0x00010000;

// EMR_HEADER with the device size in micrometres at its end:
//   8 bounds (inclusive, device units)   24 frame (inclusive, 0.01 mm)
//  40 signature   44 version   48 nBytes   52 nRecords   56 nHandles (16 bits)
//  58 reserved    60 nDescription (UTF-16 units)   64 offDescription
//  68 nPalEntries 72 device size in pixels   80 device size in millimetres
//  88 cbPixelFormat   92 offPixelFormat   96 bOpenGL   100 device size in micrometres
inline constexpr uint32_t kHeaderBaseSize = 88;  // the fields every EMF has
inline constexpr uint32_t kHeaderSize = 108;     // what this system writes

// EMR_EXTTEXTOUTW:
//   8 bounds   24 graphics mode   28 x scale   32 y scale
//  36 EMRTEXT: reference point, nChars, offString, options, clip rectangle, offDx
//  76 the text (UTF-16, padded to 4 bytes), then nChars 32-bit advances
inline constexpr uint32_t kExtTextOutSize = 76;
inline constexpr uint32_t kLogFontSize = 92;  // LOGFONTW: 5 ints, 8 bytes, 32 UTF-16 units
inline constexpr uint32_t kBitBltSize = 100;

// Stock objects, selected with the top bit set.
inline constexpr uint32_t kStockObject = 0x80000000;
enum : uint32_t {
  WHITE_BRUSH = 0, LTGRAY_BRUSH = 1, GRAY_BRUSH = 2, DKGRAY_BRUSH = 3, BLACK_BRUSH = 4,
  NULL_BRUSH = 5, WHITE_PEN = 6, BLACK_PEN = 7, NULL_PEN = 8, SYSTEM_FONT = 13,
  DEFAULT_GUI_FONT = 17,
};

enum : uint32_t { PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5 };
enum : uint32_t { BS_SOLID = 0, BS_NULL = 1 };
enum : uint32_t { TRANSPARENT = 1, OPAQUE = 2 };
enum : uint32_t { TA_NOUPDATECP = 0, TA_LEFT = 0, TA_TOP = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_BOTTOM = 8, TA_BASELINE = 24 };
enum : uint32_t { ETO_OPAQUE = 0x2, ETO_CLIPPED = 0x4, ETO_GLYPH_INDEX = 0x10, ETO_RTLREADING = 0x80 };
enum : uint32_t { GM_COMPATIBLE = 1 };
inline constexpr uint32_t PATCOPY = 0x00F00021;

}  // namespace velmoro::emf
