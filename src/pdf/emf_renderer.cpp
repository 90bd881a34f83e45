#include "pdf/emf_renderer.h"

#include "common/error.h"
#include "common/unicode.h"
#include "pdf/dib.h"
#include "pdf/pdf_errors.h"
#include "pdf/pdf_image.h"
#include "platform/fonts.h"
#include "platform/screen.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace velmoro::pdf {

namespace {

using emf::TEmfRecord;

constexpr double kKappa = 0.5522847771644592;
constexpr uint32_t kPenNull = 5;  // PS_NULL
constexpr uint32_t kPenStyleMask = 0x0F;  // the style bits; end caps and joins lie above

struct Slot {
  int kind = 0;  // 0 none, 1 pen, 2 brush, 6 font
  uint32_t color = 0, style = 0;
  double width = 0;
  bool null = false;
  int16_t angle = 0, ascent = 0, descent = 0, emHeight = 0;
  emf::TLogFont font;
};

struct DeviceState {
  TPoint position;
  int32_t windowExtX = 0, windowExtY = 0, viewportExtX = 0, viewportExtY = 0;
  int32_t windowOrgX = 0, windowOrgY = 0, viewportOrgX = 0, viewportOrgY = 0;
  bool penNull = false;
  uint32_t penColor = 0, penStyle = 0;
  double penWidth = 0;
  bool brushNull = true;
  uint32_t brushColor = 0, textColor = 0, textAlign = 0, bkMode = 0, bkColor = 0;
  int16_t fontAngle = 0, fontAscent = 0, fontDescent = 0, fontEmHeight = 0;
  emf::TLogFont font;
};

int64_t mulDiv(int64_t a, int64_t b, int64_t c) {
  if (c == 0) return 0;
  double v = static_cast<double>(a) * static_cast<double>(b) / static_cast<double>(c);
  return static_cast<int64_t>(std::llround(v));
}

class TPdfEnum {
 public:
  TPdfEnum(TPdfCanvas& canvas, const RenderOptions& options, int32_t w, int32_t h)
      : c_(canvas), options_(options) {
    DeviceState& s = state();
    s.windowExtX = w;
    s.windowExtY = h;
    s.viewportExtX = static_cast<int32_t>(std::lround(w * options.scale));
    s.viewportExtY = static_cast<int32_t>(std::lround(h * options.scale));
    setMapping(std::nullopt);
  }

  // False to stop the page.
  bool handle(const TEmfRecord& r);
  void finish() {
    if (linePending_) write("S\n");
    linePending_ = false;
  }

 private:
  DeviceState& state() { return stack_[index_]; }
  void write(std::string_view s) { c_.Write(s); }
  void realA(double v) { c_.WriteRealA(v); }
  double mapX(double x) const { return x * c_.ScaleX + c_.OffsetX; }
  double mapY(double y) const { return c_.OffsetY - y * c_.ScaleY; }
  void moveTo(TPoint p) { c_.MoveTo(mapX(p.x), mapY(p.y)); }
  void lineTo(TPoint p) { c_.LineTo(mapX(p.x), mapY(p.y)); }
  void curveTo(TPoint a, TPoint b, TPoint d) {
    c_.CurveTo(mapX(a.x), mapY(a.y), mapX(b.x), mapY(b.y), mapX(d.x), mapY(d.y));
  }

