// The installed TrueType fonts: fontconfig lists the families and resolves a face,
// FreeType reads metrics, advance widths and raw tables. fontconfig always answers with
// some font, so only a real family match counts as installed; "Arial", "Times New
// Roman" and "Courier New" resolve to their metric-compatible Liberation fonts and keep
// their own names. Text is measured the way the metafiles' readers on Windows measure
// it: unhinted advances in design units, scaled, no kerning; ascent and descent from the
// OS/2 table's usWinAscent and usWinDescent.
//
// Font files are opened once per process (faces are cached per file, sized fonts per
// face, height, weight and italic), so a large sheet never re-opens a file.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace velmoro::platform {

struct TFontLibrary;  // FreeType, shared by every face

// One font file.
class TFontFace {
 public:
  TFontFace(std::shared_ptr<TFontLibrary> library, const std::string& path, int index);
  ~TFontFace();
  TFontFace(const TFontFace&) = delete;
  TFontFace& operator=(const TFontFace&) = delete;

  const std::string& path() const { return path_; }
  int faceIndex() const { return index_; }  // within a font collection file
  const std::u16string& fileFamily() const { return family_; }  // as the file names itself
  int unitsPerEm() const { return unitsPerEm_; }
  int winAscent() const { return winAscent_; }    // design units
  int winDescent() const { return winDescent_; }  // design units, positive
  int avgCharWidth() const { return avgCharWidth_; }
  // Outline metrics, design units: typographic ascender and descender (descender
  // negative), capital height, the font box (xMin, yMin, xMax, yMax) and the italic
  // angle in degrees (negative leans right).
  int typoAscender() const { return typoAscender_; }
  int typoDescender() const { return typoDescender_; }
  int capHeight() const { return capHeight_; }
  const std::array<int, 4>& box() const { return box_; }
  double italicAngle() const { return italicAngle_; }
  bool fixedPitch() const { return fixedPitch_; }
  bool bold() const { return bold_; }
  bool italic() const { return italic_; }

  uint32_t glyphIndex(char32_t c) const;  // 0 when the font has no glyph for c
  int advance(char32_t c) const;          // design units, unhinted
  // A raw table by tag ("cmap", "name", "head", "hhea", "hmtx", "OS/2", "post");
  // empty when the font has none.
  std::vector<uint8_t> table(std::string_view tag) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
  std::string path_;
  int index_ = 0;
  std::u16string family_;
  int unitsPerEm_ = 2048, winAscent_ = 0, winDescent_ = 0, avgCharWidth_ = 0;
  int typoAscender_ = 0, typoDescender_ = 0, capHeight_ = 0;
  std::array<int, 4> box_{};
  double italicAngle_ = 0;
  bool fixedPitch_ = false, bold_ = false, italic_ = false;
};

// Text metrics in pixels, the values a Windows TEXTMETRIC has.
struct TFontMetrics {
  int32_t height = 0;           // cell height: ascent + descent
  int32_t ascent = 0, descent = 0;
  int32_t internalLeading = 0;  // cell height less the character (em) height
  int32_t avgCharWidth = 0;
  double emPixels = 0;          // the em in pixels, unrounded
};

// A face at one size and style, as drawn and measured.
class TFont {
 public:
  TFont(std::u16string family, std::shared_ptr<const TFontFace> face, int32_t height, int32_t weight,
        bool italic);

  // The family as the system sees it: "Arial" for its Liberation stand-in, "Arial"
  // after a fallback, else the installed spelling.
  const std::u16string& family() const { return family_; }
  const TFontFace& face() const { return *face_; }
  const TFontMetrics& metrics() const { return metrics_; }
  int32_t weight() const { return weight_; }
  bool italic() const { return italic_; }

  int32_t textWidth(std::u16string_view text) const;
  // One advance per UTF-16 unit, rounded cumulatively so that they add up to textWidth
  // (the low surrogate of a pair gets 0).
  std::vector<int32_t> advances(std::u16string_view text) const;

 private:
  std::u16string family_;
  std::shared_ptr<const TFontFace> face_;
  int32_t weight_;
  bool italic_;
  TFontMetrics metrics_;
};

// A logical font height: negative is the character height, positive the cell height,
// 0 the default of 12 points at the screen resolution.
double emPixelsFor(const TFontFace& face, int32_t height);

namespace fonts {

// The installed TrueType families, sorted, with the Windows names that resolve to an
// installed Liberation font added.
std::vector<std::u16string> installedFamilies();
bool isInstalled(std::u16string_view family);
// The face of an installed family in the nearest style; null when not installed.
std::shared_ptr<const TFontFace> findFace(std::u16string_view family, bool bold, bool italic);
// The font to draw with: the family, else "Arial", else whatever font is there. Raises
// velmoro::Error only when no font at all is installed.
std::shared_ptr<const TFont> findFont(std::u16string_view family, int32_t height, int32_t weight, bool italic);
// How many font files were opened so far (each is opened once).
int openedFileCount();

}  // namespace fonts

}  // namespace velmoro::platform
