#include "engine/natives.h"

#include "common/unicode.h"
#include "engine/lexer.h"
#include "engine/opcodes.h"
#include "engine/variant.h"
#include "engine/vm.h"

#include <unicode/uchar.h>  // u_toupper
#include <unicode/utf16.h>  // U16_IS_SURROGATE

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <thread>

namespace velmoro::script {

using vm::Value;
using vm::Tag;

namespace {

const std::u16string& S(const NativeCall& c, int k) { return c.args[k].str(); }
int64_t I(const NativeCall& c, int k) { return c.args[k].i; }
double F(const NativeCall& c, int k) { return c.args[k].d; }
Value str(std::u16string s) { return Value::string(std::move(s)); }
Value integer(int64_t v) { return Value::integer(v); }
Value real(double v) { return Value::real(v); }
Value none() { return Value(); }
Value boolean(bool b) { return Value::integer(b); }

std::u16string ascii(const std::string& s) { return std::u16string(s.begin(), s.end()); }

[[noreturn]] void convertError(NativeCall& c, std::u16string msg) { c.machine.raise(u"EConvertError", std::move(msg)); }

double checkedFloat(NativeCall& c, double v) {
  if (std::isnan(v)) c.machine.raise(u"EInvalidOp", u"Invalid floating point operation");
  if (std::isinf(v)) c.machine.raise(u"EOverflow", u"Floating point overflow");
  return v;
}

int64_t toInt64(NativeCall& c, double v) {
  if (!(std::fabs(v) < 9.2e18)) c.machine.raise(u"EInvalidOp", u"Invalid floating point operation");
  return static_cast<int64_t>(v);
}

// ---- strings ----
std::u16string upperAscii(std::u16string s) {
  for (auto& ch : s)
    if (ch >= u'a' && ch <= u'z') ch = static_cast<char16_t>(ch - 32);
  return s;
}
std::u16string lowerAscii(std::u16string s) {
  for (auto& ch : s)
    if (ch >= u'A' && ch <= u'Z') ch = static_cast<char16_t>(ch + 32);
  return s;
}
Value nLength(NativeCall& c) {
  const Value& v = c.args[0];
  switch (v.tag) {
    case Tag::Str: return integer(static_cast<int64_t>(v.str().size()));
    case Tag::Array: return integer(v.h ? static_cast<int64_t>(vm::agg(v)->v.size()) : 0);
    default: return integer(static_cast<int64_t>(vm::variantText(c.machine, v).size()));
  }
}

std::u16string copyOf(const std::u16string& s, int64_t index, int64_t count) {
  if (index < 1) index = 1;
  if (count <= 0 || index > static_cast<int64_t>(s.size())) return {};
  return s.substr(static_cast<size_t>(index - 1), static_cast<size_t>(std::min<int64_t>(count, static_cast<int64_t>(s.size()))));
}
Value nCopy(NativeCall& c) { return str(copyOf(S(c, 0), I(c, 1), I(c, 2))); }
Value nCopy2(NativeCall& c) { return str(copyOf(S(c, 0), I(c, 1), INT64_MAX)); }
Value nPos(NativeCall& c) {
  if (S(c, 0).empty()) return integer(0);
  size_t p = S(c, 1).find(S(c, 0));
  return integer(p == std::u16string::npos ? 0 : static_cast<int64_t>(p) + 1);
}
Value nPosEx(NativeCall& c) {
  int64_t from = I(c, 2);
  if (S(c, 0).empty() || from < 1 || from > static_cast<int64_t>(S(c, 1).size())) return integer(0);
  size_t p = S(c, 1).find(S(c, 0), static_cast<size_t>(from - 1));
  return integer(p == std::u16string::npos ? 0 : static_cast<int64_t>(p) + 1);
}
Value nInsert(NativeCall& c) {
  Value* target = c.args[1].ref;
  std::u16string s = target->str();
  int64_t at = I(c, 2);
  if (at < 1) at = 1;
  if (at > static_cast<int64_t>(s.size())) at = static_cast<int64_t>(s.size()) + 1;
  s.insert(static_cast<size_t>(at - 1), S(c, 0));
  *target = str(std::move(s));
  return none();
}
Value nDelete(NativeCall& c) {
  Value* target = c.args[0].ref;
  std::u16string s = target->str();
  int64_t at = I(c, 1), n = I(c, 2);
  if (at >= 1 && at <= static_cast<int64_t>(s.size()) && n > 0) {
    s.erase(static_cast<size_t>(at - 1), static_cast<size_t>(std::min<int64_t>(n, static_cast<int64_t>(s.size()))));
    *target = str(std::move(s));
  }
  return none();
}
Value nUpper(NativeCall& c) { return str(upperAscii(S(c, 0))); }
Value nLower(NativeCall& c) { return str(lowerAscii(S(c, 0))); }
Value nAnsiUpper(NativeCall& c) {
  // simple (one to one) case mapping: "ß" stays
  std::u16string out = S(c, 0);
  for (size_t k = 0; k < out.size(); ++k) {
    if (U16_IS_SURROGATE(out[k])) continue;
    out[k] = static_cast<char16_t>(u_toupper(out[k]));
  }
  return str(std::move(out));
}
Value nAnsiLower(NativeCall& c) { return str(text::toLower(S(c, 0))); }
Value nUpCase(NativeCall& c) { int64_t ch = I(c, 0); return integer(ch >= 'a' && ch <= 'z' ? ch - 32 : ch); }
Value nLowCase(NativeCall& c) { int64_t ch = I(c, 0); return integer(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch); }
Value nTrim(NativeCall& c) { return str(std::u16string(text::trim(S(c, 0)))); }
Value nTrimLeft(NativeCall& c) {
  const auto& s = S(c, 0);
  size_t b = 0;
  while (b < s.size() && s[b] <= u' ') ++b;
  return str(s.substr(b));
}
Value nTrimRight(NativeCall& c) {
  const auto& s = S(c, 0);
  size_t e = s.size();
  while (e > 0 && s[e - 1] <= u' ') --e;
  return str(s.substr(0, e));
}
int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }
// The difference of the first differing units, or of the lengths.
int64_t difference(const std::u16string& a, const std::u16string& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t k = 0; k < n; ++k)
    if (a[k] != b[k]) return static_cast<int64_t>(a[k]) - static_cast<int64_t>(b[k]);
  return static_cast<int64_t>(a.size()) - static_cast<int64_t>(b.size());
}
Value nCompareStr(NativeCall& c) { return integer(difference(S(c, 0), S(c, 1))); }
Value nCompareText(NativeCall& c) { return integer(difference(lowerAscii(S(c, 0)), lowerAscii(S(c, 1)))); }
Value nSameText(NativeCall& c) { return boolean(lowerAscii(S(c, 0)) == lowerAscii(S(c, 1))); }
Value nSameStr(NativeCall& c) { return boolean(S(c, 0) == S(c, 1)); }
Value nAnsiCompareText(NativeCall& c) { return integer(sign(text::compareIgnoreCase(S(c, 0), S(c, 1)))); }
Value nAnsiSameText(NativeCall& c) { return boolean(text::equalsIgnoreCase(S(c, 0), S(c, 1))); }
Value nStringReplace(NativeCall& c) {
  const auto& s = S(c, 0);
  const auto& from = S(c, 1);
  const auto& to = S(c, 2);
  const Value& flags = c.args[3];
  bool all = flags.h && vm::setOf(flags)->bits.test(0);
  bool ignore = flags.h && vm::setOf(flags)->bits.test(1);
  if (from.empty()) return str(s);
  std::u16string hay = ignore ? text::toLower(s) : s;
  std::u16string needle = ignore ? text::toLower(from) : from;
  if (hay.size() != s.size()) {  // lower-casing changed lengths: fall back to exact search
    hay = s;
    needle = from;
  }
  std::u16string out;
  size_t p = 0;
  for (;;) {
    size_t q = hay.find(needle, p);
    if (q == std::u16string::npos) break;
    out.append(s, p, q - p);
    out += to;
    p = q + needle.size();
    if (!all) break;
  }
  out.append(s, p, std::u16string::npos);
  return str(std::move(out));
}
Value nStringOfChar(NativeCall& c) {
  int64_t n = I(c, 1);
  if (n <= 0) return str({});
  if (n > (1 << 28)) c.machine.raise(u"EOutOfMemory", u"Out of memory");
  return str(std::u16string(static_cast<size_t>(n), static_cast<char16_t>(I(c, 0))));
}
Value nQuotedStr(NativeCall& c) {
  std::u16string out = u"'";
  for (char16_t ch : S(c, 0)) {
    out += ch;
    if (ch == u'\'') out += ch;
  }
  return str(out + u"'");
}
Value nLeftStr(NativeCall& c) { return str(copyOf(S(c, 0), 1, I(c, 1))); }
Value nRightStr(NativeCall& c) {
  const auto& s = S(c, 0);
  int64_t n = std::min<int64_t>(std::max<int64_t>(I(c, 1), 0), static_cast<int64_t>(s.size()));
  return str(s.substr(s.size() - static_cast<size_t>(n)));
}
Value nMidStr(NativeCall& c) { return str(copyOf(S(c, 0), I(c, 1), I(c, 2))); }
Value nReverse(NativeCall& c) { std::u16string s = S(c, 0); std::reverse(s.begin(), s.end()); return str(s); }
Value nSetLengthStr(NativeCall& c) {
  Value* target = c.args[0].ref;
  int64_t n = I(c, 1);
  if (n < 0) n = 0;
  if (n > (1 << 28)) c.machine.raise(u"EOutOfMemory", u"Out of memory");
  std::u16string s = target->str();
  s.resize(static_cast<size_t>(n), u'\0');
  *target = str(std::move(s));
  return none();
}

