#include "pdf/pdf_fonts.h"

#include "common/text_file.h"
#include "common/unicode.h"
#include "pdf/pdf_errors.h"

#include <hb-subset.h>
#include <hb.h>

#include <cmath>

namespace velmoro::pdf {

namespace {

constexpr char16_t kWinAnsi80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t unicodeOfCode(uint8_t code) { return code >= 0x80 && code < 0xA0 ? kWinAnsi80[code - 0x80] : code; }

// Big-endian reads of font tables; out of range reads give 0 and clear ok.
struct Table {
  std::vector<uint8_t> bytes;
  bool ok = true;
  uint16_t u16(size_t at) {
    if (at + 2 > bytes.size()) {
      ok = false;
      return 0;
    }
    return static_cast<uint16_t>(bytes[at] << 8 | bytes[at + 1]);
  }
  int16_t i16(size_t at) { return static_cast<int16_t>(u16(at)); }
  uint32_t u32(size_t at) { return static_cast<uint32_t>(u16(at)) << 16 | u16(at + 2); }
};

int per1000(int designUnits, int unitsPerEm) {
  return unitsPerEm > 0 ? static_cast<int>(std::lround(designUnits * 1000.0 / unitsPerEm)) : 0;
}

std::string decimal(int64_t v) { return std::to_string(v); }

std::string hex4(uint16_t v) {
  static const char* digits = "0123456789ABCDEF";
  return {digits[v >> 12], digits[(v >> 8) & 15], digits[(v >> 4) & 15], digits[v & 15]};
}

// The PostScript name (name ID 6) of the Windows-platform record, in Windows-1252.
std::string postScriptName(const platform::TFontFace& face) {
  Table name{face.table("name")};
  uint16_t count = name.u16(2), storage = name.u16(4);
  for (uint16_t i = 0; i < count && name.ok; ++i) {
    size_t rec = 6 + 12u * i;
    if (name.u16(rec) != 3 || name.u16(rec + 2) != 1 || name.u16(rec + 6) != 6) continue;
    uint16_t length = name.u16(rec + 8), offset = name.u16(rec + 10);
    std::string out;
    for (size_t k = 0; k + 1 < length; k += 2) {
      char16_t c = name.u16(size_t(storage) + offset + k);
      uint8_t code;
      out.push_back(winAnsiCode(c, code) && c != 0 ? static_cast<char>(code) : ' ');
    }
    return name.ok ? out : std::string();
  }
  return {};
}

// The subset tag of an embedded font: six capitals, the same for the same glyphs.
std::string subsetTag(const std::map<char16_t, TPdfFontTrueType::Glyph>& glyphs, const std::string& name) {
  uint32_t h = 2166136261u;
  for (char c : name) h = (h ^ static_cast<uint8_t>(c)) * 16777619u;
  for (const auto& [c, g] : glyphs) h = (h ^ g.glyph) * 16777619u;
  std::string tag;
  for (int i = 0; i < 6; ++i, h /= 26) tag.push_back(static_cast<char>('A' + h % 26));
  return tag;
}

// The font file reduced to the given glyphs, glyph indexes kept; empty on failure.
std::string subsetFontFile(const platform::TFontFace& face, int faceIndex,
                           const std::map<char16_t, TPdfFontTrueType::Glyph>& glyphs) {
  hb_blob_t* blob = hb_blob_create_from_file_or_fail(face.path().c_str());
  if (!blob) return {};
  hb_face_t* hbFace = hb_face_create(blob, static_cast<unsigned>(faceIndex));
  hb_blob_destroy(blob);
  std::string out;
  if (hb_subset_input_t* input = hb_subset_input_create_or_fail()) {
    hb_set_t* set = hb_subset_input_glyph_set(input);
    hb_set_add(set, 0);
    for (const auto& [c, g] : glyphs) hb_set_add(set, g.glyph);
    hb_subset_input_set_flags(input, HB_SUBSET_FLAGS_RETAIN_GIDS);
    if (hb_face_t* subset = hb_subset_or_fail(hbFace, input)) {
      hb_blob_t* data = hb_face_reference_blob(subset);
      unsigned length = 0;
      const char* bytes = hb_blob_get_data(data, &length);
      if (bytes && length) out.assign(bytes, length);
      hb_blob_destroy(data);
      hb_face_destroy(subset);
    }
    hb_subset_input_destroy(input);
  }
  hb_face_destroy(hbFace);
  return out;
}

}  // namespace

bool winAnsiCode(char16_t c, uint8_t& code) {
  if (c < 0x80 || c >= 0xA0) {
    if (c <= 0xFF) {
      code = static_cast<uint8_t>(c);
      return true;
    }
  } else if (c == 0x81 || c == 0x8D || c == 0x8F || c == 0x90 || c == 0x9D) {
    code = static_cast<uint8_t>(c);
    return true;
  } else {
    return false;  // C1 controls that Windows-1252 uses for other characters
  }
  for (int i = 0; i < 32; ++i)
    if (kWinAnsi80[i] == c) {
      code = static_cast<uint8_t>(0x80 + i);
      return true;
    }
  return false;
}

std::vector<std::string> installedTrueTypeNames() {
  std::vector<std::string> names;
  for (const auto& family : platform::fonts::installedFamilies()) {
    if (!family.empty() && family[0] == u'@') continue;
    std::string utf8 = text::toUtf8(family);
    if (std::find(names.begin(), names.end(), utf8) == names.end()) names.push_back(utf8);
  }
  return names;
}

TPdfFontTrueType::TPdfFontTrueType(TPdfDocument& doc, int fontIndex, uint8_t style, int charSet)
    : doc_(doc), fontIndex_(fontIndex), style_(style), charSet_(charSet) {
  winAnsi_ = this;
  const std::string& family = doc.TrueTypeFontNames().at(static_cast<size_t>(fontIndex - 1));
  face_ = platform::fonts::findFace(text::fromUtf8(family), style & kStyleBold, style & kStyleItalic);
  if (!face_) throw EPdfInvalidValue("SetFont " + family);

  bool ascii = true;
  for (unsigned char c : family) {
    if (c > 126) ascii = false;
    if (c > 32 && c <= 126) name_.push_back(static_cast<char>(c));
  }
  if ((style & kStyleBold) && (style & kStyleItalic))
    name_ += ",BoldItalic";
  else if (style & kStyleItalic)
    name_ += ",Italic";
  else if (style & kStyleBold)
    name_ += ",Bold";
  if (!ascii)
    if (std::string ps = postScriptName(*face_); !ps.empty()) name_ = ps;

  const int upem = face_->unitsPerEm();
  for (int code = 32; code < 256; ++code)
    widths_[code - 32] = static_cast<uint16_t>(per1000(face_->advance(unicodeOfCode(static_cast<uint8_t>(code))), upem));
  defaultWidth_ = widths_[0];
  fixedPitch_ = face_->fixedPitch();
  if (fixedPitch_) widths_.fill(static_cast<uint16_t>(defaultWidth_));

  Table os2{face_->table("OS/2")}, head{face_->table("head")}, post{face_->table("post")};
  ascent_ = per1000(os2.i16(68), upem);
  descent_ = per1000(os2.i16(70), upem);
  const int italicAngle = static_cast<int32_t>(post.u32(4)) / 65536;

  shortName_ = "F" + decimal(static_cast<int64_t>(doc.Fonts().size()));
  dictionary_ = &doc.Xref().AddObject(std::make_unique<TPdfDictionary>());
  descriptor_ = &doc.Xref().AddObject(std::make_unique<TPdfDictionary>());
  dictionary_->AddItem("Type", Name("Font"));
  dictionary_->AddItem("BaseFont", Name(name_));
  dictionary_->AddItem("Subtype", Name("TrueType"));
  dictionary_->AddItem("Encoding", Name("WinAnsiEncoding"));
  dictionary_->AddReference("FontDescriptor", *descriptor_);
  dictionary_->AddItem("Name", Name(shortName_));

  descriptor_->AddItem("Type", Name("FontDescriptor"));
  descriptor_->AddItem("FontName", Name(name_));
  descriptor_->AddItem("Ascent", Number(ascent_));
  descriptor_->AddItem("CapHeight", Number(666));
  descriptor_->AddItem("Descent", Number(descent_));
  descriptor_->AddItem("ItalicAngle", Number(italicAngle));
  descriptor_->AddItem("StemV", Number(87));
  descriptor_->AddItem("Flags", Number(32));
  auto box = std::make_unique<TPdfArray>();
  for (size_t at : {36, 38, 40, 42}) box->AddItem(Number(per1000(head.i16(at), upem)));
  descriptor_->AddItem("FontBBox", std::move(box));
}

TPdfFontTrueType::TPdfFontTrueType(TPdfFontTrueType& winAnsi)
    : doc_(winAnsi.doc_),
      name_(winAnsi.name_),
      fontIndex_(winAnsi.fontIndex_),
      unicode_(true),
      style_(winAnsi.style_),
      charSet_(winAnsi.charSet_),
      defaultWidth_(winAnsi.defaultWidth_),
      ascent_(winAnsi.ascent_),
      descent_(winAnsi.descent_),
      fixedPitch_(winAnsi.fixedPitch_),
      widths_(winAnsi.widths_),
      face_(winAnsi.face_),
      descriptor_(winAnsi.descriptor_),
      winAnsi_(&winAnsi) {
  companion_ = this;
  shortName_ = "F" + decimal(static_cast<int64_t>(doc_.Fonts().size()));
  dictionary_ = &doc_.Xref().AddObject(std::make_unique<TPdfDictionary>());
  dictionary_->AddItem("Type", Name("Font"));
  dictionary_->AddItem("BaseFont", Name(name_));
  dictionary_->AddItem("Subtype", Name("Type0"));
  dictionary_->AddItem("Encoding", Name("Identity-H"));
  dictionary_->AddItem("Name", Name(shortName_));
}

TPdfFontTrueType& TPdfFontTrueType::Companion() {
  if (unicode_) return *this;
  if (!companion_) {
    auto font = std::make_unique<TPdfFontTrueType>(*this);
    companion_ = font.get();
    doc_.Fonts().push_back(std::move(font));
  }
  return *companion_;
}

void TPdfFontTrueType::loadCharacterMap() {
  if (characterMapLoaded_) return;
  characterMapLoaded_ = true;
  Table cmap{face_->table("cmap")};
  size_t sub = 0;
  uint16_t tables = cmap.u16(2);
  for (uint16_t i = 0; i < tables && cmap.ok; ++i) {
    uint16_t platform = cmap.u16(4 + 8u * i), encoding = cmap.u16(6 + 8u * i);
    uint32_t offset = cmap.u32(8 + 8u * i);
    if (platform == 3 && encoding == 1) {
      sub = offset;
      break;
    }
    if (platform == 3 && encoding == 0) sub = offset;  // the last such table
  }
  if (!sub || !cmap.ok || cmap.u16(sub) != 4) return;
  const uint16_t segments = cmap.u16(sub + 6) / 2;
  const size_t ends = sub + 14, starts = ends + 2u * segments + 2, deltas = starts + 2u * segments,
               rangeOffsets = deltas + 2u * segments;
  // hmtx widths per glyph, as 1/1000 em.
  Table hmtx{face_->table("hmtx")}, hhea{face_->table("hhea")};
  const uint16_t metrics = hhea.u16(34);
  const int upem = face_->unitsPerEm();
  auto widthOf = [&](uint16_t glyph) -> uint16_t {
    if (metrics == 0) return 0;
    uint16_t entry = fixedPitch_ ? 0 : std::min<uint16_t>(glyph, metrics - 1);
    return static_cast<uint16_t>(per1000(hmtx.u16(4u * entry), upem));
  };
  for (uint16_t s = 0; s < segments && cmap.ok; ++s) {
    uint16_t end = cmap.u16(ends + 2u * s), start = cmap.u16(starts + 2u * s);
    uint16_t delta = cmap.u16(deltas + 2u * s), rangeOffset = cmap.u16(rangeOffsets + 2u * s);
    if (start > end) continue;
    for (uint32_t c = start; c <= end && cmap.ok; ++c) {
      uint16_t glyph;
      if (rangeOffset == 0) {
        glyph = static_cast<uint16_t>(c + delta);
      } else {
        glyph = cmap.u16(rangeOffsets + 2u * s + rangeOffset + 2u * (c - start));
        if (glyph != 0) glyph = static_cast<uint16_t>(glyph + delta);
      }
      if (c == 0xFFFF && glyph == 0) continue;
      characterMap_[static_cast<char16_t>(c)] = {glyph ? widthOf(glyph) : uint16_t(0), glyph};
    }
  }
}

const TPdfFontTrueType::Glyph& TPdfFontTrueType::UseCodePoint(char16_t c) {
  TPdfFontTrueType& ansi = *winAnsi_;
  auto it = ansi.usedGlyphs_.find(c);
  if (it != ansi.usedGlyphs_.end()) return it->second;
  TPdfFontTrueType& uni = ansi.Companion();
  uni.loadCharacterMap();
  auto m = uni.characterMap_.find(c);
  return ansi.usedGlyphs_[c] = m == uni.characterMap_.end() ? Glyph{} : m->second;
}

bool TPdfFontTrueType::CodePointOfGlyph(uint16_t g, char16_t& c) {
  TPdfFontTrueType& uni = winAnsi_->Companion();
  uni.loadCharacterMap();
  for (const auto& [code, glyph] : uni.characterMap_)
    if (glyph.glyph == g) {
      c = code;
      return true;
    }
  return false;
}

void TPdfFontTrueType::Complete() {
  if (unicode_)
    completeUnicode();
  else
    completeWinAnsi();
}

void TPdfFontTrueType::completeWinAnsi() {
  int first = -1, last = -1;
  for (int code = 32; code < 256; ++code)
    if (used_[code]) {
      if (first < 0) first = code;
      last = code;
    }
  if (first < 0) return;
  dictionary_->AddItem("FirstChar", Number(first));
  dictionary_->AddItem("LastChar", Number(last));
  std::string widths = "[";
  for (int code = first; code <= last; ++code) widths += used_[code] ? decimal(widths_[code - 32]) + " " : "0 ";
  widths += "]";
  dictionary_->AddItem("Widths", std::make_unique<TPdfRawText>(widths));
}

void TPdfFontTrueType::completeUnicode() {
  const auto& used = winAnsi_->usedGlyphs_;
  // The glyph indexes address this very font file: embed the glyphs used.
  TPdfDictionary* descriptor = descriptor_;
  std::string baseName = name_;
  std::string file = subsetFontFile(*face_, face_->faceIndex(), used);
  if (!file.empty()) {
    baseName = subsetTag(used, name_) + "+" + name_;
    descriptor = &doc_.Xref().AddObject(std::make_unique<TPdfDictionary>());
    for (const std::string& key : descriptor_->Keys()) {
      if (key == "FontName") {
        descriptor->AddItem(key, Name(baseName));
      } else if (auto* n = descriptor_->As<TPdfNumber>(key)) {
        descriptor->AddItem(key, Number(n->Value));
      } else if (auto* nm = descriptor_->As<TPdfName>(key)) {
        descriptor->AddItem(key, Name(nm->Value));
      } else if (auto* a = descriptor_->As<TPdfArray>(key)) {
        auto copy = std::make_unique<TPdfArray>();
        for (size_t i = 0; i < a->ItemCount(); ++i) copy->AddItem(Number(dynamic_cast<TPdfNumber*>(a->Item(i))->Value));
        descriptor->AddItem(key, std::move(copy));
      }
    }
    TPdfStream& fontFile = doc_.NewStream();
    fontFile.Content() = file;
    fontFile.Attributes().AddItem("Length1", Number(static_cast<int32_t>(file.size())));
    descriptor->AddReference("FontFile2", fontFile);
    dictionary_->ReplaceItem("BaseFont", Name(baseName));
  }

  TPdfDictionary& descendant = doc_.Xref().AddObject(std::make_unique<TPdfDictionary>());
  descendant.AddItem("Type", Name("Font"));
  descendant.AddItem("Subtype", Name("CIDFontType2"));
  descendant.AddItem("BaseFont", Name(baseName));
  descendant.AddItem("CIDSystemInfo",
                     std::make_unique<TPdfRawText>("<<\n/Ordering(Identity)/Registry(Adobe)/Supplement 0\n>>"));
  descendant.AddItem("DW", Number(defaultWidth_));
  if (!fixedPitch_) {
    std::string w = "[";
    for (const auto& [c, g] : used)
      if (g.width || g.glyph) w += decimal(g.glyph) + "[" + decimal(g.width) + "]";
    w += "]";
    descendant.AddItem("W", std::make_unique<TPdfRawText>(w));
  }
  descendant.AddReference("FontDescriptor", *descriptor);
  auto descendants = std::make_unique<TPdfArray>();
  descendants->AddReference(descendant);
  dictionary_->AddItem("DescendantFonts", std::move(descendants));

  TPdfStream& map = doc_.NewStream();
  std::string& s = map.Content();
  s = "/CIDInit /ProcSet findresource begin\n12 dict begin\nbegincmap\n/CIDSystemInfo\n<<\n/Registry (" + shortName_ +
      "+0)\n/Ordering (UCS)\n/Supplement 0\n>> def\n/CMapName /" + shortName_ +
      "+0 def\n/CMapType 2 def\n1 begincodespacerange\n<0000> <FFFF>\nendcodespacerange\n";
  std::vector<std::pair<char16_t, Glyph>> entries(used.begin(), used.end());
  for (size_t start = 0; start < entries.size(); start += 99) {
    size_t end = std::min(entries.size(), start + 99);
    size_t count = 0;
    for (size_t i = start; i < end; ++i)
      if (entries[i].second.width || entries[i].second.glyph) ++count;
    s += decimal(static_cast<int64_t>(count)) + " beginbfchar\n";
    for (size_t i = start; i < end; ++i)
      if (entries[i].second.width || entries[i].second.glyph)
        s += "<" + hex4(entries[i].second.glyph) + "> <" + hex4(entries[i].first) + ">\n";
    s += "endbfchar\n";
  }
  s += "endcmap\nCMapName currentdict /CMap defineresource pop\nend\nend";
  dictionary_->AddReference("ToUnicode", map);
}

}  // namespace velmoro::pdf
