// The page the drawing benchmarks record: one 256-participant bracket, about 2,000 EMF
// records (connectors, names, results, font and pen changes), drawn with the real
// canvas on a new page of doc. first numbers the participants, so that pages can differ.
#pragma once

#include "common/unicode.h"
#include "pdf/metafile_document.h"

#include <string>

namespace velmoro::bench {

inline void drawBracketPage(pdf::TMetafileDocument& doc, int first = 1) {
  doc.AddPage();
  platform::TCanvas& c = *doc.Canvas();
  const TRect r = doc.GetPrintRect();
  c.Font.Name = u"Arial";
  const int32_t row = (r.bottom - r.top) / 256;
  for (int round = 0, matches = 128; matches >= 1; ++round, matches /= 2) {
    const int32_t x = r.left + round * 90, step = (r.bottom - r.top) / matches;
    for (int m = 0; m < matches; ++m) {
      const int32_t y = r.top + m * step;
      c.Pen.Width = round == 0 && m % 8 == 0 ? 2 : 1;
      const TPoint connector[] = {{x, y + row}, {x + 86, y + row}, {x + 86, y + step - row}, {x, y + step - row}};
      c.Polyline(connector);
      c.Font.Height = -8;
      c.Font.SetBold(m % 16 == 0);
      TRect name{x + 4, y, x + 86, y + row};
      c.DrawText(u"Participant " + text::fromAscii(std::to_string(first + m)), name,
                 platform::DT_SINGLELINE | platform::DT_BOTTOM | platform::DT_END_ELLIPSIS | platform::DT_NOPREFIX |
                     platform::DT_NOCLIP);
      c.Font.Height = -6;
      c.Font.SetBold(false);
      c.TextOut(x + 4, y + row + 2, u"6:4 7:5");
    }
  }
  doc.CloseCanvas();
}

}  // namespace velmoro::bench