// ---- conversions ----
Value nIntToStr(NativeCall& c) { return str(intToStr(I(c, 0))); }
Value nIntToHex(NativeCall& c) {
  char buf[32];
  int digits = static_cast<int>(std::clamp<int64_t>(I(c, 1), 0, 16));
  std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(I(c, 0)));
  return str(ascii(buf));
}
Value nStrToInt(NativeCall& c) {
  int64_t v;
  if (!parseInt(S(c, 0), v)) convertError(c, u"'" + S(c, 0) + u"' is not a valid integer value");
  return integer(v);
}
Value nStrToIntDef(NativeCall& c) {
  int64_t v;
  return integer(parseInt(S(c, 0), v) ? v : I(c, 1));
}
Value nTryStrToInt(NativeCall& c) {
  int64_t v;
  if (!parseInt(S(c, 0), v)) return boolean(false);
  *c.args[1].ref = integer(v);
  return boolean(true);
}
Value nFloatToStr(NativeCall& c) { return str(floatToStr(F(c, 0))); }
Value nStrToFloat(NativeCall& c) {
  double v;
  if (!parseFloat(S(c, 0), v)) convertError(c, u"'" + S(c, 0) + u"' is not a valid floating point value");
  return real(v);
}
Value nStrToFloatDef(NativeCall& c) {
  double v;
  return real(parseFloat(S(c, 0), v) ? v : F(c, 1));
}
Value nTryStrToFloat(NativeCall& c) {
  double v;
  if (!parseFloat(S(c, 0), v)) return boolean(false);
  *c.args[1].ref = real(v);
  return boolean(true);
}
Value nBoolToStr(NativeCall& c) { return str(I(c, 0) ? u"-1" : u"0"); }
Value nBoolToStr2(NativeCall& c) {
  if (I(c, 1)) return str(I(c, 0) ? u"True" : u"False");
  return str(I(c, 0) ? u"-1" : u"0");
}
Value nStrToBool(NativeCall& c) {
  std::u16string s = lowerAscii(std::u16string(text::trim(S(c, 0))));
  if (s == u"true" || s == u"yes" || s == u"-1" || s == u"1") return boolean(true);
  if (s == u"false" || s == u"no" || s == u"0") return boolean(false);
  int64_t v;
  if (parseInt(s, v)) return boolean(v != 0);
  convertError(c, u"'" + S(c, 0) + u"' is not a valid boolean value");
}
// Fixed notation with decimals, halves rounded away from zero as the decimal text shows.
std::string fixedText(double v, int decimals) {
  char buf[512];
  double scale = std::pow(10.0, decimals);
  if (decimals <= 15 && std::fabs(v * scale) < 1e15) {
    double r = std::round(v * scale) / scale;
    std::snprintf(buf, sizeof buf, "%.*f", decimals, r);
  } else {
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  }
  return buf;
}

