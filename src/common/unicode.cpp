#include "common/unicode.h"

#include <unicode/uchar.h>   // u_foldCase
#include <unicode/utf16.h>   // U16_NEXT
#include <unicode/ustring.h> // UTF-8 conversion, case mapping

#include <stdexcept>

namespace velmoro::text {

std::u16string fromUtf8(std::string_view utf8) {
  if (utf8.empty()) return {};
  std::u16string out(utf8.size(), u'\0');  // UTF-16 never needs more units than UTF-8 bytes
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, utf8.data(),
                       static_cast<int32_t>(utf8.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) throw std::runtime_error("UTF-8 conversion failed");
  out.resize(static_cast<size_t>(length));
  return out;
}

std::string toUtf8(std::u16string_view utf16) {
  if (utf16.empty()) return {};
  std::string out(utf16.size() * 3, '\0');
  int32_t length = 0;
  UErrorCode status = U_ZERO_ERROR;
  u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &length, utf16.data(),
                     static_cast<int32_t>(utf16.size()), 0xFFFD, nullptr, &status);
  if (U_FAILURE(status)) throw std::runtime_error("UTF-16 conversion failed");
  out.resize(static_cast<size_t>(length));
  return out;
}

std::u16string fromAscii(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

int compareIgnoreCase(std::u16string_view a, std::u16string_view b) {
  // Simple folding, one code point against one: "ß" never equals "ss".
  size_t i = 0, j = 0;
  while (i < a.size() && j < b.size()) {
    UChar32 ca, cb;
    U16_NEXT(a.data(), i, a.size(), ca);
    U16_NEXT(b.data(), j, b.size(), cb);
    ca = u_foldCase(ca, U_FOLD_CASE_DEFAULT);
    cb = u_foldCase(cb, U_FOLD_CASE_DEFAULT);
    if (ca != cb) return ca < cb ? -1 : 1;
  }
  if (i < a.size()) return 1;
  if (j < b.size()) return -1;
  return 0;
}

bool equalsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return compareIgnoreCase(a, b) == 0;
}

std::u16string toLower(std::u16string_view s) {
  if (s.empty()) return {};
  std::u16string out(s.size(), u'\0');
  UErrorCode status = U_ZERO_ERROR;
  int32_t length = u_strToLower(out.data(), static_cast<int32_t>(out.size()), s.data(),
                                static_cast<int32_t>(s.size()), "", &status);
  if (status == U_BUFFER_OVERFLOW_ERROR) {
    out.resize(static_cast<size_t>(length));
    status = U_ZERO_ERROR;
    length = u_strToLower(out.data(), length, s.data(), static_cast<int32_t>(s.size()), "",
                          &status);
  }
  if (U_FAILURE(status)) throw std::runtime_error("case mapping failed");
  out.resize(static_cast<size_t>(length));
  return out;
}

std::u16string_view trim(std::u16string_view s) {
  size_t b = 0, e = s.size();
  while (b < e && s[b] <= u' ') ++b;
  while (e > b && s[e - 1] <= u' ') --e;
  return s.substr(b, e - b);
}

}  // namespace velmoro::text
