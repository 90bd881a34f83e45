// Recording and saving one page of a 256-participant bracket: about 2,000 EMF records
// (lines, connectors, names, results, font and pen changes).
#include "common/unicode.h"
#include "pdf/metafile_document.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace velmoro;

uint32_t drawBracket(pdf::TMetafileDocument& doc) {
  doc.AddPage();
  platform::TCanvas& c = *doc.Canvas();
  const TRect r = doc.GetPrintRect();
  c.Font.Name = u"Arial";
  int32_t row = (r.bottom - r.top) / 256;
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
      c.DrawText(u"Participant " + text::fromAscii(std::to_string(m + 1)), name,
                 platform::DT_SINGLELINE | platform::DT_BOTTOM | platform::DT_END_ELLIPSIS | platform::DT_NOPREFIX |
                     platform::DT_NOCLIP);
      c.Font.Height = -6;
      c.Font.SetBold(false);
      c.TextOut(x + 4, y + row + 2, u"6:4 7:5");
    }
  }
  doc.CloseCanvas();
  return doc.Page(doc.Count() - 1).RecordCount();
}

void BM_RecordAndSavePage(benchmark::State& state) {
  const std::string path = (std::filesystem::temp_directory_path() / ("velmoro-bench-" + std::to_string(::getpid()) + ".emf")).string();
  uint64_t records = 0;
  for (auto _ : state) {
    pdf::TMetafileDocument doc;
    doc.Margins = {10, 10, 10, 10};
    records += drawBracket(doc);
    doc.SaveToFiles(text::fromUtf8(path));
  }
  std::filesystem::remove(path);
  state.counters["records"] = benchmark::Counter(static_cast<double>(records) / state.iterations());
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordAndSavePage)->Unit(benchmark::kMillisecond);

// The same page kept in memory, as pages are until the draw is finished: recording
// alone, without the file system's flush.
void BM_RecordPage(benchmark::State& state) {
  uint64_t records = 0;
  for (auto _ : state) {
    pdf::TMetafileDocument doc;
    doc.Margins = {10, 10, 10, 10};
    records += drawBracket(doc);
    benchmark::DoNotOptimize(doc.Page(0).Bytes());
  }
  state.counters["records/s"] = benchmark::Counter(static_cast<double>(records), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_RecordPage)->Unit(benchmark::kMillisecond);

}  // namespace