std::u16string groupThousands(const std::string& fixed) {
  size_t dot = fixed.find('.');
  std::string intPart = fixed.substr(0, dot == std::string::npos ? fixed.size() : dot);
  std::string rest = dot == std::string::npos ? "" : fixed.substr(dot);
  bool neg = !intPart.empty() && intPart[0] == '-';
  if (neg) intPart.erase(0, 1);
  std::string out;
  for (size_t k = 0; k < intPart.size(); ++k) {
    if (k > 0 && (intPart.size() - k) % 3 == 0) out += ',';
    out += intPart[k];
  }
  return ascii((neg ? "-" : "") + out + rest);
}
Value nFormatFloat(NativeCall& c) {
  const std::u16string& f = S(c, 0);
  double v = F(c, 1);
  // sections: positive;negative;zero — the first one serves here
  std::u16string fmt = f.substr(0, f.find(u';'));
  size_t dot = fmt.find(u'.');
  int decimals = 0, minDecimals = 0, minInt = 0;
  bool thousands = fmt.find(u',') != std::u16string::npos;
  std::u16string prefix, suffix;
  size_t firstDigit = fmt.find_first_of(u"0#");
  size_t lastDigit = fmt.find_last_of(u"0#");
  if (firstDigit == std::u16string::npos) return str(fmt);
  prefix = fmt.substr(0, firstDigit);
  suffix = fmt.substr(lastDigit + 1);
  for (size_t k = firstDigit; k <= lastDigit; ++k) {
    if (dot != std::u16string::npos && k > dot) {
      if (fmt[k] == u'0') { ++decimals; minDecimals = decimals; }
      else if (fmt[k] == u'#') ++decimals;
    } else if (fmt[k] == u'0') {
      ++minInt;
    }
  }
  std::string s = fixedText(v, decimals);
  // drop optional trailing decimals
  if (decimals > minDecimals) {
    size_t p = s.find('.');
    size_t keep = p + 1 + static_cast<size_t>(minDecimals);
    while (s.size() > keep && s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  bool neg = !s.empty() && s[0] == '-';
  if (neg) s.erase(0, 1);
  size_t p = s.find('.');
  std::string intPart = s.substr(0, p);
  std::string frac = p == std::string::npos ? "" : s.substr(p);
  if (intPart == "0" && minInt == 0) intPart = "";
  while (static_cast<int>(intPart.size()) < minInt) intPart = "0" + intPart;
  std::u16string body = thousands ? groupThousands(intPart) : ascii(intPart);
  bool allZero = true;
  for (char ch : intPart + frac)
    if (ch >= '1' && ch <= '9') allZero = false;
  return str((neg && !allZero ? u"-" : u"") + prefix + body + ascii(frac) + suffix);
}
Value nFormat(NativeCall& c) { return str(formatText(c.machine, S(c, 0), c.args[1])); }

// ---- math ----
Value nAbsI(NativeCall& c) { int64_t v = I(c, 0); return integer(v < 0 ? static_cast<int64_t>(0ull - static_cast<uint64_t>(v)) : v); }
Value nAbsF(NativeCall& c) { return real(std::fabs(F(c, 0))); }
Value nSqrI(NativeCall& c) { return integer(static_cast<int64_t>(static_cast<uint64_t>(I(c, 0)) * static_cast<uint64_t>(I(c, 0)))); }
Value nSqrF(NativeCall& c) { return real(F(c, 0) * F(c, 0)); }
Value nSqrt(NativeCall& c) { return real(checkedFloat(c, std::sqrt(F(c, 0)))); }
Value nSin(NativeCall& c) { return real(std::sin(F(c, 0))); }
Value nCos(NativeCall& c) { return real(std::cos(F(c, 0))); }
Value nTan(NativeCall& c) { return real(std::tan(F(c, 0))); }
Value nArcTan(NativeCall& c) { return real(std::atan(F(c, 0))); }
Value nArcTan2(NativeCall& c) { return real(std::atan2(F(c, 0), F(c, 1))); }
Value nExp(NativeCall& c) { return real(checkedFloat(c, std::exp(F(c, 0)))); }
Value nLn(NativeCall& c) {
  if (F(c, 0) <= 0) c.machine.raise(u"EInvalidOp", u"Invalid floating point operation");
  return real(std::log(F(c, 0)));
}
Value nLog10(NativeCall& c) { return real(checkedFloat(c, std::log10(F(c, 0)))); }
Value nLog2(NativeCall& c) { return real(checkedFloat(c, std::log2(F(c, 0)))); }
Value nPower(NativeCall& c) { return real(checkedFloat(c, std::pow(F(c, 0), F(c, 1)))); }
Value nInt(NativeCall& c) { return real(std::trunc(F(c, 0))); }
Value nFrac(NativeCall& c) { return real(F(c, 0) - std::trunc(F(c, 0))); }
Value nTrunc(NativeCall& c) { return integer(toInt64(c, std::trunc(F(c, 0)))); }
Value nRound(NativeCall& c) { return integer(toInt64(c, std::nearbyint(F(c, 0)))); }
Value nCeil(NativeCall& c) { return integer(toInt64(c, std::ceil(F(c, 0)))); }
Value nFloor(NativeCall& c) { return integer(toInt64(c, std::floor(F(c, 0)))); }
Value nMaxI(NativeCall& c) { return integer(std::max(I(c, 0), I(c, 1))); }
Value nMinI(NativeCall& c) { return integer(std::min(I(c, 0), I(c, 1))); }
Value nMaxF(NativeCall& c) { return real(std::max(F(c, 0), F(c, 1))); }
Value nMinF(NativeCall& c) { return real(std::min(F(c, 0), F(c, 1))); }
Value nRandomF(NativeCall& c) { return real(c.machine.randomNext() / 4294967296.0); }
Value nRandomI(NativeCall& c) {
  int64_t n = I(c, 0);
  if (n <= 0) return integer(0);
  return integer(static_cast<int64_t>((static_cast<uint64_t>(c.machine.randomNext()) * static_cast<uint64_t>(n)) >> 32));
}
Value nRandomRange(NativeCall& c) {
  int64_t lo = std::min(I(c, 0), I(c, 1)), hi = std::max(I(c, 0), I(c, 1));
  if (hi == lo) return integer(lo);
  return integer(lo + static_cast<int64_t>((static_cast<uint64_t>(c.machine.randomNext()) * static_cast<uint64_t>(hi - lo)) >> 32));
}
Value nRandomize(NativeCall& c) {
  c.machine.randomize(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return none();
}

// ---- date and time: days since 1899-12-30, fraction of the day ----
int64_t daysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;  // days since 1970-01-01
}
void civilFromDays(int64_t z, int64_t& y, int64_t& m, int64_t& d) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y += m <= 2;
}
constexpr int64_t epochShift = 25569;  // 1970-01-01 as a day number
bool leap(int64_t y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }
int64_t monthDays(int64_t y, int64_t m) {
  static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && leap(y) ? 29 : days[m - 1];
}
struct DateParts {
  int64_t y, m, d, h, n, s, ms;
};
DateParts decode(double dt) {
  DateParts p{};
  if (!(std::fabs(dt) < 1e9)) dt = 0;
  double day = std::floor(dt);
  int64_t msOfDay = static_cast<int64_t>(std::llround((dt - day) * 86400000.0));
  int64_t dayNum = static_cast<int64_t>(day);
  if (dt < 0) {  // negative values count the time backwards from the day
    day = std::trunc(dt);
    dayNum = static_cast<int64_t>(day);
    msOfDay = static_cast<int64_t>(std::llround(std::fabs(dt - day) * 86400000.0));
  }
  if (msOfDay >= 86400000) {
    msOfDay -= 86400000;
    ++dayNum;
  }
  civilFromDays(dayNum - epochShift, p.y, p.m, p.d);
  p.h = msOfDay / 3600000;
  p.n = msOfDay / 60000 % 60;
  p.s = msOfDay / 1000 % 60;
  p.ms = msOfDay % 1000;
  return p;
}
Value nEncodeDate(NativeCall& c) {
  int64_t y = I(c, 0), m = I(c, 1), d = I(c, 2);
  if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > monthDays(y, m))
    convertError(c, u"Invalid argument to date encode");
  return real(static_cast<double>(daysFromCivil(y, m, d) + epochShift));
}
Value nEncodeTime(NativeCall& c) {
  int64_t h = I(c, 0), n = I(c, 1), s = I(c, 2), ms = I(c, 3);
  if (h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59 || ms < 0 || ms > 999)
    convertError(c, u"Invalid argument to time encode");
  return real((h * 3600000 + n * 60000 + s * 1000 + ms) / 86400000.0);
}
Value nDecodeDate(NativeCall& c) {
  DateParts p = decode(F(c, 0));
  *c.args[1].ref = integer(p.y);
  *c.args[2].ref = integer(p.m);
  *c.args[3].ref = integer(p.d);
  return none();
}
Value nDecodeTime(NativeCall& c) {
  DateParts p = decode(F(c, 0));
  *c.args[1].ref = integer(p.h);
  *c.args[2].ref = integer(p.n);
  *c.args[3].ref = integer(p.s);
  *c.args[4].ref = integer(p.ms);
  return none();
}
double nowValue() {
  auto now = std::chrono::system_clock::now();
  std::time_t t = std::chrono::system_clock::to_time_t(now);
  std::tm local{};
  localtime_r(&t, &local);
  int64_t ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  double day = static_cast<double>(daysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) + epochShift);
  return day + (local.tm_hour * 3600000.0 + local.tm_min * 60000.0 + local.tm_sec * 1000.0 + static_cast<double>(ms)) / 86400000.0;
}
Value nNow(NativeCall&) { return real(nowValue()); }
Value nDate(NativeCall&) { return real(std::floor(nowValue())); }
Value nTime(NativeCall&) { double v = nowValue(); return real(v - std::floor(v)); }
Value nDayOfWeek(NativeCall& c) {
  int64_t day = static_cast<int64_t>(std::floor(F(c, 0)));
  return integer(((day - 1) % 7 + 7) % 7 + 1);  // 1 = Sunday
}
Value nIsLeapYear(NativeCall& c) { return boolean(leap(I(c, 0))); }
Value nDaysInAMonth(NativeCall& c) { return integer(monthDays(I(c, 0), I(c, 1))); }
Value nIncDay(NativeCall& c) { return real(F(c, 0) + static_cast<double>(I(c, 1))); }

