// TPdfCanvas: the drawing surface of a PDF document, bound to its last added page. It
// writes PDF operators into the page's content stream, selects fonts (keeping the
// page's text state, so "Tf", "Tw" and "Tz" are written only on a change) and writes
// text in the WinAnsi font or its Unicode companion.
#pragma once

#include "pdf/pdf_document.h"
#include "pdf/pdf_fonts.h"
#include "platform/emf_writer.h"

#include <span>
#include <string>

namespace velmoro::pdf {

class TPdfCanvas {
 public:
  explicit TPdfCanvas(TPdfDocument& doc) : doc_(doc) {}
  TPdfCanvas(const TPdfCanvas&) = delete;
  TPdfCanvas& operator=(const TPdfCanvas&) = delete;

  void BindPage(TPdfPage& page);
  TPdfDocument& Doc() { return doc_; }
  TPdfPage* Page() const { return page_; }
  // The content stream's writer; null when no page is bound.
  TPdfWrite* Out() { return out_.get(); }
  void Write(std::string_view ops) {
    if (out_) out_->Add(ops);
  }
  void WriteRealA(double v) {
    if (out_) out_->AddRealA(v);
  }

  void MoveTo(double x, double y);
  void LineTo(double x, double y);
  void CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
  void Rect(double x, double y, double w, double h);

  // A font for a logical font (face, weight, italic, underline, strike-out, charset).
  TPdfFontTrueType& SetFont(const emf::TLogFont& font, double size);
  TPdfFontTrueType& SetFontByName(const std::string& name, uint8_t style, int charSet, double size);
  // Width in points of text in the current font at the current size.
  double TextWidth(std::u16string_view text);
  void ShowText(std::u16string_view text);
  void ShowGlyphs(std::span<const uint16_t> glyphs);
  void SetWordSpace(double v);
  void SetHorizontalScaling(double v);
  TPdfFontTrueType* CurrentFont() const { return page_ ? page_->Font : nullptr; }

  // Render arguments and the mapping of the page being rendered.
  double PageHeight = 0;
  double DeviceScale = 1;
  double ScaleX = 1, ScaleY = 1, OffsetX = 0, OffsetY = 0;
  double XOffset = 0, YOffset = 0;
  bool RightToLeft = false;
  bool UseTextJustification = true;
  double HorizontalScalingLowerLimit = 99.0, HorizontalScalingUpperLimit = 101.0;

 private:
  void select(TPdfFontTrueType& font, double size);

  TPdfDocument& doc_;
  TPdfPage* page_ = nullptr;
  std::unique_ptr<TPdfWrite> out_;
};

}  // namespace velmoro::pdf
