// A whole draw request: a 256-player single-elimination sheet from its participants
// file, saved as EMF and as PDF, through the engine as the library's export runs it.
#include "common/unicode.h"
#include "generator/engine.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

fs::path prepare() {
  fs::path dir = fs::temp_directory_path() / "velmoro-draw-bench";
  fs::create_directories(dir);
  std::ofstream players(dir / "players.txt", std::ios::binary);
  players << "#Name;Short;Club\r\n";
  for (int i = 1; i <= 256; ++i) players << "Player Number" << i << ";Number " << i << ";Club " << i % 17 << "\r\n";
  return dir;
}

void drawSheet(benchmark::State& state, const char16_t* format) {
  const fs::path dir = prepare();
  const std::u16string folder = velmoro::text::fromUtf8(dir.string()) + u"/";
  for (auto _ : state) {
    fs::remove(dir / "schedule.txt");
    velmoro::draw::TDrawEngine engine;
    engine.Config.setText(u"DrawScriptID=se\r\nPaperSize=A1\r\nDrawShowSeed=1\r\nDrawTitle=Bench\r\nTargetFormat=" +
                          std::u16string(format) + u"\r\nDataParticipantsFile=" + folder +
                          u"players.txt\r\nDataScheduleFile=" + folder + u"schedule.txt\r\nTargetFile=" + folder +
                          u"sheet\r\n");
    engine.Execute();
    if (!engine.ErrorMessage.empty()) state.SkipWithError(velmoro::text::toUtf8(engine.ErrorMessage).c_str());
  }
  fs::remove_all(dir);
}

void BM_Draw256AsEmf(benchmark::State& state) { drawSheet(state, u"Emf"); }
void BM_Draw256AsPdf(benchmark::State& state) { drawSheet(state, u"Pdf"); }
BENCHMARK(BM_Draw256AsEmf)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Draw256AsPdf)->Unit(benchmark::kMillisecond);

}  // namespace