std::u16string two(int64_t v) {
  char b[8];
  std::snprintf(b, sizeof b, "%02lld", static_cast<long long>(v));
  return ascii(b);
}
std::u16string formatDateTime(std::u16string_view f, double dt) {
  static const char* monthNames[] = {"January", "February", "March", "April", "May", "June", "July",
                                     "August", "September", "October", "November", "December"};
  static const char* dayNames[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  DateParts p = decode(dt);
  int64_t dow = ((static_cast<int64_t>(std::floor(dt)) - 1) % 7 + 7) % 7;
  std::u16string out;
  bool lastWasHour = false;
  auto lower = [](char16_t ch) { return ch >= u'A' && ch <= u'Z' ? static_cast<char16_t>(ch + 32) : ch; };
  bool ampm = false;
  for (size_t k = 0; k + 1 < f.size() || k < f.size(); ++k) {
    std::u16string rest(f.substr(k));
    std::u16string low;
    for (char16_t ch : rest.substr(0, 5)) low += lower(ch);
    if (low.rfind(u"am/pm", 0) == 0 || low.rfind(u"ampm", 0) == 0) ampm = true;
  }
  for (size_t k = 0; k < f.size();) {
    char16_t ch = lower(f[k]);
    size_t run = 1;
    while (k + run < f.size() && lower(f[k + run]) == ch) ++run;
    if (f[k] == u'"' || f[k] == u'\'') {
      char16_t q = f[k];
      size_t e = f.find(q, k + 1);
      if (e == std::u16string_view::npos) e = f.size();
      out += f.substr(k + 1, e - k - 1);
      k = e + 1;
      continue;
    }
    std::u16string low;
    for (char16_t x : f.substr(k, 5)) low += lower(x);
    if (low.rfind(u"am/pm", 0) == 0) {
      out += p.h < 12 ? u"am" : u"pm";
      k += 5;
      continue;
    }
    if (low.rfind(u"ampm", 0) == 0) {
      out += p.h < 12 ? u"AM" : u"PM";
      k += 4;
      continue;
    }
    switch (ch) {
      case u'y':
        if (run >= 3) out += intToStr(p.y);
        else out += two(p.y % 100);
        break;
      case u'm':
        if (lastWasHour && run <= 2) {
          out += run == 2 ? two(p.n) : intToStr(p.n);
        } else if (run >= 4) {
          out += ascii(monthNames[p.m - 1]);
        } else if (run == 3) {
          out += ascii(std::string(monthNames[p.m - 1]).substr(0, 3));
        } else {
          out += run == 2 ? two(p.m) : intToStr(p.m);
        }
        break;
      case u'd':
        if (run >= 4) out += ascii(dayNames[dow]);
        else if (run == 3) out += ascii(std::string(dayNames[dow]).substr(0, 3));
        else out += run == 2 ? two(p.d) : intToStr(p.d);
        break;
      case u'h': {
        int64_t h = ampm ? (p.h % 12 == 0 ? 12 : p.h % 12) : p.h;
        out += run >= 2 ? two(h) : intToStr(h);
        break;
      }
      case u'n': out += run >= 2 ? two(p.n) : intToStr(p.n); break;
      case u's': out += run >= 2 ? two(p.s) : intToStr(p.s); break;
      case u'z': {
        char b[8];
        std::snprintf(b, sizeof b, run >= 3 ? "%03lld" : "%lld", static_cast<long long>(p.ms));
        out += ascii(b);
        break;
      }
      case u'c': out += formatDateTime(u"yyyy-mm-dd hh:nn:ss", dt); break;
      case u'/': out += std::u16string(run, u'-'); break;
      default: out += f.substr(k, run); break;
    }
    if (ch != u' ' && ch != u':') lastWasHour = ch == u'h';
    k += run;
  }
  return out;
}
Value nFormatDateTime(NativeCall& c) { return str(formatDateTime(S(c, 0), F(c, 1))); }
Value nDateToStr(NativeCall& c) { return str(formatDateTime(u"yyyy-mm-dd", F(c, 0))); }
Value nTimeToStr(NativeCall& c) { return str(formatDateTime(u"hh:nn:ss", F(c, 0))); }
Value nDateTimeToStr(NativeCall& c) {
  double v = F(c, 0);
  if (v == std::floor(v)) return str(formatDateTime(u"yyyy-mm-dd", v));
  return str(formatDateTime(u"yyyy-mm-dd hh:nn:ss", v));
}
Value nSleep(NativeCall& c) {
  int64_t ms = std::clamp<int64_t>(I(c, 0), 0, 60000);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  return none();
}

// ---- variants ----
Value nVarToStr(NativeCall& c) { return str(vm::variantText(c.machine, c.args[0])); }
Value nVarIsNull(NativeCall& c) { return boolean(c.args[0].tag == Tag::Null); }
Value nVarIsEmpty(NativeCall& c) { return boolean(c.args[0].tag == Tag::Empty); }
Value nVarType(NativeCall& c) {
  switch (c.args[0].tag) {
    case Tag::Empty: return integer(0);
    case Tag::Null: return integer(1);
    case Tag::Int: return integer(20);  // varInt64
    case Tag::Float: return integer(5);  // varDouble
    case Tag::Bool: return integer(11);  // varBoolean
    case Tag::Str: return integer(258);  // varUString
    default: return integer(12);
  }
}

// ---- compiler helpers ----
Value nReadln(NativeCall& c) {
  auto line = c.machine.readLine();
  return str(line ? *line : std::u16string());
}
Value nFirstChar(NativeCall& c) { return integer(S(c, 0).empty() ? 0 : S(c, 0)[0]); }
Value nFree(NativeCall& c) {
  vm::Machine::freeObject(c.args[0]);
  return none();
}
Value nEnumName(NativeCall& c) {
  int64_t v = I(c, 0);
  const vm::Aggregate* names = vm::agg(c.args[1]);
  if (!names || v < 0 || v >= static_cast<int64_t>(names->v.size())) return str(intToStr(v));
  return names->v[static_cast<size_t>(v)];
}
void resizeArray(NativeCall& c, Value& target, const Value& init, int dim) {
  int64_t n = I(c, 2 + dim);
  if (n < 0) n = 0;
  if (n > (1 << 26)) c.machine.raise(u"EOutOfMemory", u"Out of memory");
  if (n == 0) {
    target = Value::heap(Tag::Array, nullptr);
    return;
  }
  auto* a = new vm::Aggregate;
  if (target.h) a->v = vm::agg(target)->v;  // keep the elements (a new array, as a copy would)
  a->v.resize(static_cast<size_t>(n), dim + 1 < c.argc - 2 ? Value::heap(Tag::Array, nullptr) : init);
  target = Value::heap(Tag::Array, a);
  if (dim + 1 < c.argc - 2)
    for (auto& e : a->v) resizeArray(c, e, init, dim + 1);
}
Value nSetLengthArr(NativeCall& c) {
  resizeArray(c, *c.args[0].ref, c.args[1], 0);
  return none();
}
Value nCopyArray(NativeCall& c) {
  const Value& a = c.args[0];
  if (!a.h) return Value::heap(Tag::Array, nullptr);
  const auto& v = vm::agg(a)->v;
  int64_t from = std::clamp<int64_t>(I(c, 1), 0, static_cast<int64_t>(v.size()));
  int64_t count = std::clamp<int64_t>(I(c, 2), 0, static_cast<int64_t>(v.size()) - from);
  if (count == 0) return Value::heap(Tag::Array, nullptr);
  auto* r = new vm::Aggregate;
  r->v.assign(v.begin() + from, v.begin() + from + count);
  return Value::heap(Tag::Array, r);
}

Value nUnloadDll(NativeCall& c) {
  c.machine.unloadLibrary(c.args[0].str());
  return Value();
}
Value nDllGetLastError(NativeCall& c) { return Value::integer(c.machine.lastLibraryError()); }

const NativeDef table[] = {
    {"length", "*", 'i', nLength},
    {"copy", "sii", 's', nCopy},
    {"copy", "si", 's', nCopy2},
    {"pos", "ss", 'i', nPos},
    {"ansipos", "ss", 'i', nPos},
    {"posex", "ssi", 'i', nPosEx},
    {"posex", "ss", 'i', nPos},
    {"insert", "sSi", '-', nInsert},
    {"delete", "Sii", '-', nDelete},
    {"uppercase", "s", 's', nUpper},
    {"lowercase", "s", 's', nLower},
    {"ansiuppercase", "s", 's', nAnsiUpper},
    {"ansilowercase", "s", 's', nAnsiLower},
    {"upcase", "c", 'c', nUpCase},
    {"lowcase", "c", 'c', nLowCase},
    {"trim", "s", 's', nTrim},
    {"trimleft", "s", 's', nTrimLeft},
    {"trimright", "s", 's', nTrimRight},
    {"comparestr", "ss", 'i', nCompareStr},
    {"comparetext", "ss", 'i', nCompareText},
    {"sametext", "ss", 'b', nSameText},
    {"samestr", "ss", 'b', nSameStr},
    {"ansicomparetext", "ss", 'i', nAnsiCompareText},
    {"ansicomparestr", "ss", 'i', nCompareStr},
    {"ansisametext", "ss", 'b', nAnsiSameText},
    {"stringreplace", "sss*", 's', nStringReplace},
    {"stringofchar", "ci", 's', nStringOfChar},
    {"quotedstr", "s", 's', nQuotedStr},
    {"leftstr", "si", 's', nLeftStr},
    {"rightstr", "si", 's', nRightStr},
    {"midstr", "sii", 's', nMidStr},
    {"reversestring", "s", 's', nReverse},
    {"inttostr", "i", 's', nIntToStr},
    {"inttohex", "ii", 's', nIntToHex},
    {"strtoint", "s", 'i', nStrToInt},
    {"strtoint64", "s", 'i', nStrToInt},
    {"strtointdef", "si", 'i', nStrToIntDef},
    {"strtoint64def", "si", 'i', nStrToIntDef},
    {"trystrtoint", "sI", 'b', nTryStrToInt},
    {"floattostr", "f", 's', nFloatToStr},
    {"strtofloat", "s", 'f', nStrToFloat},
    {"strtofloatdef", "sf", 'f', nStrToFloatDef},
    {"trystrtofloat", "sF", 'b', nTryStrToFloat},
    {"formatfloat", "sf", 's', nFormatFloat},
    {"format", "sa", 's', nFormat},
    {"booltostr", "b", 's', nBoolToStr},
    {"booltostr", "bb", 's', nBoolToStr2},
    {"strtobool", "s", 'b', nStrToBool},
    {"abs", "i", 'i', nAbsI},
    {"abs", "f", 'f', nAbsF},
    {"sqr", "i", 'i', nSqrI},
    {"sqr", "f", 'f', nSqrF},
    {"sqrt", "f", 'f', nSqrt},
    {"sin", "f", 'f', nSin},
    {"cos", "f", 'f', nCos},
    {"tan", "f", 'f', nTan},
    {"arctan", "f", 'f', nArcTan},
    {"arctan2", "ff", 'f', nArcTan2},
    {"exp", "f", 'f', nExp},
    {"ln", "f", 'f', nLn},
    {"log10", "f", 'f', nLog10},
    {"log2", "f", 'f', nLog2},
    {"power", "ff", 'f', nPower},
    {"int", "f", 'f', nInt},
    {"frac", "f", 'f', nFrac},
    {"trunc", "f", 'i', nTrunc},
    {"round", "f", 'i', nRound},
    {"ceil", "f", 'i', nCeil},
    {"floor", "f", 'i', nFloor},
    {"max", "ii", 'i', nMaxI},
    {"max", "ff", 'f', nMaxF},
    {"min", "ii", 'i', nMinI},
    {"min", "ff", 'f', nMinF},
    {"random", "", 'f', nRandomF},
    {"random", "i", 'i', nRandomI},
    {"randomrange", "ii", 'i', nRandomRange},
    {"randomize", "", '-', nRandomize},
    {"now", "", 'd', nNow},
    {"date", "", 'd', nDate},
    {"time", "", 'd', nTime},
    {"encodedate", "iii", 'd', nEncodeDate},
    {"encodetime", "iiii", 'd', nEncodeTime},
    {"decodedate", "dIII", '-', nDecodeDate},
    {"decodetime", "dIIII", '-', nDecodeTime},
    {"dayofweek", "d", 'i', nDayOfWeek},
    {"isleapyear", "i", 'b', nIsLeapYear},
    {"daysinamonth", "ii", 'i', nDaysInAMonth},
    {"incday", "di", 'd', nIncDay},
    {"formatdatetime", "sd", 's', nFormatDateTime},
    {"datetostr", "d", 's', nDateToStr},
    {"timetostr", "d", 's', nTimeToStr},
    {"datetimetostr", "d", 's', nDateTimeToStr},
    {"sleep", "i", '-', nSleep},
    {"vartostr", "v", 's', nVarToStr},
    {"varisnull", "v", 'b', nVarIsNull},
    {"varisempty", "v", 'b', nVarIsEmpty},
    {"vartype", "v", 'i', nVarType},
    {"unloaddll", "s", '-', nUnloadDll},
    {"dllgetlasterror", "", 'i', nDllGetLastError},
    {"__readln", "", 's', nReadln},
    {"__firstchar", "s", 'c', nFirstChar},
    {"__free", "*", '-', nFree},
    {"__enumname", "i*", 's', nEnumName},
    {"__setlengthstr", "Si", '-', nSetLengthStr},
    {"__setlengtharr", "Y*i", '-', nSetLengthArr},
    {"__copyarray", "yii", 'y', nCopyArray},
};

}  // namespace

