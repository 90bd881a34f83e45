// Reading a request: decoding the configuration text and looking keys up in it. A draw
// reads some fifty keys from a list of about as many lines.
#include "common/config_list.h"
#include "common/text_file.h"
#include "common/unicode.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

std::string configText(int lines) {
  std::string s = "\xEF\xBB\xBF";
  for (int i = 0; i < lines; ++i) s += "DrawKey" + std::to_string(i) + "=Value \xC3\xA9 " + std::to_string(i) + "\r\n";
  return s;
}

void BM_DecodeConfiguration(benchmark::State& state) {
  std::string bytes = configText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    velmoro::TConfigList list(velmoro::text::decodeText({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}));
    benchmark::DoNotOptimize(list.lines().size());
  }
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(bytes.size()));
}
BENCHMARK(BM_DecodeConfiguration)->Arg(50)->Arg(5000);

void BM_LookupEveryKey(benchmark::State& state) {
  std::string bytes = configText(50);
  velmoro::TConfigList list(velmoro::text::decodeText({reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()}));
  std::vector<std::u16string> keys;
  for (int i = 0; i < 50; ++i) keys.push_back(velmoro::text::fromAscii("drawkey" + std::to_string(i)));
  for (auto _ : state)
    for (const auto& k : keys) benchmark::DoNotOptimize(list.value(k));
}
BENCHMARK(BM_LookupEveryKey);

}  // namespace
