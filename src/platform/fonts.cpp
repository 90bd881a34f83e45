#include "platform/fonts.h"

#include "common/error.h"
#include "common/unicode.h"
#include "platform/screen.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace velmoro::platform {

struct TFontLibrary {
  FT_Library ft = nullptr;
  TFontLibrary() {
    if (FT_Init_FreeType(&ft) != 0) throw Error(u"Cannot start the font library!");
  }
  ~TFontLibrary() { FT_Done_FreeType(ft); }
  TFontLibrary(const TFontLibrary&) = delete;
  TFontLibrary& operator=(const TFontLibrary&) = delete;
};

struct TFontFace::Impl {
  std::shared_ptr<TFontLibrary> library;  // outlives the face
  FT_Face face = nullptr;
  mutable std::mutex mutex;               // a FreeType face serves one caller at a time
  mutable std::vector<int32_t> bmpAdvances;  // -1 until measured
  ~Impl() {
    if (face) FT_Done_Face(face);
  }
};

TFontFace::TFontFace(std::shared_ptr<TFontLibrary> library, const std::string& path, int index)
    : impl_(std::make_unique<Impl>()), path_(path), index_(index) {
  impl_->library = std::move(library);
  if (FT_New_Face(impl_->library->ft, path.c_str(), index, &impl_->face) != 0 || !FT_IS_SFNT(impl_->face))
    throw Error(u"Cannot open font file \"" + text::fromUtf8(path) + u"\"!");
  FT_Face f = impl_->face;
  FT_Select_Charmap(f, FT_ENCODING_UNICODE);
  family_ = text::fromUtf8(f->family_name ? f->family_name : "");
  unitsPerEm_ = f->units_per_EM > 0 ? f->units_per_EM : 2048;
  fixedPitch_ = FT_IS_FIXED_WIDTH(f);
  bold_ = (f->style_flags & FT_STYLE_FLAG_BOLD) != 0;
  italic_ = (f->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  typoAscender_ = f->ascender;
  typoDescender_ = f->descender;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(f, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
    winAscent_ = os2->usWinAscent;
    winDescent_ = os2->usWinDescent;
    avgCharWidth_ = os2->xAvgCharWidth;
    typoAscender_ = os2->sTypoAscender;
    typoDescender_ = os2->sTypoDescender;
    if (os2->version >= 2) capHeight_ = os2->sCapHeight;
  } else {
    winAscent_ = f->ascender;
    winDescent_ = -f->descender;
  }
  box_ = {static_cast<int>(f->bbox.xMin), static_cast<int>(f->bbox.yMin), static_cast<int>(f->bbox.xMax),
          static_cast<int>(f->bbox.yMax)};
  if (auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(f, FT_SFNT_POST)))
    italicAngle_ = static_cast<double>(post->italicAngle) / 65536.0;
  if (winAscent_ + winDescent_ <= 0) winAscent_ = unitsPerEm_, winDescent_ = 0;
  impl_->bmpAdvances.assign(0x10000, -1);
}

TFontFace::~TFontFace() = default;

uint32_t TFontFace::glyphIndex(char32_t c) const {
  std::lock_guard lock(impl_->mutex);
  return FT_Get_Char_Index(impl_->face, c);
}

int TFontFace::advance(char32_t c) const {
  std::lock_guard lock(impl_->mutex);
  if (c < 0x10000 && impl_->bmpAdvances[c] >= 0) return impl_->bmpAdvances[c];
  FT_Fixed adv = 0;
  FT_UInt glyph = FT_Get_Char_Index(impl_->face, c);
  if (FT_Get_Advance(impl_->face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING, &adv) != 0) adv = 0;
  const auto a = static_cast<int32_t>(adv);
  if (c < 0x10000) impl_->bmpAdvances[c] = a;
  return a;
}

std::vector<uint8_t> TFontFace::table(std::string_view tag) const {
  if (tag.size() != 4) return {};
  const FT_ULong t = FT_MAKE_TAG(tag[0], tag[1], tag[2], tag[3]);
  std::lock_guard lock(impl_->mutex);
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(impl_->face, t, 0, nullptr, &length) != 0 || length == 0) return {};
  std::vector<uint8_t> bytes(length);
  if (FT_Load_Sfnt_Table(impl_->face, t, 0, bytes.data(), &length) != 0) return {};
  return bytes;
}

double emPixelsFor(const TFontFace& face, int32_t height) {
  if (height < 0) return -static_cast<double>(height);
  if (height > 0) return static_cast<double>(height) * face.unitsPerEm() / (face.winAscent() + face.winDescent());
  return 12.0 * screenDpi() / 72;
}