const NativeDef* nativeTable() { return table; }
int nativeCount() { return static_cast<int>(sizeof table / sizeof table[0]); }

int findNative(std::u16string_view foldedName) {
  for (int k = 0; k < nativeCount(); ++k) {
    const char* n = table[k].name;
    size_t len = std::char_traits<char>::length(n);
    if (len != foldedName.size()) continue;
    bool eq = true;
    for (size_t j = 0; j < len && eq; ++j) eq = foldedName[j] == static_cast<char16_t>(n[j]);
    if (eq) return k;
  }
  return -1;
}

std::u16string intToStr(int64_t v) { return ascii(std::to_string(v)); }

std::u16string floatToStr(double v) {
  if (std::isnan(v)) return u"Nan";
  if (std::isinf(v)) return v > 0 ? u"Inf" : u"-Inf";
  if (v == 0) return u"0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", v);
  std::string s = buf;
  size_t e = s.find('e');
  if (e == std::string::npos) return ascii(s);
  std::string mant = s.substr(0, e);
  std::string ex = s.substr(e + 1);
  bool neg = ex[0] == '-';
  size_t k = (ex[0] == '-' || ex[0] == '+') ? 1 : 0;
  while (k + 1 < ex.size() && ex[k] == '0') ++k;
  return ascii(mant + "E" + (neg ? "-" : "") + ex.substr(k));
}

