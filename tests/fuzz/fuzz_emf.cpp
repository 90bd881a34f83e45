// EMF files read by the converter and the renderer: the reader and its decoders.
#include "common/error.h"
#include "platform/emf_reader.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace velmoro::emf;
  try {
    TEmfFile file = parseEmf(std::span<const uint8_t>(data, size));
    (void)file.pictureWidth();
    (void)file.pictureHeight();
    (void)file.createdBy();
    (void)file.descriptionText();
    for (const TEmfRecord& r : file.records) {
      try {
        switch (r.type) {
          case EMR_POLYBEZIER: case EMR_POLYGON: case EMR_POLYLINE: case EMR_POLYBEZIERTO:
          case EMR_POLYBEZIER16: case EMR_POLYGON16: case EMR_POLYLINE16: case EMR_POLYBEZIERTO16:
            (void)polyPoints(r);
            break;
          case EMR_EXTTEXTOUTW:
            (void)extTextOut(r);
            break;
          case EMR_EXTCREATEFONTINDIRECTW:
            (void)logFont(r);
            break;
          default:
            (void)r.rect(8);
        }
      } catch (const velmoro::Error&) {
      }
    }
  } catch (const velmoro::Error&) {
  }
  return 0;
}
