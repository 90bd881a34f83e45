// Rendering an EMF picture into the content of one PDF page: the records are walked in
// order and the matching PDF operators written through the document's canvas. Lines,
// polygons, Béziers, rectangles, rounded rectangles, ellipses, pattern fills, bitmaps
// (as image XObjects, an equal bitmap stored once) and text are translated with the
// state records around them, and this system's comments become named destinations and
// links; everything else is skipped.
// Pictures from outside are untrusted: a damaged record raises velmoro::Error, and
// handles outside the header's table are ignored.
#pragma once

#include "pdf/pdf_canvas.h"
#include "platform/emf_reader.h"

namespace velmoro::pdf {

struct RenderOptions {
  double scale = 1.0, xOffset = 0, yOffset = 0;
  double deviceDpi = 0;  // pixels per inch of the picture's logical units; 0: the screen's
  bool textJustification = true;
  double scalingLower = 99.0, scalingUpper = 101.0;
};

// Renders picture (widthPx x heightPx pixels) onto the canvas's current page.
void RenderMetaFile(TPdfCanvas& canvas, const emf::TEmfFile& picture, int32_t widthPx, int32_t heightPx,
                    const RenderOptions& options = {});

}  // namespace velmoro::pdf
