#include "platform/text_layout.h"

namespace velmoro::platform {

namespace {

constexpr std::u16string_view kEllipsis = u"...";

std::u16string stripPrefixes(std::u16string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == u'&') {
      if (i + 1 < s.size() && s[i + 1] == u'&') out.push_back(u'&'), ++i;
      continue;
    }
    out.push_back(s[i]);
  }
  return out;
}

bool isLowSurrogate(char16_t c) { return c >= 0xDC00 && c < 0xE000; }
bool isHighSurrogate(char16_t c) { return c >= 0xD800 && c < 0xDC00; }

// Paragraphs split at CR LF, CR or LF.
std::vector<std::u16string_view> paragraphs(std::u16string_view s) {
  std::vector<std::u16string_view> out;
  size_t start = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != u'\r' && s[i] != u'\n') continue;
    out.push_back(s.substr(start, i - start));
    if (s[i] == u'\r' && i + 1 < s.size() && s[i + 1] == u'\n') ++i;
    start = i + 1;
  }
  out.push_back(s.substr(start));
  return out;
}

// Greedy word wrap of one paragraph: words separated by blanks, the blanks at a break
// dropped, and so are blanks at the paragraph's end.
void wrap(std::u16string_view para, int32_t width, const TFont& font, std::vector<std::u16string>& lines) {
  std::u16string line;
  size_t i = 0;
  bool any = false;
  while (i < para.size()) {
    size_t spaceStart = i;
    while (i < para.size() && para[i] == u' ') ++i;
    size_t wordStart = i;
    while (i < para.size() && para[i] != u' ') ++i;
    if (wordStart == i) break;  // blanks at the end are dropped
    std::u16string candidate = line;
    candidate.append(para.substr(spaceStart, i - spaceStart));
    if (!any || font.textWidth(candidate) <= width) {
      line = std::move(candidate);
    } else {
      lines.push_back(std::move(line));
      line.assign(para.substr(wordStart, i - wordStart));
    }
    any = true;
  }
  lines.push_back(std::move(line));
}

}  // namespace

std::u16string endEllipsis(std::u16string_view text, int32_t width, const TFont& font) {
  if (font.textWidth(text) <= width) return std::u16string(text);
  std::u16string s(text);
  while (!s.empty()) {
    const char16_t last = s.back();
    s.pop_back();
    if (isLowSurrogate(last) && !s.empty() && isHighSurrogate(s.back())) s.pop_back();  // a whole pair
    std::u16string candidate = s + std::u16string(kEllipsis);
    if (font.textWidth(candidate) <= width) return candidate;
  }
  return std::u16string(kEllipsis);
}

TTextLayout layoutText(std::u16string_view input, TRect rect, uint32_t flags, const TFont& font) {
  std::u16string text = (flags & DT_NOPREFIX) ? std::u16string(input) : stripPrefixes(input);
  const int32_t width = rect.right - rect.left;
  TTextLayout layout;
  layout.lineHeight = font.metrics().height;

  std::vector<std::u16string> lines;
  if (flags & DT_SINGLELINE) {
    std::u16string one;
    for (char16_t c : text)
      if (c != u'\r' && c != u'\n') one.push_back(c);
    lines.push_back(std::move(one));
  } else {
    for (std::u16string_view para : paragraphs(text)) {
      if (flags & DT_WORDBREAK) {
        wrap(para, width, font, lines);
      } else {
        lines.emplace_back(para);
      }
    }
  }

  int32_t y = rect.top;
  if (flags & DT_SINGLELINE) {
    if (flags & DT_BOTTOM) {
      y = rect.bottom - layout.lineHeight;
    } else if (flags & DT_VCENTER) {
      y = (rect.top + rect.bottom - layout.lineHeight) / 2;
    }
  }
  for (std::u16string& s : lines) {
    if (flags & DT_END_ELLIPSIS) s = endEllipsis(s, width, font);
    TTextLine line;
    line.width = font.textWidth(s);
    line.text = std::move(s);
    int32_t x = rect.left;
    if (flags & DT_RIGHT) {
      x = rect.right - line.width;
    } else if (flags & DT_CENTER) {
      x = (rect.left + rect.right - line.width) / 2;
    }
    line.origin = {x, y};
    layout.widest = std::max(layout.widest, line.width);
    layout.lines.push_back(std::move(line));
    y += layout.lineHeight;
  }
  layout.height = y - rect.top;
  return layout;
}

}  // namespace velmoro::platform