bool parseInt(std::u16string_view s, int64_t& out) {
  size_t k = 0;
  while (k < s.size() && s[k] == u' ') ++k;
  bool neg = false;
  if (k < s.size() && (s[k] == u'-' || s[k] == u'+')) neg = s[k++] == u'-';
  if (k >= s.size()) return false;
  uint64_t v = 0;
  if (s[k] == u'$' || (s[k] == u'0' && k + 1 < s.size() && (s[k + 1] == u'x' || s[k + 1] == u'X'))) {
    k += s[k] == u'$' ? 1 : 2;
    if (k >= s.size()) return false;
    for (; k < s.size(); ++k) {
      char16_t c = s[k];
      int d = c >= u'0' && c <= u'9' ? c - u'0' : c >= u'a' && c <= u'f' ? c - u'a' + 10 : c >= u'A' && c <= u'F' ? c - u'A' + 10 : -1;
      if (d < 0 || (v >> 60)) return false;
      v = v * 16 + static_cast<uint64_t>(d);
    }
    out = neg ? static_cast<int64_t>(0ull - v) : static_cast<int64_t>(v);
    return true;
  }
  for (; k < s.size(); ++k) {
    if (s[k] < u'0' || s[k] > u'9') return false;
    uint64_t n = v * 10 + static_cast<uint64_t>(s[k] - u'0');
    if (v > UINT64_MAX / 10 || n < v) return false;
    v = n;
  }
  if (neg ? v > 9223372036854775808ull : v > 9223372036854775807ull) return false;
  out = neg ? static_cast<int64_t>(0ull - v) : static_cast<int64_t>(v);
  return true;
}