TFont::TFont(std::u16string family, std::shared_ptr<const TFontFace> face, int32_t height, int32_t weight,
             bool italic)
    : family_(std::move(family)), face_(std::move(face)), weight_(weight), italic_(italic) {
  const TFontFace& f = *face_;
  const double em = emPixelsFor(f, height), scale = em / f.unitsPerEm();
  metrics_.emPixels = em;
  metrics_.height = height > 0 ? height : static_cast<int32_t>(std::lround((f.winAscent() + f.winDescent()) * scale));
  metrics_.ascent = static_cast<int32_t>(std::lround(f.winAscent() * scale));
  metrics_.descent = metrics_.height - metrics_.ascent;
  metrics_.internalLeading = metrics_.height - static_cast<int32_t>(std::lround(em));
  metrics_.avgCharWidth = static_cast<int32_t>(std::lround(f.avgCharWidth() * scale));
}

namespace {

// Code points of a UTF-16 text with the index of their first unit.
template <typename F>
void forEachCodePoint(std::u16string_view s, F&& f) {
  for (size_t i = 0; i < s.size(); ++i) {
    char32_t c = s[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
      f(i, 0x10000 + ((c - 0xD800) << 10) + (s[i + 1] - 0xDC00), true);
      ++i;
    } else {
      f(i, c, false);
    }
  }
}

}  // namespace

int32_t TFont::textWidth(std::u16string_view text) const {
  int64_t units = 0;
  forEachCodePoint(text, [&](size_t, char32_t c, bool) { units += face_->advance(c); });
  return static_cast<int32_t>(std::llround(static_cast<double>(units) * metrics_.emPixels / face_->unitsPerEm()));
}

std::vector<int32_t> TFont::advances(std::u16string_view text) const {
  std::vector<int32_t> dx(text.size(), 0);
  int64_t units = 0, placed = 0;
  const double scale = metrics_.emPixels / face_->unitsPerEm();
  forEachCodePoint(text, [&](size_t i, char32_t c, bool) {
    units += face_->advance(c);
    const int64_t end = std::llround(static_cast<double>(units) * scale);
    dx[i] = static_cast<int32_t>(end - placed);
    placed = end;
  });
  return dx;
}

namespace fonts {

namespace {

// Windows family names and the installed fonts with the same metrics.
constexpr std::pair<std::u16string_view, std::u16string_view> kAliases[] = {
    {u"Arial", u"Liberation Sans"},
    {u"Times New Roman", u"Liberation Serif"},
    {u"Courier New", u"Liberation Mono"},
};

std::u16string_view aliasTarget(std::u16string_view family) {
  for (const auto& [windows, liberation] : kAliases)
    if (text::equalsIgnoreCase(windows, family)) return liberation;
  return family;
}

// The name the system sees for a resolved family: a Windows alias in its own spelling,
// else the family as the font file spells it.
std::u16string seenName(std::u16string_view family, const TFontFace& face) {
  for (const auto& [windows, liberation] : kAliases)
    if (text::equalsIgnoreCase(windows, family)) return std::u16string(windows);
  return face.fileFamily();
}

struct FcPatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using Pattern = std::unique_ptr<FcPattern, FcPatternDeleter>;
struct FcConfigDeleter {
  void operator()(FcConfig* c) const { FcConfigDestroy(c); }
};

class Service {
 public:
  static Service& get() {
    static Service service;
    return service;
  }

  ~Service() {
    fonts_.clear();
    faces_.clear();
    files_.clear();
  }

  std::vector<std::u16string> families() {
    std::lock_guard lock(mutex_);
    loadFamilies();
    return families_;
  }

  std::shared_ptr<const TFontFace> face(std::u16string_view family, bool bold, bool italic) {
    std::lock_guard lock(mutex_);
    return faceLocked(family, bold, italic);
  }

  std::shared_ptr<const TFont> font(std::u16string_view family, int32_t height, int32_t weight, bool italic) {
    std::lock_guard lock(mutex_);
    auto key = std::make_tuple(text::toLower(family), height, weight, italic);
    if (auto it = fonts_.find(key); it != fonts_.end()) return it->second;
    const bool bold = weight >= 600;
    std::u16string name;
    std::shared_ptr<const TFontFace> f = faceLocked(family, bold, italic);
    if (f) {
      name = seenName(family, *f);
    } else if ((f = faceLocked(u"Arial", bold, italic))) {
      name = u"Arial";
    } else if ((f = anyFace())) {
      name = f->fileFamily();
    } else {
      throw Error(u"No font is installed!");
    }
    auto made = std::make_shared<const TFont>(std::move(name), std::move(f), height, weight, italic);
    fonts_.emplace(std::move(key), made);
    return made;
  }

  int opened() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(files_.size());
  }

 private:
  Service() : library_(std::make_shared<TFontLibrary>()) {
    // FONTCONFIG_FILE, when set, names the configuration (the tests fix theirs so).
    config_.reset(FcInitLoadConfigAndFonts());
  }

