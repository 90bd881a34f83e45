// Resource archives at the end of program files.
#include "platform/resources.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto resources = velmoro::platform::parseResourceArchive({data, size});
  (void)velmoro::platform::programSizeWithoutArchive({data, size});
  if (const auto* v = velmoro::platform::findResource(resources, velmoro::platform::kVersionType))
    (void)velmoro::TVersionInfo(v->data).ProductName();
  return 0;
}
