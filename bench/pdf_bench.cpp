// EMF pages to PDF: bracket pages of 256 participants (about 2,000 records each: lines,
// connectors, names, results, font and pen changes) rendered onto the pages of one
// document and written, as the engine and the converter do. Reported: pages per second
// and the peak resident memory of the process. The aim is 100 pages in under 0.2 s and
// under 64 MB. The last benchmark takes the usual Linux route for the same page.
#include "bracket_page.h"
#include "common/unicode.h"
#include "pdf/emf_renderer.h"
#include "pdf/metafile_document.h"
#include "pdf/pdf_document.h"
#include "platform/emf_reader.h"

#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace velmoro;

std::vector<uint8_t> bracketPage(int variant) {
  pdf::TMetafileDocument doc;
  doc.Margins = {10, 10, 10, 10};
  bench::drawBracketPage(doc, variant * 256 + 1);
  return doc.Page(0).Bytes();
}

double peakMegabytes() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024.0;  // kilobytes on Linux
}

// 100 pages (ten different ones, each ten times) into one PDF, written to memory.
void BM_EmfToPdf100BracketPages(benchmark::State& state) {
  std::vector<std::vector<uint8_t>> pages;
  for (int i = 0; i < 10; ++i) pages.push_back(bracketPage(i));
  const int32_t width = 794, height = 1123;
  size_t bytes = 0;
  for (auto _ : state) {
    pdf::TPdfDocument doc;
    for (int i = 0; i < 100; ++i) {
      doc.AddPage();
      pdf::RenderMetaFile(doc.Canvas(), emf::parseEmf(pages[i % pages.size()]), width, height);
    }
    bytes = doc.SaveToBytes().size();
  }
  state.counters["pages/s"] = benchmark::Counter(100.0 * state.iterations(), benchmark::Counter::kIsRate);
  state.counters["pdf_kB"] = benchmark::Counter(bytes / 1024.0);
  state.counters["peak_MB"] = benchmark::Counter(peakMegabytes());
}
BENCHMARK(BM_EmfToPdf100BracketPages)->Unit(benchmark::kMillisecond);

// One page alone: the cost a single-sheet draw pays, fonts set up included.
void BM_EmfToPdfOnePage(benchmark::State& state) {
  const std::vector<uint8_t> page = bracketPage(0);
  size_t bytes = 0;
  for (auto _ : state) {
    pdf::TPdfDocument doc;
    doc.AddPage();
    pdf::RenderMetaFile(doc.Canvas(), emf::parseEmf(page), 794, 1123);
    bytes = doc.SaveToBytes().size();
  }
  state.counters["pages/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["pdf_kB"] = benchmark::Counter(bytes / 1024.0);
}
BENCHMARK(BM_EmfToPdfOnePage)->Unit(benchmark::kMillisecond);

// Runs a program with arguments, no shell; true when it exits with 0.
bool runTool(std::vector<std::string> argv) {
  std::vector<char*> args;
  for (auto& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  pid_t pid;
  if (::posix_spawnp(&pid, args[0], nullptr, nullptr, args.data(), environ) != 0) return false;
  int status = 0;
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The usual route beside it: the same page through emf2svg-conv, then rsvg-convert to PDF.
void BM_UsualRouteOnePage(benchmark::State& state) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("velmoro-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::vector<uint8_t> page = bracketPage(0);
  std::ofstream(dir / "page.emf", std::ios::binary).write(reinterpret_cast<const char*>(page.data()), page.size());
  const std::string emf = (dir / "page.emf").string(), svg = (dir / "page.svg").string(), pdf = (dir / "page.pdf").string();
  for (auto _ : state) {
    if (!runTool({"emf2svg-conv", "-i", emf, "-o", svg}) || !runTool({"rsvg-convert", "-f", "pdf", "-o", pdf, svg})) {
      state.SkipWithError("emf2svg-conv or rsvg-convert is missing");
      break;
    }
  }
  std::error_code ec;
  state.counters["pages/s"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["pdf_kB"] = benchmark::Counter(fs::file_size(pdf, ec) / 1024.0);
  fs::remove_all(dir, ec);
}
BENCHMARK(BM_UsualRouteOnePage)->Unit(benchmark::kMillisecond)->UseRealTime();  // the work is in child processes

}  // namespace
