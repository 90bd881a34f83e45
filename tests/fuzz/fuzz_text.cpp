// Text files and configuration lists from outside: any bytes must decode and parse.
#include "common/config_list.h"
#include "common/text_file.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string text = velmoro::text::decodeText({data, size});
  velmoro::TConfigList list(text);
  for (const auto& line : list.lines()) {
    std::u16string_view name = std::u16string_view(line).substr(0, line.find(u'='));
    int32_t v;
    velmoro::parseInteger(list.value(name), v);
    velmoro::parseBoolean(list.value(name), false);
  }
  list.setValue(u"TargetFile", u"x");
  return 0;
}
