// The exports of liborvalin.so: EMF files into one PDF per call.
#include "common/unicode.h"
#include "converter/convert.h"

#include <cstdint>
#include <string>

namespace {

std::u16string text16(const char16_t* s) { return s ? std::u16string(s) : std::u16string(); }

}  // namespace

extern "C" __attribute__((visibility("default"))) int32_t ConvertEmfToPDFFileW(
    const char16_t* input, const char16_t* output, const char16_t* title, const char16_t* subject,
    const char16_t* author, const char16_t* keywords) {
  try {
    velmoro::convert::DocumentInfo info{text16(title), text16(subject), text16(keywords), std::nullopt};
    if (author) info.author = std::u16string(author);  // null: the calling program's company
    return velmoro::convert::convertEmfToPdf(text16(input), text16(output), info);
  } catch (...) {
    return velmoro::convert::kConvertFailed;
  }
}

extern "C" __attribute__((visibility("default"))) int32_t ConvertEmfToPDFFileA(const char* input, const char* output,
                                                                              const char* title, const char* subject,
                                                                              const char* author,
                                                                              const char* keywords) {
  try {
    // The 8-bit code page of this system is UTF-8; null pointers become empty texts.
    auto u = [](const char* s) { return velmoro::text::fromUtf8(s ? s : ""); };
    std::u16string in = u(input), out = u(output), t = u(title), s = u(subject), a = u(author), k = u(keywords);
    return ConvertEmfToPDFFileW(in.c_str(), out.c_str(), t.c_str(), s.c_str(), a.c_str(), k.c_str());
  } catch (...) {
    return velmoro::convert::kConvertFailed;
  }
}
