#include "converter/convert.h"

#include "common/error.h"
#include "common/log.h"
#include "common/paths.h"
#include "converter/input_files.h"
#include "pdf/emf_renderer.h"
#include "pdf/pdf_document.h"
#include "platform/emf_reader.h"
#include "platform/resources.h"
#include "platform/screen.h"

#include <algorithm>

namespace velmoro::convert {

namespace {

// Pixels per inch of a file's own reference device, so a page keeps its paper size
// whatever device recorded it; the screen's when the header gives no usable size.
double densityOf(const emf::TEmfHeader& h) {
  if (h.deviceMmX > 0 && h.devicePixelsX > 0) return h.devicePixelsX * 25.4 / h.deviceMmX;
  return platform::screenDpi();
}

// Pixels to whole points, truncated; a damaged header's size is held to what PDF pages
// can be (at most 14400 points).
int32_t pagePoints(int32_t pixels, double dpi) {
  const float points = static_cast<float>(pixels / dpi * 72);
  return static_cast<int32_t>(std::clamp(points, 0.0f, 14400.0f));
}

int32_t run(const std::u16string& input, const std::u16string& outputArg, const DocumentInfo& info, int32_t& result) {
  const TVersionInfo version = platform::ownVersionInfo();
  const std::u16string author = info.author ? *info.author : version.CompanyName();
  const std::u16string creator = version.ProductName() + u" " + version.ProductVersion();
  if (input.empty()) return kNoInputOrNotSaved;

  std::vector<std::u16string> files = collectInputFiles(input);
  if (files.empty()) throw Error(u"No input file has been found! (" + input + u")");
  const std::u16string output = outputArg.empty() ? defaultOutputName(input) : path::toNative(outputArg);
  const std::u16string folder = path::folderOf(output);
  if (!folder.empty() && !path::createFolders(folder)) throw Error(u"Cannot create output directory! " + folder);

  pdf::TPdfDocument doc(false, 0, false);
  doc.SetTitle(info.title);
  doc.SetSubject(info.subject);
  doc.SetKeywords(info.keywords);
  doc.SetAuthor(author);
  doc.SetCreator(creator);
  for (const auto& file : files) {
    emf::TEmfFile picture = emf::readEmfFile(file);
    const int32_t w = picture.pictureWidth(), h = picture.pictureHeight();
    const double dpi = densityOf(picture.header);
    doc.SetDefaultPaperSize(pdf::psUserDefined);
    doc.SetDefaultPageWidth(pagePoints(w, dpi));
    doc.SetDefaultPageHeight(pagePoints(h, dpi));
    doc.AddPage();
    pdf::RenderOptions options;
    options.deviceDpi = dpi;
    pdf::RenderMetaFile(doc.Canvas(), picture, w, h, options);
  }
  if (!doc.SaveToFile(output)) {
    result = kNoInputOrNotSaved;
    throw Error(u"Cannot save resulting file!");
  }
  return kConverted;
}

}  // namespace

int32_t convertEmfToPdf(const std::u16string& input, const std::u16string& output, const DocumentInfo& info) {
  int32_t result = kConverted;
  try {
    return run(input, output, info, result);
  } catch (const std::exception& e) {
    log::failure("orvalin", messageOf(e));
  } catch (...) {
    log::failure("orvalin", u"unknown exception");
  }
  return result == kConverted ? kConvertFailed : result;
}

}  // namespace velmoro::convert
