// Version blocks of other programs' files.
#include "common/version_info.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  velmoro::TVersionInfo info({data, size});
  (void)info.CompanyName();
  (void)info.ProductVersion();
  (void)info.FileVersion();
  return 0;
}
