#include "platform/canvas.h"

#include <algorithm>

namespace velmoro::platform {

namespace {

uint32_t penStyle(TPenStyle s) {
  switch (s) {
    case TPenStyle::Solid: return emf::PS_SOLID;
    case TPenStyle::Dash: return emf::PS_DASH;
    case TPenStyle::Dot: return emf::PS_DOT;
    case TPenStyle::DashDot: return emf::PS_DASHDOT;
    case TPenStyle::DashDotDot: return emf::PS_DASHDOTDOT;
    case TPenStyle::Clear: return emf::PS_NULL;
  }
  return emf::PS_SOLID;
}

// Every clear pen is the stock null pen, every clear brush the stock null brush.
bool samePen(const TPen& a, const TPen& b) {
  return a == b || (a.Style == TPenStyle::Clear && b.Style == TPenStyle::Clear);
}
bool sameBrush(const TBrush& a, const TBrush& b) {
  return a == b || (a.Style == TBrushStyle::Clear && b.Style == TBrushStyle::Clear);
}

bool sameGdiFont(const TCanvasFont& a, const TCanvasFont& b) {
  return a.Name == b.Name && a.Height == b.Height && a.Weight == b.Weight && a.Italic == b.Italic &&
         a.Underline == b.Underline && a.StrikeOut == b.StrikeOut;
}

}  // namespace

TCanvas::TCanvas(TMetafile& page, std::u16string createdBy, std::u16string description)
    : page_(page),
      writer_(std::move(page.recording_)),
      createdBy_(std::move(createdBy)),
      description_(std::move(description)),
      textScale_(static_cast<float>(2540.0 / emf::referenceDevice().dpi)) {
  // An earlier recording of the page ended with every object deleted, so all handles
  // are free again.
  handleUsed_.assign(1, true);
  writer_.setBkMode(emf::TRANSPARENT);
  writer_.setTextAlign(emf::TA_TOP | emf::TA_LEFT | emf::TA_NOUPDATECP);
}

TCanvas::~TCanvas() {
  // Unwind saves left open, then back to the stock objects, so that every created object
  // can be deleted and a reader's state stack ends where it began.
  while (!saved_.empty()) RestoreDC();
  if (selected_.penHandle) writer_.selectObject(emf::kStockObject | emf::BLACK_PEN);
  if (selected_.brushHandle) writer_.selectObject(emf::kStockObject | emf::WHITE_BRUSH);
  if (selected_.fontHandle) writer_.selectObject(emf::kStockObject | emf::DEFAULT_GUI_FONT);
  for (uint32_t h = 1; h < handleUsed_.size(); ++h)
    if (handleUsed_[h]) writer_.deleteObject(h);
  page_.recording_ = std::move(writer_);
  page_.CreatedBy = std::move(createdBy_);
  page_.Description = std::move(description_);
}

uint32_t TCanvas::newHandle() {
  for (uint32_t h = 1; h < handleUsed_.size(); ++h)
    if (!handleUsed_[h]) {
      handleUsed_[h] = true;
      return h;
    }
  handleUsed_.push_back(true);
  return static_cast<uint32_t>(handleUsed_.size() - 1);
}

bool TCanvas::heldBySavedState(uint32_t h) const {
  return std::any_of(saved_.begin(), saved_.end(), [h](const Selected& s) {
    return s.penHandle == h || s.brushHandle == h || s.fontHandle == h;
  });
}

void TCanvas::release(uint32_t h) {
  if (h == 0) return;
  if (heldBySavedState(h)) {
    pendingDelete_.push_back(h);
    return;
  }
  writer_.deleteObject(h);
  handleUsed_[h] = false;
}

void TCanvas::usePen() {
  if (selected_.pen && samePen(*selected_.pen, Pen)) return;
  const uint32_t old = selected_.penHandle;
  if (Pen.Style == TPenStyle::Clear) {
    writer_.selectObject(emf::kStockObject | emf::NULL_PEN);
    selected_.penHandle = 0;
  } else {
    const uint32_t h = newHandle();
    writer_.createPen(h, penStyle(Pen.Style), std::max(Pen.Width, 1), Pen.Color);
    writer_.selectObject(h);
    selected_.penHandle = h;
  }
  selected_.pen = Pen;
  release(old);
}

void TCanvas::useBrush() {
  if (selected_.brush && sameBrush(*selected_.brush, Brush)) return;
  const uint32_t old = selected_.brushHandle;
  if (Brush.Style == TBrushStyle::Clear) {
    writer_.selectObject(emf::kStockObject | emf::NULL_BRUSH);
    selected_.brushHandle = 0;
  } else {
    const uint32_t h = newHandle();
    writer_.createBrush(h, emf::BS_SOLID, Brush.Color);
    writer_.selectObject(h);
    selected_.brushHandle = h;
  }
  selected_.brush = Brush;
  release(old);
}

const TFont& TCanvas::CurrentFont() {
  if (!font_ || !fontFor_ || !sameGdiFont(*fontFor_, Font)) {
    font_ = fonts::findFont(Font.Name, Font.Height, Font.Weight, Font.Italic);
    fontFor_ = Font;
  }
  return *font_;
}

void TCanvas::useFont() {
  if (!selected_.font || !sameGdiFont(*selected_.font, Font)) {
    const uint32_t old = selected_.fontHandle;
    emf::TLogFont lf;
    lf.height = Font.Height;
    lf.weight = Font.Weight;
    lf.italic = Font.Italic, lf.underline = Font.Underline, lf.strikeOut = Font.StrikeOut;
    lf.outPrecision = 4 /* OUT_TT_PRECIS */, lf.quality = 0;
    lf.faceName = Font.Name.substr(0, 31);
    const uint32_t h = newHandle();
    writer_.createFont(h, lf);
    writer_.selectObject(h);
    selected_.fontHandle = h;
    selected_.font = Font;
    release(old);
  }
  if (selected_.textColor != Font.Color) {
    writer_.setTextColor(Font.Color);
    selected_.textColor = Font.Color;
  }
}

void TCanvas::MoveTo(int32_t x, int32_t y) {
  writer_.moveTo({x, y});
  selected_.position = {x, y};
}

void TCanvas::LineTo(int32_t x, int32_t y) {
  usePen();
  const int32_t half = std::max(penWidth(), 1) / 2;
  writer_.lineTo({x, y}, {std::min(x, selected_.position.x) - half, std::min(y, selected_.position.y) - half,
                          std::max(x, selected_.position.x) + half, std::max(y, selected_.position.y) + half});
  selected_.position = {x, y};
}

void TCanvas::Polyline(std::span<const TPoint> points) {
  if (points.size() < 2) return;
  usePen();
  writer_.polyline(points, penWidth());
}

void TCanvas::PolyBezier(std::span<const TPoint> points) {
  if (points.size() < 4) return;
  usePen();
  writer_.polyBezier(points.first(1 + (points.size() - 1) / 3 * 3), penWidth());
}

void TCanvas::Rectangle(TRect r) {
  usePen();
  useBrush();
  writer_.rectangle(r, penWidth());
}

void TCanvas::RoundRect(TRect r, int32_t cw, int32_t ch) {
  usePen();
  useBrush();
  writer_.roundRect(r, cw, ch, penWidth());
}

void TCanvas::Ellipse(TRect r) {
  usePen();
  useBrush();
  writer_.ellipse(r, penWidth());
}

void TCanvas::FillRect(TRect r) {
  if (Brush.Style == TBrushStyle::Clear) return;
  useBrush();
  writer_.patBlt(r);
}

TSize TCanvas::TextExtent(std::u16string_view text) {
  const TFont& f = CurrentFont();
  return {f.textWidth(text), f.metrics().height};
}

void TCanvas::emitText(TPoint at, std::u16string_view text, const TRect* clip) {
  if (text.empty()) return;
  useFont();
  const TFont& f = CurrentFont();
  std::vector<int32_t> dx = f.advances(text);
  int32_t width = 0;
  for (int32_t d : dx) width += d;
  TRect bounds{at.x, at.y, at.x + std::max(width, 1) - 1, at.y + std::max(f.metrics().height, 1) - 1};
  if (clip) {
    bounds.left = std::max(bounds.left, clip->left), bounds.top = std::max(bounds.top, clip->top);
    bounds.right = std::min(bounds.right, clip->right - 1), bounds.bottom = std::min(bounds.bottom, clip->bottom - 1);
  }
  writer_.extTextOut(at, text, dx, clip ? emf::ETO_CLIPPED : 0u, clip ? *clip : TRect{0, 0, -1, -1}, bounds,
                     textScale_, textScale_);
}

void TCanvas::TextOut(int32_t x, int32_t y, std::u16string_view text) { emitText({x, y}, text, nullptr); }

int32_t TCanvas::DrawText(std::u16string_view text, TRect& r, uint32_t flags) {
  const TTextLayout layout = layoutText(text, r, flags, CurrentFont());
  if (flags & DT_CALCRECT) {
    if (layout.lines.size() <= 1) r.right = r.left + layout.widest;
    r.bottom = r.top + static_cast<int32_t>(layout.lines.size()) * layout.lineHeight;
    return layout.height;
  }
  const TRect clip = r;
  for (const TTextLine& line : layout.lines) emitText(line.origin, line.text, (flags & DT_NOCLIP) ? nullptr : &clip);
  return layout.height;
}

void TCanvas::SaveDC() {
  writer_.saveDC();
  saved_.push_back(selected_);
}

void TCanvas::RestoreDC() {
  if (saved_.empty()) return;
  writer_.restoreDC(-1);
  const Selected now = selected_;
  selected_ = saved_.back();
  saved_.pop_back();
  // Objects selected after the save are no longer selected: delete them, and any whose
  // deletion waited for this level to end.
  for (uint32_t h : {now.penHandle, now.brushHandle, now.fontHandle})
    if (h && h != selected_.penHandle && h != selected_.brushHandle && h != selected_.fontHandle)
      pendingDelete_.push_back(h);
  std::vector<uint32_t> pending;
  pending.swap(pendingDelete_);
  std::sort(pending.begin(), pending.end());
  pending.erase(std::unique(pending.begin(), pending.end()), pending.end());
  for (uint32_t h : pending) {
    if (h == selected_.penHandle || h == selected_.brushHandle || h == selected_.fontHandle) continue;
    if (!handleUsed_[h]) continue;
    release(h);
  }
}

}  // namespace velmoro::platform
