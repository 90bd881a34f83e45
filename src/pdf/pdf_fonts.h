// PDF fonts: the installed TrueType fonts, referenced by name and described by their
// metrics and widths. Text in Windows-1252 is shown with a simple TrueType font
// (WinAnsiEncoding, not embedded); any other character with its Unicode companion, a
// Type0 font with Identity-H encoding whose glyph indexes come from the font's own
// character map, with a ToUnicode map so the text can be extracted again. Glyph
// indexes mean something only with the font that was measured, so the companion
// embeds a subset of that font file.
#pragma once

#include "pdf/pdf_document.h"
#include "platform/emf_writer.h"
#include "platform/fonts.h"

#include <array>
#include <bitset>
#include <map>
#include <memory>
#include <span>
#include <string>

namespace velmoro::pdf {

// Style bits of a PDF font.
enum : uint8_t { kStyleBold = 1, kStyleItalic = 2, kStyleUnderline = 4, kStyleStrikeOut = 8 };

class TPdfFontTrueType : public TPdfFont {
 public:
  struct Glyph {
    uint16_t width = 0, glyph = 0;  // width in 1/1000 em
  };

  // The WinAnsi-role font of a family of the document's TrueType font names.
  TPdfFontTrueType(TPdfDocument& doc, int fontIndex, uint8_t style, int charSet);
  // The Unicode companion of a WinAnsi-role font.
  explicit TPdfFontTrueType(TPdfFontTrueType& winAnsi);

  void Complete() override;

  TPdfDictionary& Dictionary() const { return *dictionary_; }
  const std::string& ShortName() const { return shortName_; }
  const std::string& BaseName() const { return name_; }
  bool IsUnicode() const { return unicode_; }
  int FontIndex() const { return fontIndex_; }
  uint8_t Style() const { return style_; }
  int CharSet() const { return charSet_; }
  int DefaultWidth() const { return defaultWidth_; }
  int Ascent() const { return ascent_; }
  int Descent() const { return descent_; }

  // WinAnsi role.
  int WinAnsiWidth(uint8_t code) const { return code < 32 ? defaultWidth_ : widths_[code - 32]; }
  void MarkUsed(uint8_t code) { used_.set(code); }
  TPdfFontTrueType& WinAnsiFont() const { return *winAnsi_; }
  // The companion, created on first need.
  TPdfFontTrueType& Companion();
  // Adds a code point to the used glyphs (with its width and glyph in the companion).
  const Glyph& UseCodePoint(char16_t c);
  // The code point whose glyph is g in the companion's character map, if any.
  bool CodePointOfGlyph(uint16_t g, char16_t& c);

 private:
  void loadCharacterMap();
  void completeWinAnsi();
  void completeUnicode();

  TPdfDocument& doc_;
  TPdfDictionary* dictionary_ = nullptr;
  std::string name_, shortName_;
  int fontIndex_ = 0;
  bool unicode_ = false;
  uint8_t style_ = 0;
  int charSet_ = 0;
  int defaultWidth_ = 0, ascent_ = 0, descent_ = 0;
  bool fixedPitch_ = false;
  std::bitset<256> used_;
  std::array<uint16_t, 224> widths_{};
  std::shared_ptr<const platform::TFontFace> face_;
  TPdfDictionary* descriptor_ = nullptr;
  TPdfFontTrueType* companion_ = nullptr;
  TPdfFontTrueType* winAnsi_ = nullptr;
  std::map<char16_t, Glyph> usedGlyphs_;      // WinAnsi role
  std::map<char16_t, Glyph> characterMap_;    // Unicode role
  bool characterMapLoaded_ = false;
};

// The Windows-1252 code of a character; false when it has none.
bool winAnsiCode(char16_t c, uint8_t& code);

// The document's TrueType font names: the installed families, in UTF-8.
std::vector<std::string> installedTrueTypeNames();

}  // namespace velmoro::pdf
