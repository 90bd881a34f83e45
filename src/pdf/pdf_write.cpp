#include "pdf/pdf_write.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace velmoro::pdf {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

// Code points 0x80-0x9F of Windows-1252, by byte.
constexpr char16_t kWinAnsi80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

std::string twoDecimals(double v) {
  // Damaged pictures can map to anything: keep every number one a reader accepts.
  if (!std::isfinite(v)) v = 0;
  v = std::clamp(v, -1e9, 1e9);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s.size() == 2 && s[0] == '-' && s[1] == '0') s.erase(0, 1);  // no negative zero
  return s;
}

}  // namespace

std::string formatRealA(double v) { return std::fabs(v) < 0.01 ? "0" : twoDecimals(v); }
std::string formatRealB(double v) { return twoDecimals(v); }

std::string formatDate(std::time_t t) {
  std::tm tm{};
  ::localtime_r(&t, &tm);
  char buf[80];
  std::snprintf(buf, sizeof buf, "D:%04d%02d%02d%02d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
                tm.tm_hour, tm.tm_min, tm.tm_sec);
  return buf;
}

uint8_t toWinAnsi(char16_t c, bool& ok) {
  ok = true;
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<uint8_t>(c);
  for (int i = 0; i < 32; ++i)
    if (kWinAnsi80[i] == c) return static_cast<uint8_t>(0x80 + i);
  ok = false;
  return 0;
}

TPdfWrite& TPdfWrite::AddInteger(int64_t v) { return Add(std::to_string(v)); }

TPdfWrite& TPdfWrite::AddRealA(double v) { return Add(formatRealA(v)).Add(' '); }

TPdfWrite& TPdfWrite::AddRealB(double v) { return Add(formatRealB(v)); }

TPdfWrite& TPdfWrite::AddRealC(double v) {
  if (!std::isfinite(v)) v = 0;
  v = std::clamp(v, -1e9, 1e9);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.6f ", v);
  return Add(buf);
}

TPdfWrite& TPdfWrite::AddName(std::string_view name) {
  Add('/');
  for (unsigned char c : name) {
    bool escape = c <= 32 || c >= 127 || std::string_view("#%()/<>[]{}").find(static_cast<char>(c)) != std::string_view::npos;
    if (escape) {
      Add('#').Add(kHex[c >> 4]).Add(kHex[c & 15]);
    } else {
      Add(static_cast<char>(c));
    }
  }
  return *this;
}

TPdfWrite& TPdfWrite::AddLiteral(std::string_view bytes) {
  Add('(');
  for (char c : bytes) {
    switch (c) {
      case '(': case ')': case '\\': Add('\\').Add(c); break;
      case '\b': Add("\\b"); break;
      case '\t': Add("\\t"); break;
      case '\n': Add("\\n"); break;
      case '\f': Add("\\f"); break;
      case '\r': break;
      default: Add(c);
    }
  }
  return Add(')');
}

TPdfWrite& TPdfWrite::AddTextString(std::u16string_view text) {
  // One byte a character only where PDFDocEncoding and Windows-1252 agree, so every
  // viewer shows what was written.
  bool fits = true;
  for (char16_t c : text)
    if (!((c >= 32 && c <= 126) || (c >= 161 && c <= 255 && c != 173))) fits = false;
  if (fits) {
    std::string bytes;
    for (char16_t c : text) bytes.push_back(static_cast<char>(c));  // those code points are their own bytes
    return AddLiteral(bytes);
  }
  Add("<FEFF");
  for (char16_t c : text) Add(kHex[(c >> 12) & 15]).Add(kHex[(c >> 8) & 15]).Add(kHex[(c >> 4) & 15]).Add(kHex[c & 15]);
  return Add('>');
}

TPdfWrite& TPdfWrite::AddHex(std::string_view bytes) {
  for (unsigned char c : bytes) Add(kHex[c >> 4]).Add(kHex[c & 15]);
  return *this;
}

TPdfWrite& TPdfWrite::AddColor(uint32_t colorref) {
  AddRealA((colorref & 0xFF) / 255.0);
  AddRealA(((colorref >> 8) & 0xFF) / 255.0);
  return AddRealA(((colorref >> 16) & 0xFF) / 255.0);
}

}  // namespace velmoro::pdf
