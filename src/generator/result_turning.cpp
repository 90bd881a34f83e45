#include "generator/result_turning.h"

#include "common/config_list.h"
#include "common/unicode.h"
#include "generator/fields.h"

#include <algorithm>
#include <vector>

namespace velmoro::draw {

namespace {

bool contains(std::u16string_view s, char16_t c) { return s.find(c) != std::u16string_view::npos; }

size_t countOf(std::u16string_view s, char16_t c) {
  return static_cast<size_t>(std::count(s.begin(), s.end(), c));
}

bool isInteger(std::u16string_view s) {
  int32_t v;
  return parseInteger(s, v);
}

std::u16string decimal(int64_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

char16_t itemSeparatorOf(std::u16string_view t) {
  for (char16_t c : {u',', u'|', u' ', u'/'})
    if (contains(t, c)) return c;
  return u' ';
}

// The separator inside one item ("6:4"), or 0 when the items are not pairs.
char16_t pairSeparatorOf(std::u16string_view t, char16_t itemSep, const std::vector<std::u16string>& items) {
  if (contains(t, u':')) return u':';
  for (const auto& item : items) {
    std::u16string_view d = text::trim(item);
    if (d.empty()) continue;
    size_t slash = d.find(u'/');  // 0-based; the rule's position is slash + 1
    if (itemSep != u'/' && slash != std::u16string_view::npos && slash >= 1 && countOf(t, u'/') == items.size()) {
      // "76/5" is a tie-break score written after a set, not a pair.
      if (slash == 1 || (d.substr(slash - 2, 2) != u"76" && d.substr(slash - 2, 2) != u"67")) return u'/';
      continue;
    }
    size_t dash = d.find(u'-');
    if (dash != std::u16string_view::npos && dash >= 1 && countOf(t, u'-') == items.size() && d[dash - 1] != itemSep)
      return u'-';
  }
  return 0;
}

enum class Extra { None, Brackets, Slash };

struct Parts {
  std::u16string a, b, e;
  Extra extra = Extra::None;
};

Parts splitPair(std::u16string_view d, char16_t s) {
  Parts p;
  size_t at = d.find(s);
  if (at == std::u16string_view::npos) {
    p.a = d;
    return p;
  }
  p.a = d.substr(0, at);
  p.b = d.substr(at + 1);
  if (isInteger(p.b)) return p;
  if (size_t open = p.b.find(u'('); open != std::u16string::npos) {
    if (!p.b.empty() && p.b.back() == u')') p.b.pop_back();
    p.e = p.b.substr(open + 1);
    p.b = p.b.substr(0, open);
    p.extra = Extra::Brackets;
  } else if (size_t slash = p.b.find(u'/'); s != u'/' && slash != std::u16string::npos) {
    p.e = p.b.substr(slash + 1);
    p.b = p.b.substr(0, slash);
    p.extra = Extra::Slash;
  }
  return p;
}

Parts splitSigned(std::u16string_view d) {
  Parts p;
  int32_t v = 0;
  if (!parseInteger(d, v)) v = 0;
  if (v > 0)
    p.b = u"-" + decimal(v);
  else if (v < 0)
    p.a = decimal(-static_cast<int64_t>(v));
  else
    p.a = d.size() == 1 ? u"-0" : u"0";
  return p;
}

Parts splitDigits(std::u16string_view d) {
  Parts p;
  std::u16string digits(d);
  if (size_t slash = digits.find(u'/'); slash != std::u16string::npos) {
    p.e = digits.substr(slash + 1);
    p.extra = Extra::Slash;
    digits = digits.substr(0, slash);
  }
  size_t cut;
  if (digits.size() == 3)
    cut = digits[0] == u'8' || digits[0] == u'9' ? 1 : 2;
  else if (digits.size() == 4)
    cut = 2;
  else
    cut = 1;
  cut = std::min(cut, digits.size());
  p.a = digits.substr(0, cut);
  p.b = digits.substr(cut, digits.size() == 3 || digits.size() == 4 ? std::u16string::npos : 1);
  return p;
}

}  // namespace

std::u16string turnResult(std::u16string_view result) {
  size_t colon = result.find(u':');
  if (colon == std::u16string_view::npos) return std::u16string(result);
  return std::u16string(result.substr(colon + 1)) + u":" + std::u16string(result.substr(0, colon));
}

std::u16string turnDetailedResult(std::u16string_view t) {
  if (t.empty()) return {};
  const char16_t itemSep = itemSeparatorOf(t);
  const std::vector<std::u16string> items = splitFields(t, itemSep);
  const char16_t pairSep = pairSeparatorOf(t, itemSep, items);
  bool signedMode = false;
  if (pairSep == 0)
    for (const auto& item : items) {
      std::u16string_view d = text::trim(item);
      if (d.size() == 1 || (d.size() >= 2 && d[0] == u'-')) signedMode = true;
    }

  std::vector<std::u16string> turned;
  for (const auto& item : items) {
    std::u16string_view d = text::trim(item);
    if (d.empty()) continue;
    Parts p = pairSep ? splitPair(d, pairSep) : signedMode ? splitSigned(d) : splitDigits(d);
    std::u16string out = p.b;
    if (pairSep) out += pairSep;
    out += p.a;
    if (!p.e.empty() && p.extra == Extra::Brackets) out += u"(" + p.e + u")";
    if (!p.e.empty() && p.extra == Extra::Slash) out += u"/" + p.e;
    turned.push_back(std::move(out));
  }
  std::u16string joined;
  for (size_t i = 0; i < turned.size(); ++i) {
    if (i) joined += itemSep;
    joined += turned[i];
  }
  return joined;
}

}  // namespace velmoro::draw
