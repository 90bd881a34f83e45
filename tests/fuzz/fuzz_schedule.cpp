// Schedule files as users edit them: read, count, turn results, write back, read again.
#include "common/text_file.h"
#include "generator/result_turning.h"
#include "generator/schedule.h"
#include "generator/standings.h"

#include <cstdlib>

using namespace velmoro::draw;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text = velmoro::text::decodeText({data, size});
  TMatchList list;
  parseSchedule(list, text, 16);
  std::array<int32_t, 12> a{}, b{};
  for (const auto& item : list.items()) {
    countMatch(*item.match, a, b);
    (void)turnResult(item.match->Result);
    (void)turnDetailedResult(item.match->DetailedResult);
  }
  // What is written reads back to the same file.
  std::u16string written = scheduleText(list);
  TMatchList again;
  parseSchedule(again, written, 16);
  if (scheduleText(again) != written) std::abort();
  return 0;
}
