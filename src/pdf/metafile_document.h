// TMetafileDocument: the pages a draw is drawn into. Each page is an EMF picture at the
// screen resolution; at most one recording canvas is open, on the current page, and the
// printable rectangle is the page less its margins. Finished pages are saved as EMF
// files (one file, or one numbered file per page) or handed to the PDF renderer.
#pragma once

#include "platform/canvas.h"
#include "platform/geometry.h"
#include "platform/metafile.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmoro::pdf {

class TMetafileDocument {
 public:
  TMetafileDocument() = default;
  ~TMetafileDocument();
  TMetafileDocument(const TMetafileDocument&) = delete;
  TMetafileDocument& operator=(const TMetafileDocument&) = delete;

  int32_t AddPage();
  // The open canvas; opens one on the current page when none is open; null when the
  // document has no pages.
  platform::TCanvas* Canvas();
  TRect GetPrintRect();
  void CloseCanvas();
  void Clear();
  void SaveToFiles(const std::u16string& fileName);
  int32_t DefaultFontHeight();

  int32_t Count() const { return static_cast<int32_t>(pages_.size()); }
  const platform::TMetafile& Page(int32_t index) const { return *pages_.at(static_cast<size_t>(index)); }

  // Set by the caller before the first page is added or the first canvas opened.
  int32_t PageIndex = -1;
  TRect PrintRect;
  TRect Margins;  // whole millimetres
  uint8_t PaperSize = 5;
  uint8_t Orientation = 0;
  std::u16string CreatedBy;
  std::u16string Description;

 private:
  void computePrintRect();

  std::vector<std::unique_ptr<platform::TMetafile>> pages_;
  std::unique_ptr<platform::TCanvas> canvas_;  // records onto pages_[PageIndex]
};

// The file SaveToFiles writes page index of count pages to: the name itself for a single
// page, else the name with the page number, zero-padded to the digits of count, put in
// front of its extension ("draw.emf", 12 pages: "draw00.emf" ... "draw11.emf").
std::u16string pageFileName(const std::u16string& fileName, int32_t index, int32_t count);
// Every file SaveToFiles writes for count pages, in page order.
std::vector<std::u16string> pageFileNames(const std::u16string& fileName, int32_t count);

}  // namespace velmoro::pdf
