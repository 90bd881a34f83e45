#include "pdf/metafile_document.h"

#include "common/paths.h"
#include "common/unicode.h"
#include "platform/units.h"

namespace velmoro::pdf {

TMetafileDocument::~TMetafileDocument() { Clear(); }

int32_t TMetafileDocument::AddPage() {
  CloseCanvas();
  int width = 210, height = 297;
  units::paperSize(PaperSize, Orientation, width, height);
  auto page = std::make_unique<platform::TMetafile>();
  page->Width = units::mmToPagePixels(width);
  page->Height = units::mmToPagePixels(height);
  pages_.push_back(std::move(page));
  PageIndex = Count() - 1;
  return PageIndex;
}

void TMetafileDocument::computePrintRect() {
  if (PageIndex < 0 || PageIndex >= Count()) PageIndex = Count() - 1;
  if (PageIndex < 0) {
    PrintRect = {};
    return;
  }
  const platform::TMetafile& page = *pages_[static_cast<size_t>(PageIndex)];
  PrintRect = {units::mmToPagePixels(Margins.left), units::mmToPagePixels(Margins.top),
               page.Width - units::mmToPagePixels(Margins.right), page.Height - units::mmToPagePixels(Margins.bottom)};
}

platform::TCanvas* TMetafileDocument::Canvas() {
  if (canvas_) return canvas_.get();
  computePrintRect();
  if (PageIndex < 0) return nullptr;
  // No description at all when both texts are empty.
  canvas_ = std::make_unique<platform::TCanvas>(*pages_[static_cast<size_t>(PageIndex)], CreatedBy, Description);
  return canvas_.get();
}

TRect TMetafileDocument::GetPrintRect() {
  if (!canvas_) computePrintRect();
  return PrintRect;
}

void TMetafileDocument::CloseCanvas() { canvas_.reset(); }

void TMetafileDocument::Clear() {
  CloseCanvas();
  pages_.clear();
}

void TMetafileDocument::SaveToFiles(const std::u16string& fileName) {
  CloseCanvas();
  const std::vector<std::u16string> names = pageFileNames(fileName, Count());
  for (size_t i = 0; i < names.size(); ++i) pages_[i]->SaveToFile(names[i]);
}

int32_t TMetafileDocument::DefaultFontHeight() {
  const TRect r = GetPrintRect();
  if (r.isEmpty()) return -11;
  const int32_t h = (r.bottom - r.top) / 96;
  return h >= 4 ? -h : -4;
}

std::u16string pageFileName(const std::u16string& fileName, int32_t index, int32_t count) {
  if (count == 1) return fileName;
  const std::u16string ext = path::extensionOf(fileName);
  std::u16string number = text::fromAscii(std::to_string(index));
  const size_t digits = text::fromAscii(std::to_string(count)).size();
  if (number.size() < digits) number.insert(0, digits - number.size(), u'0');
  return fileName.substr(0, fileName.size() - ext.size()) + number + ext;
}

std::vector<std::u16string> pageFileNames(const std::u16string& fileName, int32_t count) {
  std::vector<std::u16string> names;
  for (int32_t i = 0; i < count; ++i) names.push_back(pageFileName(fileName, i, count));
  return names;
}

}  // namespace velmoro::pdf
