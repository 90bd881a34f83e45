// EMF files from outside through the converter's path: read, render every page onto a
// PDF document and write it. Bad data may fail with velmoro::Error, never otherwise.
#include "common/error.h"
#include "pdf/emf_renderer.h"
#include "pdf/pdf_document.h"
#include "platform/emf_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmoro;
  try {
    emf::TEmfFile picture = emf::parseEmf(std::span<const uint8_t>(data, size));
    pdf::TPdfDocument doc;
    const int32_t w = picture.pictureWidth(), h = picture.pictureHeight();
    doc.SetDefaultPageWidth(w / 96 * 72);
    doc.SetDefaultPageHeight(h / 96 * 72);
    doc.AddPage();
    pdf::RenderMetaFile(doc.Canvas(), picture, w, h);
    (void)doc.SaveToBytes();
  } catch (const Error&) {
  }
  return 0;
}
