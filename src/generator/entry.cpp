// The exports of libVLGN.so: one draw request per call.
#include "common/unicode.h"
#include "generator/request.h"

#include <cstdint>
#include <string>

namespace {

std::u16string_view view(const char16_t* s) { return s ? std::u16string_view(s) : std::u16string_view(); }

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t VLGNW(const char16_t* configFile,
                                                               const char16_t* targetFile,
                                                               int32_t keepEmf) {
  // Only the low 16 bits of the flag count.
  return velmoro::draw::runDrawRequest(view(configFile), view(targetFile), (keepEmf & 0xFFFF) != 0);
}

extern "C" __attribute__((visibility("default"))) int32_t VLGNA(const char* configFile,
                                                               const char* targetFile,
                                                               int32_t keepEmf) {
  try {
    // The 8-bit code page of this system is UTF-8.
    std::u16string config = velmoro::text::fromUtf8(configFile ? configFile : "");
    std::u16string target = velmoro::text::fromUtf8(targetFile ? targetFile : "");
    return VLGNW(config.c_str(), target.c_str(), keepEmf & 0xFFFF);
  } catch (...) {
    return velmoro::draw::kResultException;
  }
}