  void setMapping(std::optional<std::array<float, 6>> world);
  void usePen();
  void useBrush();
  void paint();
  void fillRect(TRect r);
  struct Box;
  void fillBox(const Box& b);
  Slot* slot(uint32_t handle) {
    if (handle == 0 || handle > slots_.size()) return nullptr;
    return &slots_[handle - 1];
  }
  void selectObject(uint32_t handle);
  void createFont(const TEmfRecord& r);
  void textOut(const TEmfRecord& r);
  void bitmap(const TEmfRecord& r);
  void drawBitmap(const TDibBitmap& bitmap, int32_t x, int32_t y, int32_t cx, int32_t cy);
  void comment(const TEmfRecord& r);
  struct Box {
    double x, y, w, h;
  };
  // In doubles: the corners of a foreign record can be any 32-bit values.
  Box mapBox(double left, double top, double right, double bottom) const {
    const double h = std::abs(bottom - top) * c_.ScaleY;
    return {left * c_.ScaleX + c_.OffsetX, c_.OffsetY - top * c_.ScaleY - h, std::abs(right - left) * c_.ScaleX, h};
  }
  Box mapBox(TRect r) const { return mapBox(r.left, r.top, r.right, r.bottom); }

  TPdfCanvas& c_;
  RenderOptions options_;
  int64_t lastStroke_ = -1, lastFill_ = -1, lastPenStyle_ = -1;
  double lastPenWidth_ = -1;
  bool linePending_ = false;
  std::vector<Slot> slots_;
  std::array<DeviceState, 11> stack_{};
  int index_ = 0;
};

void TPdfEnum::setMapping(std::optional<std::array<float, 6>> world) {
  const DeviceState& s = state();
  const double device = c_.DeviceScale;
  c_.ScaleX = s.windowExtX == 0 ? 1 : static_cast<double>(s.viewportExtX) / s.windowExtX * device;
  c_.ScaleY = s.windowExtY == 0 ? 1 : static_cast<double>(s.viewportExtY) / s.windowExtY * device;
  c_.OffsetX = (mulDiv(s.viewportOrgX, s.windowExtX, s.viewportExtX) - s.windowOrgX) * device;
  c_.OffsetY = (mulDiv(s.viewportOrgY, s.windowExtY, s.viewportExtY) - s.windowOrgY) * device;
  if (world) {
    const auto& m = *world;
    c_.OffsetX = c_.OffsetX * m[0] + m[4] * c_.ScaleX;
    c_.OffsetY = c_.OffsetY * m[3] + m[5] * c_.ScaleY;
    c_.ScaleX *= m[0];
    c_.ScaleY *= m[3];
  }
  c_.OffsetY = c_.YOffset + c_.PageHeight - c_.OffsetY;
  c_.OffsetX += c_.XOffset;
}

void TPdfEnum::usePen() {
  const DeviceState& s = state();
  if (s.penNull) {
    lastStroke_ = -1;
    lastPenStyle_ = -1;
    lastPenWidth_ = -1;
    return;
  }
  if (static_cast<int64_t>(s.penColor) != lastStroke_) {
    if (TPdfWrite* w = c_.Out()) w->AddColor(s.penColor).Add("RG\n");
    lastStroke_ = s.penColor;
  }
  if (static_cast<int64_t>(s.penStyle) != lastPenStyle_) {
    static const char* dashes[] = {"", "4 4 ", "1 1 ", "4 1 1 1 ", "4 1 1 1 1 1 "};
    write("[");
    write(s.penStyle >= 1 && s.penStyle <= 4 ? dashes[s.penStyle] : "");
    write("] 0 d\n");
    lastPenStyle_ = s.penStyle;
  }
  // A pen of width 0 draws one pixel.
  const double width = s.penWidth > 0 ? s.penWidth : 1;
  if (width != lastPenWidth_) {
    realA(width * c_.ScaleX);
    write("w\n");
    lastPenWidth_ = width;
  }
}

void TPdfEnum::useBrush() {
  if (linePending_) {
    write("S\n");
    linePending_ = false;
  }
  usePen();
  const DeviceState& s = state();
  if (!s.brushNull && static_cast<int64_t>(s.brushColor) != lastFill_) {
    if (TPdfWrite* w = c_.Out()) w->AddColor(s.brushColor).Add("rg\n");
    lastFill_ = s.brushColor;
  }
}

void TPdfEnum::paint() {
  const DeviceState& s = state();
  write(s.brushNull ? "S\n" : (s.penNull ? "f\n" : "B\n"));
}

void TPdfEnum::fillRect(TRect r) { fillBox(mapBox(r)); }

void TPdfEnum::fillBox(const Box& b) {
  const DeviceState& s = state();
  if (s.brushNull) return;
  write("n\n");
  if (static_cast<int64_t>(s.brushColor) != lastFill_) {
    if (TPdfWrite* w = c_.Out()) w->AddColor(s.brushColor).Add("rg\n");
    lastFill_ = s.brushColor;
  }
  c_.Rect(b.x, b.y, b.w, b.h);
  write("f\n");
}

void TPdfEnum::selectObject(uint32_t handle) {
  DeviceState& s = state();
  if (handle & 0x80000000u) {
    static const uint32_t stockBrushes[] = {0xFFFFFF, 0xAAAAAA, 0x808080, 0x666666, 0x000000};
    uint32_t stock = handle & 0x7FFFFFFF;
    if (stock <= 4) {
      s.brushColor = stockBrushes[stock];
      s.brushNull = false;
    } else if (stock == 5) {
      s.brushNull = true;
    } else if (stock == 6 || stock == 7) {
      s.penColor = stock == 6 ? 0xFFFFFF : 0x000000;
      s.penNull = false;
      s.penStyle = 0;
      s.penWidth = 1;
    } else if (stock == 8) {
      s.penNull = true;
    }
    return;
  }
  Slot* o = slot(handle);
  if (!o) return;  // outside the handle table: ignored
  switch (o->kind) {
    case 1:
      s.penNull = (o->style & kPenStyleMask) == kPenNull;
      s.penColor = o->color;
      s.penWidth = o->width;
      s.penStyle = o->style & kPenStyleMask;
      break;
    case 2:
      s.brushNull = o->null;
      s.brushColor = o->color;
      break;
    case 6:
      s.fontAngle = o->angle;
      s.fontAscent = o->ascent;
      s.fontDescent = o->descent;
      s.fontEmHeight = o->emHeight;
      s.font = o->font;
      break;
    default:
      break;  // no object, or one of a kind not rendered: the page goes on
  }
}

void TPdfEnum::createFont(const TEmfRecord& r) {
  Slot* o = slot(r.u32(8));
  if (!o) return;
  o->kind = 6;
  o->font = emf::logFont(r);
  o->angle = static_cast<int16_t>((o->font.orientation != 0 ? o->font.orientation : o->font.escapement) / 10);
  // Measured at a sane height at most: a larger one fails anyway when text is drawn.
  const int32_t height = std::clamp(o->font.height, -1000000, 1000000);
  auto font = platform::fonts::findFont(o->font.faceName, height, o->font.weight, o->font.italic != 0);
  const auto& m = font->metrics();
  o->ascent = static_cast<int16_t>(m.ascent);
  o->descent = static_cast<int16_t>(m.descent);
  o->emHeight = static_cast<int16_t>(m.height - m.internalLeading);
}

void TPdfEnum::textOut(const TEmfRecord& r) {
  const emf::TExtTextOut t = emf::extTextOut(r);
  DeviceState& s = state();
  const bool glyphIndex = t.options & 0x10;
  const double size = (s.font.height < 0 ? -double(s.font.height) : s.fontEmHeight) * c_.ScaleY;
  c_.SetFont(s.font, size);
  const int64_t M = glyphIndex || c_.ScaleX == 0 ? 0 : std::llround(c_.TextWidth(t.text) / c_.ScaleX);
  int64_t T = M;
  if (!t.dx.empty()) {
    T = 0;
    for (int32_t d : t.dx) T += d;
  }
  bool wordSpaced = false, scaled = false;
  if (M != 0) {
    const int64_t spaces = std::count(t.text.begin(), t.text.end(), u' ');
    if (c_.UseTextJustification && spaces > 0 && T - M > 2 * spaces) {
      c_.SetWordSpace(static_cast<double>(T - M) * c_.ScaleX / spaces);
      wordSpaced = true;
    } else {
      double p = static_cast<double>(T) * 100 / static_cast<double>(M);
      if (p < c_.HorizontalScalingLowerLimit || p > c_.HorizontalScalingUpperLimit) {
        c_.SetHorizontalScaling(std::clamp(p, 10.0, 300.0));  // beyond the range: as close as it goes
        scaled = true;
      }
    }
  }
  int64_t A = T;
  if ((s.textAlign & 6) == 6)
    A = static_cast<int64_t>(static_cast<uint64_t>(T) / 2);
  else if (!(s.textAlign & 2))
    A = 0;
  double v;
  if (s.textAlign & 16)
    v = 0;
  else if (s.textAlign & 8)
    v = s.fontDescent * 0.95;
  else
    v = -s.fontAscent * 0.95;

  if ((t.options & 2) && !s.brushNull && s.fontAngle == 0) {
    TRect b = t.bounds;
    if (b.left > b.right) std::swap(b.left, b.right);
    if (b.top > b.bottom) std::swap(b.top, b.bottom);
    fillRect(b);
  }
  if (static_cast<int64_t>(s.textColor) != lastFill_) {
    if (TPdfWrite* w = c_.Out()) w->AddColor(s.textColor).Add("rg\n");
    lastFill_ = s.textColor;
  }
  c_.RightToLeft = t.options & 0x80;
  const bool clip = t.clip.left < t.clip.right && t.clip.top < t.clip.bottom;
  if (clip) {
    write("q\n");
    const double l = t.clip.left - 1.0, r = t.clip.right - 1.0, top = t.clip.top + 1.0, bottom = t.clip.bottom + 1.0;
    c_.MoveTo(mapX(l), mapY(top));
    c_.LineTo(mapX(l), mapY(bottom));
    c_.LineTo(mapX(r), mapY(bottom));
    c_.LineTo(mapX(r), mapY(top));
    write("h\nW\nn\n");
  }
  write("BT\n");
  const int32_t x = t.reference.x, y = t.reference.y;
  if (s.fontAngle == 0) {
    realA((x - A) * c_.ScaleX + c_.OffsetX);
    realA(c_.OffsetY - (y - v) * c_.ScaleY);
    write("Td\n");
  } else {
    const double a = s.fontAngle * 0.017453292519943295, cs = std::cos(a), sn = std::sin(a);
    const double sx = x - static_cast<double>(std::lround(v * sn)), sy = y - static_cast<double>(std::lround(v * cs));
    for (double m : {cs, sn, -sn, cs, mapX(sx), mapY(sy)}) realA(m);
    write("Tm\n");
  }
  if (glyphIndex) {
    std::vector<uint16_t> glyphs(t.text.begin(), t.text.end());
    c_.ShowGlyphs(glyphs);
  } else {
    c_.ShowText(t.text);
  }
  write("ET\n");
  if (wordSpaced) c_.SetWordSpace(0);
  if (scaled) c_.SetHorizontalScaling(100);

  for (bool underline : {true, false}) {
    if (underline ? !s.font.underline : !s.font.strikeOut) continue;
    if (c_.ScaleX == 0) break;
    const double o = underline ? size / 8 / c_.ScaleX : -size / 3 / c_.ScaleX;
    const DeviceState saved = s;
    s.penNull = false;
    s.penStyle = 0;
    s.penColor = s.textColor;
    s.penWidth = size / 15 / c_.ScaleX;
    usePen();
    const double ly = y - v + o;
    c_.MoveTo(mapX(x - A), mapY(ly));
    c_.LineTo(mapX(x - A + T), mapY(ly));
    write("S\n");
    s = saved;
    usePen();
  }
  if (clip) write("Q\n");
}

void TPdfEnum::bitmap(const TEmfRecord& r) {
  using namespace emf;
  TDibSource src;
  int32_t x, y, cx, cy;
  if (r.type == EMR_STRETCHDIBITS) {
    r.require(0, 80);
    x = r.i32(24), y = r.i32(28), cx = r.i32(72), cy = r.i32(76);
    src = {r.u32(48), r.u32(52), r.u32(56), r.u32(60), r.u32(64), r.i32(32), r.i32(36), r.i32(40), r.i32(44), true};
  } else {
    r.require(0, r.type == EMR_STRETCHBLT ? 108 : 100);
    x = r.i32(24), y = r.i32(28), cx = r.i32(32), cy = r.i32(36);
    src = {r.u32(84), r.u32(88), r.u32(92), r.u32(96), r.u32(80), r.i32(44), r.i32(48), cx, cy, false};
    if (r.type == EMR_STRETCHBLT) src.cx = r.i32(100), src.cy = r.i32(104);
    if (src.offBmi == 0 || src.offBits == 0) {
      // No bitmap: only a pattern copy paints, with the brush.
      if (r.u32(40) == PATCOPY) fillBox(mapBox(x, y, double(x) + cx, double(y) + cy));
      return;
    }
  }
  if (src.offBmi == 0 || src.offBits == 0) return;
  if (std::optional<TDibBitmap> dib = decodeDib(r, src)) drawBitmap(*dib, x, y, cx, cy);
}

void TPdfEnum::drawBitmap(const TDibBitmap& dib, int32_t x, int32_t y, int32_t cx, int32_t cy) {
  TPdfPage* page = c_.Page();
  if (!page) throw EPdfInvalidOperation("GetDoc");
  TPdfDocument& doc = c_.Doc();
  auto made = std::make_unique<TPdfImage>(dib, doc.Compression());
  TPdfImage* image = doc.FindImage(*made);
  if (!image) image = &doc.AddXObject(std::move(made));
  const double h = cy * c_.ScaleY, w = cx * c_.ScaleX;
  const double px = x * c_.ScaleX + c_.OffsetX, py = c_.OffsetY - y * c_.ScaleY - h;
  const std::string name = image->Name();
  auto* resources = page->As<TPdfDictionary>("Resources");
  auto* xobjects = resources ? resources->As<TPdfDictionary>("XObject") : nullptr;
  if (xobjects && !xobjects->ValueByName(name)) xobjects->AddReference(name, *image);
  if (TPdfWrite* out = c_.Out()) {
    out->Add("q\n").AddRealC(w).AddRealC(0).AddRealC(0).AddRealC(h).AddRealC(px).AddRealC(py).Add("cm\n");
    out->AddName(name).Add(" Do\nQ\n");
  }
}

void TPdfEnum::comment(const TEmfRecord& r) {
  // Commands of this system's own comments: 1 a named destination at the current
  // position, 2 a link rectangle to one. Anything wrong in a comment only drops it.
  try {
    const uint32_t size = r.u32(8);
    if (size <= 1) return;
    r.require(12, size);
    const uint8_t* data = r.bytes.data() + 12;
    auto textAt = [&](size_t from) {
      std::string t(reinterpret_cast<const char*>(data) + from, size - from);
      while (!t.empty() && t.back() == '\0') t.pop_back();
      return t;
    };
    TPdfPage* page = c_.Page();
    if (!page) return;
    if (data[0] == 1) {
      const TPoint at = state().position;
      c_.Doc().AddBookmark(textAt(1), *page, static_cast<int32_t>(std::lround(mapY(at.y))));
    } else if (data[0] == 2 && size - 1 > 16) {
      const TRect box = r.rect(13);
      c_.Doc().AddLink(*page, mapX(box.left), mapY(box.top), mapX(box.right), mapY(box.bottom), textAt(17));
    }
  } catch (const Error&) {
  }
}

bool TPdfEnum::handle(const TEmfRecord& r) {
  using namespace emf;
  if (linePending_ && r.type != EMR_LINETO) {
    write("S\n");
    linePending_ = false;
  }
  DeviceState& s = state();
  switch (r.type) {
    case EMR_HEADER:
      slots_.assign(r.u16(56), Slot{});
      setMapping(std::nullopt);
      break;
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16: {
      if (s.penNull) break;
      auto p = polyPoints(r);
      if (p.empty()) break;
      usePen();
      moveTo(p[0]);
      for (size_t i = 1; i + 2 < p.size(); i += 3) curveTo(p[i], p[i + 1], p[i + 2]);
      write("S\n");
      break;
    }
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16: {
      if (s.penNull) break;
      auto p = polyPoints(r);
      usePen();
      moveTo(s.position);
      for (size_t i = 0; i + 2 < p.size(); i += 3) curveTo(p[i], p[i + 1], p[i + 2]);
      if (!p.empty()) s.position = p.back();
      write("S\n");
      break;
    }
    case EMR_POLYGON:
    case EMR_POLYGON16: {
      if (s.penNull && s.brushNull) break;
      auto p = polyPoints(r);
      if (p.empty()) break;
      useBrush();
      moveTo(p[0]);
      for (size_t i = 1; i < p.size(); ++i) lineTo(p[i]);
      write("h\n");
      paint();
      break;
    }
    case EMR_POLYLINE:
    case EMR_POLYLINE16: {
      if (s.penNull) break;  // a null pen draws no line, whatever the brush
      auto p = polyPoints(r);
      if (p.empty()) break;
      usePen();
      moveTo(p[0]);
      for (size_t i = 1; i < p.size(); ++i) lineTo(p[i]);
      write("S\n");
      break;
    }
    case EMR_SETWINDOWEXTEX:
      s.windowExtX = r.i32(8);
      s.windowExtY = r.i32(12);
      setMapping(std::nullopt);
      break;
    case EMR_SETWINDOWORGEX:
      s.windowOrgX = r.i32(8);
      s.windowOrgY = r.i32(12);
      setMapping(std::nullopt);
      break;
    case EMR_SETVIEWPORTEXTEX:
      s.viewportExtX = r.i32(8);
      s.viewportExtY = r.i32(12);
      setMapping(std::nullopt);
      break;
    case EMR_SETVIEWPORTORGEX:
      s.viewportOrgX = r.i32(8);
      s.viewportOrgY = r.i32(12);
      setMapping(std::nullopt);
      break;
    case EMR_SETBKMODE: s.bkMode = r.u32(8); break;
    case EMR_SETBKCOLOR: s.bkColor = r.u32(8); break;
    case EMR_SETTEXTALIGN: s.textAlign = r.u32(8); break;
    case EMR_SETTEXTCOLOR: s.textColor = r.u32(8); break;
    case EMR_MOVETOEX:
      s.position = r.point(8);
      break;
    case EMR_SAVEDC:
      if (index_ >= 10) throw Error(u"Too many nested SaveDC records!");
      stack_[index_ + 1] = stack_[index_];
      ++index_;
      break;
    case EMR_RESTOREDC:
      if (index_ <= 0) throw Error(u"RestoreDC without SaveDC!");
      --index_;
      setMapping(std::nullopt);
      break;
    case EMR_SETWORLDTRANSFORM:
      setMapping(std::array<float, 6>{r.f32(8), r.f32(12), r.f32(16), r.f32(20), r.f32(24), r.f32(28)});
      break;
    case EMR_SELECTOBJECT: selectObject(r.u32(8)); break;
    case EMR_CREATEPEN:
      if (Slot* o = slot(r.u32(8))) {
        *o = Slot{};
        o->kind = 1;
        o->style = r.u32(12);
        o->width = r.i32(16);
        o->color = r.u32(24);
      }
      break;
    case EMR_CREATEBRUSHINDIRECT:
      if (Slot* o = slot(r.u32(8))) {
        *o = Slot{};
        o->kind = 2;
        o->null = r.u32(12) == 1;
        o->color = r.u32(16);
      }
      break;
    case EMR_DELETEOBJECT:
      if (Slot* o = slot(r.u32(8))) o->kind = 0;
      break;
    case EMR_ELLIPSE: {
      useBrush();
      Box b = mapBox(r.rect(8));
      const double a = b.w / 2, e = b.h / 2, x = b.x, y = b.y, w = b.w, h = b.h;
      c_.MoveTo(x, y + e);
      c_.CurveTo(x, y + e - kKappa * e, x + a - kKappa * a, y, x + a, y);
      c_.CurveTo(x + a + kKappa * a, y, x + w, y + e - kKappa * e, x + w, y + e);
      c_.CurveTo(x + w, y + e + kKappa * e, x + a + kKappa * a, y + h, x + a, y + h);
      c_.CurveTo(x + a - kKappa * a, y + h, x, y + e + kKappa * e, x, y + e);
      paint();
      break;
    }
    case EMR_RECTANGLE: {
      useBrush();
      Box b = mapBox(r.rect(8));
      c_.Rect(b.x, b.y, b.w, b.h);
      paint();
      break;
    }
    case EMR_ROUNDRECT: {
      TRect box = r.rect(8);
      if (box.left > box.right) std::swap(box.left, box.right);
      if (box.top > box.bottom) std::swap(box.top, box.bottom);
      useBrush();
      const double L = mapX(box.left), R = mapX(box.right), T = mapY(box.top), B = mapY(box.bottom);
      const double a = r.i32(24) * c_.ScaleX / 2, b = r.i32(28) * c_.ScaleY / 2, k = kKappa;
      c_.MoveTo(L + a, T);
      c_.LineTo(R - a, T);
      c_.CurveTo(R - a + k * a, T, R, T - b + k * b, R, T - b);
      c_.LineTo(R, B + b);
      c_.CurveTo(R, B + b - k * b, R - a + k * a, B, R - a, B);
      c_.LineTo(L + a, B);
      c_.CurveTo(L + a - k * a, B, L, B + b - k * b, L, B + b);
      c_.LineTo(L, T - b);
      c_.CurveTo(L, T - b + k * b, L + a - k * a, T, L + a, T);
      write("h\n");
      paint();
      break;
    }
    case EMR_LINETO: {
      // A line run is one path: it starts at the current position (wherever that is,
      // (0, 0) included) and is stroked once, by the next record of another kind.
      const TPoint to = r.point(8);
      if (s.penNull) {  // a null pen draws nothing but still moves
        s.position = to;
        break;
      }
      usePen();
      if (!linePending_) moveTo(s.position);
      lineTo(to);
      s.position = to;
      linePending_ = true;
      break;
    }
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_STRETCHDIBITS: bitmap(r); break;
    case EMR_GDICOMMENT: comment(r); break;
    case EMR_EXTCREATEFONTINDIRECTW: createFont(r); break;
    case EMR_EXTTEXTOUTW: textOut(r); break;
    default: break;
  }
  return true;
}

}  // namespace

void RenderMetaFile(TPdfCanvas& canvas, const emf::TEmfFile& picture, int32_t widthPx, int32_t heightPx,
                    const RenderOptions& options) {
  canvas.XOffset = options.xOffset;
  canvas.YOffset = options.yOffset;
  canvas.UseTextJustification = options.textJustification;
  canvas.HorizontalScalingLowerLimit = options.scalingLower;
  canvas.HorizontalScalingUpperLimit = options.scalingUpper;
  canvas.DeviceScale = 72.0 / (options.deviceDpi > 0 ? options.deviceDpi : platform::screenDpi());
  TPdfEnum walker(canvas, options, widthPx, heightPx);
  canvas.Write("q\n");
  try {
    for (const auto& record : picture.records) {
      if (!walker.handle(record)) break;
    }
    walker.finish();
  } catch (...) {
    canvas.Write("Q\n");
    throw;
  }
  canvas.Write("Q\n");
}

}  // namespace velmoro::pdf
