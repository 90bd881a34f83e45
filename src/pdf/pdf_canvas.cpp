#include "pdf/pdf_canvas.h"

#include "common/unicode.h"
#include "pdf/pdf_errors.h"

#include <cmath>

namespace velmoro::pdf {

namespace {

std::string hex4(uint16_t v) {
  static const char* digits = "0123456789ABCDEF";
  return {digits[v >> 12], digits[(v >> 8) & 15], digits[(v >> 4) & 15], digits[v & 15]};
}

}  // namespace

void TPdfCanvas::BindPage(TPdfPage& page) {
  page_ = &page;
  out_ = page.Contents ? std::make_unique<TPdfWrite>(page.Contents->Content()) : nullptr;
  auto* box = page.As<TPdfArray>("MediaBox");
  auto* height = box ? dynamic_cast<TPdfNumber*>(box->Item(3)) : nullptr;
  PageHeight = height ? height->Value : 0;
}

void TPdfCanvas::MoveTo(double x, double y) {
  if (!out_) return;
  out_->AddRealA(x).AddRealA(y).Add("m\n");
}

void TPdfCanvas::LineTo(double x, double y) {
  if (!out_) return;
  out_->AddRealA(x).AddRealA(y).Add("l\n");
}

void TPdfCanvas::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
  if (!out_) return;
  out_->AddRealA(x1).AddRealA(y1).AddRealA(x2).AddRealA(y2).AddRealA(x3).AddRealA(y3).Add("c\n");
}

void TPdfCanvas::Rect(double x, double y, double w, double h) {
  if (!out_) return;
  out_->AddRealA(x).AddRealA(y).AddRealA(w).AddRealA(h).Add("re\n");
}

TPdfFontTrueType& TPdfCanvas::SetFont(const emf::TLogFont& font, double size) {
  uint8_t style = (font.italic ? kStyleItalic : 0) | (font.underline ? kStyleUnderline : 0) |
                  (font.strikeOut ? kStyleStrikeOut : 0) | (font.weight > 599 ? kStyleBold : 0);
  return SetFontByName(text::toUtf8(font.faceName), style, font.charSet, size);
}

TPdfFontTrueType& TPdfCanvas::SetFontByName(const std::string& name, uint8_t style, int charSet, double size) {
  const auto& names = doc_.TrueTypeFontNames();
  auto find = [&](std::string_view wanted, bool exact) -> int {
    for (size_t i = 0; i < names.size(); ++i)
      if (exact ? names[i] == wanted : text::equalsIgnoreCase(text::fromUtf8(names[i]), text::fromUtf8(wanted)))
        return static_cast<int>(i) + 1;
    return 0;
  };
  int index = find(name, false);
  if (!index) {
    const std::u16string n = text::fromUtf8(name);
    if (text::equalsIgnoreCase(n, u"Helvetica")) index = find("Arial", false);
    if (text::equalsIgnoreCase(n, u"Courier")) index = find("Courier New", false);
    if (text::equalsIgnoreCase(n, u"Times")) index = find("Times New Roman", false);
  }
  if (!index) index = find("Arial", true);
  if (!index) throw EPdfInvalidValue("SetFont " + name);
  if (charSet == -1 || charSet == 1) charSet = doc_.CharSet();  // DEFAULT_CHARSET is the document's too

  TPdfFontTrueType* font = nullptr;
  for (const auto& f : doc_.Fonts()) {
    auto* tt = dynamic_cast<TPdfFontTrueType*>(f.get());
    if (tt && !tt->IsUnicode() && tt->FontIndex() == index && tt->Style() == style && tt->CharSet() == charSet) {
      font = tt;
      break;
    }
  }
  if (!font) {
    auto created = std::make_unique<TPdfFontTrueType>(doc_, index, style, charSet);
    font = created.get();
    doc_.Fonts().push_back(std::move(created));
  }
  select(*font, size);
  return *font;
}

