// Recording and saving one page of a 256-participant bracket: about 2,000 EMF records
// (lines, connectors, names, results, font and pen changes).
#include "bracket_page.h"
#include "common/unicode.h"
#include "pdf/metafile_document.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

using namespace velmoro;

uint32_t drawBracket(pdf::TMetafileDocument& doc) {
  bench::drawBracketPage(doc);
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