bool parseFloat(std::u16string_view s, double& out) {
  std::u16string_view t = text::trim(s);
  if (t.empty()) return false;
  std::string a;
  for (char16_t c : t) {
    if (c > 127) return false;
    a += static_cast<char>(c);
  }
  for (char c : a)
    if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == 'e' || c == 'E' || c == '+' || c == '-'))
      return false;
  char* end = nullptr;
  out = std::strtod(a.c_str(), &end);
  return end && *end == 0;
}

// Format: %[index:][-][width][.precision]type, with * taking width or precision from
// the arguments; types d u x e f g n m p s.
std::u16string formatText(vm::Machine& m, std::u16string_view fmt, const Value& args) {
  const vm::Aggregate* list = vm::agg(args);
  size_t count = list ? list->v.size() : 0;
  size_t next = 0;
  std::u16string out;
  auto invalid = [&]() { m.raise(u"EConvertError", u"Format '" + std::u16string(fmt) + u"' invalid or incompatible with argument"); };
  auto arg = [&]() -> const Value& {
    if (next >= count) invalid();
    return list->v[next++];
  };
  for (size_t k = 0; k < fmt.size(); ++k) {
    if (fmt[k] != u'%') {
      out += fmt[k];
      continue;
    }
    ++k;
    if (k < fmt.size() && fmt[k] == u'%') {
      out += u'%';
      continue;
    }
    auto number = [&](int& v) -> bool {
      if (k < fmt.size() && fmt[k] == u'*') {
        v = static_cast<int>(arg().i);
        ++k;
        return true;
      }
      bool any = false;
      v = 0;
      while (k < fmt.size() && fmt[k] >= u'0' && fmt[k] <= u'9') {
        v = std::min(v * 10 + (fmt[k] - u'0'), 100000);
        ++k;
        any = true;
      }
      return any;
    };
    int width = -1, prec = -1, n = 0;
    size_t save = k;
    if (number(n) && k < fmt.size() && fmt[k] == u':') {
      next = static_cast<size_t>(n);
      ++k;
    } else {
      k = save;
    }
    bool left = false;
    if (k < fmt.size() && fmt[k] == u'-') {
      left = true;
      ++k;
    }
    if (number(n)) width = n;
    if (k < fmt.size() && fmt[k] == u'.') {
      ++k;
      if (number(n)) prec = n;
      else prec = 0;
    }
    if (k >= fmt.size()) invalid();
    char16_t type = fmt[k];
    if (type >= u'A' && type <= u'Z') type = static_cast<char16_t>(type + 32);
    const Value& v = arg();
    std::u16string piece;
    char buf[512];
    switch (type) {
      case u'd': case u'u': {
        if (v.tag != vm::Tag::Int) invalid();
        int64_t x = v.i;
        if (type == u'u') x = static_cast<int64_t>(static_cast<uint32_t>(x));
        bool neg = x < 0;
        std::string digits = std::to_string(neg ? 0ull - static_cast<uint64_t>(x) : static_cast<uint64_t>(x));
        while (prec > 0 && static_cast<int>(digits.size()) < prec) digits = "0" + digits;
        piece = ascii((neg ? "-" : "") + digits);
        break;
      }
      case u'x': {
        if (v.tag != vm::Tag::Int) invalid();
        std::snprintf(buf, sizeof buf, "%0*llX", std::max(prec, 0), static_cast<unsigned long long>(v.i));
        piece = ascii(buf);
        break;
      }
      case u'f': case u'n': case u'm': case u'e': case u'g': {
        double x;
        if (v.tag == vm::Tag::Float) x = v.d;
        else if (v.tag == vm::Tag::Int) x = static_cast<double>(v.i);
        else invalid();
        if (type == u'g') {
          if (prec < 0 || prec > 15) prec = 15;
          std::snprintf(buf, sizeof buf, "%.*g", prec == 0 ? 1 : prec, x);
          std::string s = buf;
          size_t e = s.find('e');
          if (e != std::string::npos) {
            std::string ex = s.substr(e + 1);
            bool neg = ex[0] == '-';
            size_t j = 1;
            while (j + 1 < ex.size() && ex[j] == '0') ++j;
            s = s.substr(0, e) + "E" + (neg ? "-" : "+") + ex.substr(j);
          }
          piece = ascii(s);
        } else if (type == u'e') {
          if (prec < 0 || prec > 18) prec = 15;
          std::snprintf(buf, sizeof buf, "%.*E", std::max(prec - 1, 0), x);
          std::string s = buf;
          size_t e = s.find('E');
          std::string ex = s.substr(e + 1);
          std::string digits = ex.substr(1);
          while (digits.size() < 3) digits = "0" + digits;
          piece = ascii(s.substr(0, e) + "E" + ex[0] + digits);
        } else {
          if (prec < 0) prec = 2;
          prec = std::min(prec, 18);
          std::string fixed = fixedText(x, prec);
          piece = type == u'f' ? ascii(fixed) : groupThousands(fixed);
        }
        break;
      }
      case u's': {
        if (v.tag == vm::Tag::Str) piece = v.str();
        else if (v.tag == vm::Tag::Empty || v.tag == vm::Tag::Null || v.tag == vm::Tag::Array) invalid();
        else if (v.tag == vm::Tag::Int || v.tag == vm::Tag::Float || v.tag == vm::Tag::Bool) invalid();
        else invalid();
        if (prec >= 0 && static_cast<size_t>(prec) < piece.size()) piece.resize(static_cast<size_t>(prec));
        break;
      }
      case u'p':
        std::snprintf(buf, sizeof buf, "%016llX", static_cast<unsigned long long>(v.i));
        piece = ascii(buf);
        break;
      default: invalid();
    }
    if (width > 0 && static_cast<int>(piece.size()) < width) {
      std::u16string pad(static_cast<size_t>(width) - piece.size(), u' ');
      piece = left ? piece + pad : pad + piece;
    }
    out += piece;
  }
  return out;
}