void TPdfCanvas::select(TPdfFontTrueType& font, double size) {
  if (!(size >= 0 && size <= 2000)) throw EPdfInvalidValue("SetFontSize");
  if (!page_ || (page_->Font == &font && page_->FontSize == size)) return;
  auto* resources = page_->As<TPdfDictionary>("Resources");
  auto* fonts = resources ? resources->As<TPdfDictionary>("Font") : nullptr;
  if (fonts && !fonts->ValueByName(font.ShortName())) fonts->AddReference(font.ShortName(), font.Dictionary());
  if (out_) out_->AddName(font.ShortName()).Add(' ').AddRealA(size).Add("Tf\n");
  page_->Font = &font;
  page_->FontSize = size;
}

double TPdfCanvas::TextWidth(std::u16string_view text) {
  TPdfFontTrueType* font = CurrentFont();
  if (!font) return 0;
  TPdfFontTrueType& ansi = font->WinAnsiFont();  // the used glyphs live in the WinAnsi role
  double sum = 0;
  for (char16_t c : text) {
    uint8_t code;
    if (winAnsiCode(c, code))
      sum += ansi.WinAnsiWidth(code);
    else
      sum += ansi.UseCodePoint(c).width;
  }
  return sum * page_->FontSize / 1000.0;
}

void TPdfCanvas::ShowText(std::u16string_view text) {
  TPdfFontTrueType* current = CurrentFont();
  if (!current || !out_) return;
  TPdfFontTrueType* ansi = &current->WinAnsiFont();
  const double size = page_->FontSize;
  size_t i = 0;
  while (i < text.size()) {
    uint8_t code;
    if (winAnsiCode(text[i], code)) {
      select(*ansi, size);
      std::string run = "(";
      for (; i < text.size() && winAnsiCode(text[i], code); ++i) {
        if (code == 0xA0) code = ' ';
        ansi->MarkUsed(code);
        if (code == '(' || code == ')' || code == '\\') run += '\\';
        run += static_cast<char>(code);
      }
      out_->Add(run).Add(") Tj\n");
    } else {
      TPdfFontTrueType& uni = ansi->Companion();
      select(uni, size);
      std::string run = "<";
      while (i < text.size() && !winAnsiCode(text[i], code)) run += hex4(ansi->UseCodePoint(text[i++]).glyph);
      while (i < text.size() && (text[i] == u' ' || text[i] == u'\u00A0')) run += hex4(ansi->UseCodePoint(text[i++]).glyph);
      out_->Add(run).Add("> Tj\n");
    }
  }
}

void TPdfCanvas::ShowGlyphs(std::span<const uint16_t> glyphs) {
  TPdfFontTrueType* current = CurrentFont();
  if (!current || !out_) return;
  TPdfFontTrueType* ansi = &current->WinAnsiFont();
  select(ansi->Companion(), page_->FontSize);
  std::string run = "<";
  for (uint16_t g : glyphs) {
    char16_t c;
    if (ansi->CodePointOfGlyph(g, c)) g = ansi->UseCodePoint(c).glyph;
    run += hex4(g);
  }
  out_->Add(run).Add("> Tj\n");
}

void TPdfCanvas::SetWordSpace(double v) {
  if (!(v >= 0) || !std::isfinite(v)) throw EPdfInvalidValue("SetWordSpace");
  if (!page_ || page_->WordSpace == v) return;
  page_->WordSpace = v;
  if (out_) out_->AddRealA(v).Add("Tw\n");
}

void TPdfCanvas::SetHorizontalScaling(double v) {
  if (!(v >= 10 && v <= 300)) throw EPdfInvalidValue("SetHorizontalScaling");
  if (!page_ || page_->HorizontalScaling == v) return;
  page_->HorizontalScaling = v;
  if (out_) out_->AddRealB(v).Add(" Tz\n");
}

}  // namespace velmoro::pdf
