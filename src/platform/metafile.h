// TMetafile: one recorded page, the enhanced-metafile picture a TCanvas draws on. It
// holds the page size in pixels and the records drawn so far; Bytes() gives the complete
// EMF file (header, records, EOF) and SaveToFile writes it. A page that was never drawn
// on is a valid empty picture of its size; a page drawn on again keeps its records and
// gets the new ones after them. While a canvas is open on it, the canvas holds the
// records: read a page only after its canvas is closed.
#pragma once

#include "platform/emf_writer.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velmoro::platform {

class TMetafile {
 public:
  int32_t Width = 0, Height = 0;  // page pixels
  // Stored in the header as "CreatedBy\0Description\0\0"; set by the canvas.
  std::u16string CreatedBy, Description;

  std::vector<uint8_t> Bytes() const;
  // Through the atomic writer: the file is either the old one or the whole new one.
  void SaveToFile(const std::u16string& path) const;

  uint32_t RecordCount() const { return recording_.recordCount(); }

 private:
  friend class TCanvas;  // takes the recording while it is open and gives it back
  emf::TEmfWriter recording_;
};

}  // namespace velmoro::platform