std::u16string writeText(vm::Machine& m, const Value& v, int tc, int width, int prec) {
  std::u16string s;
  switch (tc) {
    case vm::TC_INT: case vm::TC_ENUM: s = intToStr(v.i); break;
    case vm::TC_BOOL: s = v.i ? u"TRUE" : u"FALSE"; break;
    case vm::TC_CHAR: s = std::u16string(1, static_cast<char16_t>(v.i)); break;
    case vm::TC_STRING: s = v.str(); break;
    case vm::TC_VARIANT: s = vm::variantText(m, v); break;
    case vm::TC_FLOAT: {
      char buf[512];
      double x = v.d;
      if (prec >= 0) {
        std::snprintf(buf, sizeof buf, "%.*f", std::min(prec, 30), x);
        s = ascii(buf);
      } else {
        // scientific with 16 decimals and a three-digit exponent, a blank for the sign
        std::snprintf(buf, sizeof buf, "%.16E", x);
        std::string t = buf;
        size_t e = t.find('E');
        if (e != std::string::npos) {
          std::string digits = t.substr(e + 2);
          while (digits.size() < 3) digits = "0" + digits;
          t = t.substr(0, e + 2) + digits;
        }
        if (x >= 0 || std::isnan(x)) t = " " + t;
        s = ascii(t);
      }
      break;
    }
    default: break;
  }
  if (width > 0 && static_cast<int>(s.size()) < width)
    s = std::u16string(static_cast<size_t>(std::min(width, 100000)) - s.size(), u' ') + s;
  return s;
}

}  // namespace velmoro::script