  void loadFamilies() {
    if (familiesLoaded_ || !config_) return;
    familiesLoaded_ = true;
    Pattern pattern(FcPatternCreate());
    FcPatternAddString(pattern.get(), FC_FONTFORMAT, reinterpret_cast<const FcChar8*>("TrueType"));
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, nullptr);
    FcFontSet* set = FcFontList(config_.get(), pattern.get(), objects);
    FcObjectSetDestroy(objects);
    std::vector<std::u16string> names;
    for (int i = 0; set && i < set->nfont; ++i) {
      FcChar8* name = nullptr;
      // The first family is the file's own name; later ones are translations.
      if (FcPatternGetString(set->fonts[i], FC_FAMILY, 0, &name) == FcResultMatch)
        names.push_back(text::fromUtf8(reinterpret_cast<const char*>(name)));
    }
    if (set) FcFontSetDestroy(set);
    for (const auto& alias : kAliases)
      if (std::any_of(names.begin(), names.end(), [&](const auto& n) { return text::equalsIgnoreCase(n, alias.second); }))
        names.emplace_back(alias.first);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    families_ = std::move(names);
  }

  // The best file for a family; a match whose family differs is no match.
  std::shared_ptr<const TFontFace> faceLocked(std::u16string_view family, bool bold, bool italic) {
    auto key = std::make_tuple(text::toLower(family), bold, italic);
    if (auto it = faces_.find(key); it != faces_.end()) return it->second;
    std::shared_ptr<const TFontFace> found;
    const std::u16string target(aliasTarget(family));
    if (config_ && !text::trim(target).empty()) {
      Pattern pattern = query(text::toUtf8(target), bold, italic);
      FcResult result = FcResultNoMatch;
      Pattern match(FcFontMatch(config_.get(), pattern.get(), &result));
      if (match && familyMatches(match.get(), target)) found = open(match.get());
    }
    faces_.emplace(std::move(key), found);
    return found;
  }

  // Whatever fontconfig offers for a sans-serif face: the last resort.
  std::shared_ptr<const TFontFace> anyFace() {
    if (!config_) return nullptr;
    Pattern pattern = query("sans-serif", false, false);
    FcResult result = FcResultNoMatch;
    Pattern match(FcFontMatch(config_.get(), pattern.get(), &result));
    if (!match) return nullptr;
    return open(match.get());
  }

  Pattern query(const std::string& family, bool bold, bool italic) {
    Pattern p(FcPatternCreate());
    FcPatternAddString(p.get(), FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcPatternAddInteger(p.get(), FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(p.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcConfigSubstitute(config_.get(), p.get(), FcMatchPattern);
    FcDefaultSubstitute(p.get());
    return p;
  }

  static bool familyMatches(FcPattern* match, std::u16string_view family) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(match, FC_FAMILY, i, &name) == FcResultMatch; ++i)
      if (text::equalsIgnoreCase(text::fromUtf8(reinterpret_cast<const char*>(name)), family)) return true;
    return false;
  }

  std::shared_ptr<const TFontFace> open(FcPattern* match) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(match, FC_FILE, 0, &file) != FcResultMatch) return nullptr;
    FcPatternGetInteger(match, FC_INDEX, 0, &index);
    auto key = std::make_pair(std::string(reinterpret_cast<const char*>(file)), index);
    if (auto it = files_.find(key); it != files_.end()) return it->second;
    std::shared_ptr<const TFontFace> f;
    try {
      f = std::make_shared<const TFontFace>(library_, key.first, index);
    } catch (const Error&) {
      // A file FreeType cannot read counts as not installed.
    }
    files_.emplace(std::move(key), f);
    return f;
  }

  std::mutex mutex_;
  std::shared_ptr<TFontLibrary> library_;
  std::unique_ptr<FcConfig, FcConfigDeleter> config_;
  bool familiesLoaded_ = false;
  std::vector<std::u16string> families_;
  std::map<std::pair<std::string, int>, std::shared_ptr<const TFontFace>> files_;
  std::map<std::tuple<std::u16string, bool, bool>, std::shared_ptr<const TFontFace>> faces_;
  std::map<std::tuple<std::u16string, int32_t, int32_t, bool>, std::shared_ptr<const TFont>> fonts_;
};

}  // namespace

std::vector<std::u16string> installedFamilies() { return Service::get().families(); }

bool isInstalled(std::u16string_view family) {
  return Service::get().face(family, false, false) != nullptr;
}

std::shared_ptr<const TFontFace> findFace(std::u16string_view family, bool bold, bool italic) {
  return Service::get().face(family, bold, italic);
}

std::shared_ptr<const TFont> findFont(std::u16string_view family, int32_t height, int32_t weight, bool italic) {
  return Service::get().font(family, height, weight, italic);
}

int openedFileCount() { return Service::get().opened(); }

}  // namespace fonts

}  // namespace velmoro::platform
