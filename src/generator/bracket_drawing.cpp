#include "generator/bracket_drawing.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace velmoro::draw {

namespace opt = text_options;
using platform::TBrushStyle;


namespace {

std::u16string decimal(int64_t v) {
  std::string s = std::to_string(v);
  return std::u16string(s.begin(), s.end());
}

int32_t negative(int32_t h) { return h > 0 ? -h : h; }

void setFont(TCanvas& c, int32_t height, bool bold, TColor color) {
  c.Font.Height = height;
  c.Font.SetBold(bold);
  c.Font.Color = color;
}

void drawText(TCanvas& c, const std::u16string& text, TRect r, uint32_t flags) { c.DrawText(text, r, flags); }

// "\n" written as two characters in the configuration is a line break.
std::u16string lineBreaks(const std::u16string& info, int& count) {
  std::u16string out;
  count = 0;
  for (size_t i = 0; i < info.size(); ++i) {
    if (info[i] == u'\\' && i + 1 < info.size() && info[i + 1] == u'n') {
      out += u"\r\n";
      ++count;
      ++i;
    } else {
      out += info[i];
    }
  }
  return out;
}

}  // namespace

int32_t roundEven(double v) { return static_cast<int32_t>(std::nearbyint(v)); }

int32_t baseFontHeight(const TRect& area) {
  int32_t f0 = (area.top - area.bottom) / 96;
  return f0 > -4 ? -4 : f0;
}

int32_t drawSheetHeader(TCanvas& c, const std::u16string& title, const std::u16string& type,
                        const std::u16string& info, TColor barColor, TColor penColor, TColor fontColor,
                        int32_t penWidth, int32_t baseHeight, TRect& area, HeaderAlign align) {
  if (title.empty() && type.empty() && info.empty()) return area.top;
  const int32_t a = negative(baseHeight);
  c.Pen.Width = penWidth;
  c.Pen.Color = penColor;
  c.Pen.Style = platform::TPenStyle::Solid;
  c.Brush.Style = TBrushStyle::Clear;
  setFont(c, 2 * a, true, fontColor);

  const std::u16string titleText = u" " + title + u" ";
  const auto titleSize = c.TextExtent(titleText);
  const int32_t h1 = titleSize.cy + titleSize.cy / 4;
  TRect box{area.width() < area.height() ? (area.left + area.right) / 2 : area.right - area.height() / 2, area.top,
            area.right, area.top + h1};
  const int32_t boxWidth = box.width();
  uint32_t titleFlags = opt::RightMiddleEllipsis, typeFlags = opt::LeftMiddleEllipsis, infoFlags = opt::WrapRight;
  if (align == HeaderAlign::Left) {
    box.left = area.left;
    box.right = area.left + boxWidth;
    titleFlags = opt::LeftMiddleEllipsis;
    typeFlags = opt::RightMiddleEllipsis;
    infoFlags = opt::WrapLeft;
  } else if (align == HeaderAlign::Centre) {
    box.left = area.left + (area.width() - boxWidth) / 2;
    box.right = box.left + boxWidth;
    titleFlags = opt::CentreMiddleEllipsis;
    typeFlags = opt::CentreMiddleEllipsis;
    infoFlags = opt::WrapCentre;
  }
  drawText(c, titleText, box, titleFlags);

  c.Font.Height = roundEven(1.5 * a);
  const std::u16string typeText = u"  " + type + u"  ";
  const auto typeSize = c.TextExtent(typeText);
  const int32_t h2 = typeSize.cy + typeSize.cy / 4;
  const TRect bar{box.left, box.bottom, box.right, box.bottom + h2};
  c.Brush.Style = TBrushStyle::Solid;
  c.Brush.Color = barColor;
  c.Rectangle(bar);
  c.Brush.Style = TBrushStyle::Clear;
  drawText(c, typeText, bar, typeFlags);
  area.top = bar.bottom;

  int breaks = 0;
  const std::u16string infoText = lineBreaks(info, breaks);
  c.Font.Height = roundEven(1.4 * a);
  TRect infoBox{bar.left, bar.top + h2 + h2 / 4, bar.right, bar.bottom + h2 + h2 / 4};
  const int32_t blanks = c.TextWidth(u"  ");
  if (align == HeaderAlign::Left) infoBox.left -= blanks;
  if (align == HeaderAlign::Right) infoBox.right -= blanks;
  if (!infoText.empty()) drawText(c, infoText, infoBox, infoFlags);
  return area.top + roundEven(1.66 * c.TextHeight(u"Mg")) * (breaks + 1);
}

void drawFooter(TCanvas& c, const std::u16string& text, const TRect& area, int32_t baseHeight) {
  const int32_t h = baseHeight - baseHeight / 4;
  setFont(c, h, false, kGrey);
  drawText(c, text, {area.left, area.bottom + 1, area.right, area.bottom + 1 + std::abs(h)}, opt::CentreBottom);
}

std::u16string normaliseSeedChars(std::u16string_view chars) {
  if (chars.empty()) return u"()";
  if (chars.size() == 1) return std::u16string(2, chars[0]);
  return std::u16string(chars.substr(0, 2));
}

std::u16string seedAnnotation(const std::u16string& name, int32_t seed, const std::u16string& info,
                              const std::u16string& seedChars) {
  const std::u16string chars = normaliseSeedChars(seedChars);
  const std::u16string sep = name.empty() ? u"" : u" ";
  if (seed > 0) return name + sep + chars[0] + decimal(seed) + chars[1];
  if (!info.empty()) return name + sep + chars[0] + info + chars[1];
  return name;
}

void drawMatchElement(TCanvas& c, const MatchElement& e) {
  if (e.style > 1) return;
  const int d = e.mirrored ? -1 : 1;  // outward
  const int32_t x = e.x, y = e.y, r = e.rowHeight, W = e.width, g = e.gap, p = e.penWidth;
  const int32_t nameHeight = negative(e.nameHeight), smallHeight = negative(e.smallHeight);
  auto X = [&](int32_t offset) { return x + d * offset; };
  // A box given by outward offsets, put in order when mirrored.
  auto box = [&](int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    return TRect{std::min(X(x1), X(x2)), y1, std::max(X(x1), X(x2)), y2};
  };
  // Left-aligned texts are right-aligned when mirrored, and the other way round.
  auto side = [&](uint32_t flags) {
    if (!e.mirrored) return flags;
    if (flags & platform::DT_RIGHT) return (flags & ~uint32_t(platform::DT_RIGHT)) | platform::DT_LEFT;
    if (!(flags & (platform::DT_CENTER | platform::DT_RIGHT))) return flags | platform::DT_RIGHT;
    return flags;
  };
  c.Pen.Color = kBlack;
  c.Pen.Style = platform::TPenStyle::Solid;
  const int32_t secondHeight = nameHeight - nameHeight / 3;

  if (e.singleLine) {
    c.Pen.Width = p;
    c.MoveTo(x, y + r);
    c.LineTo(X(W), y + r);
    std::u16string name1 = e.showSeeds ? seedAnnotation(e.name1, e.seed1, e.info1, e.seedChars) : e.name1;
    if (!name1.empty()) {
      int32_t h = !e.name1.empty() || !e.name2.empty() ? nameHeight : roundEven(0.75 * smallHeight);
      setFont(c, h, e.boldSeeds && e.seed1 > 0, kBlack);
      drawText(c, name1, box(2 * g, y, W, y + r - g), side(opt::LeftBottom));
    }
    if (!e.second1.empty()) {
      setFont(c, secondHeight, false, kBlack);
      drawText(c, e.second1, box(2 * g, y + r + g + p, W, y + 2 * r), side(opt::LeftTop));
    }
    return;
  }

  c.Pen.Width = e.boldSeededLines && e.firstRound && (e.seed1 > 0 || e.seed2 > 0) ? 2 * p : p;
  if (e.style == 1 && e.connector == 0 && !e.mirrored) {
    const TPoint curve[] = {{x, y + r / 2}, {x + W, y + r / 2}, {x + W, y + 4 * r - r / 2}, {x, y + 4 * r - r / 2}};
    c.PolyBezier(curve);
  } else {
    std::vector<TPoint> points{{x, y + r}, {X(W), y + r}};
    switch (e.connector) {
      case 0:
        points.push_back({X(W), y + 3 * r});
        points.push_back({x, y + 3 * r});
        break;
      case 1: points.push_back({X(W), y + 2 * r}); break;
      case -1: points.push_back({X(W), y + r / 8}); break;
      default: points.push_back({X(W), y}); break;
    }
    c.Polyline(points);
  }

  if (!e.label.empty() && e.connector >= 0) {
    TRect labelBox = box(0, y + r + 1, W - 2 * g, y + 3 * r);
    if (e.labelShift != 0) {
      const int32_t shift = -d * (e.labelShift + W - 1);
      labelBox.left += shift;
      labelBox.right += shift;
    }
    if (e.connector == 1) labelBox.bottom = labelBox.top + 2 * r - r / 2;
    setFont(c, roundEven(0.75 * smallHeight), false, kGrey);
    drawText(c, e.label, labelBox, e.mirrored ? opt::LeftMiddle : opt::RightMiddle);
  }

  const int32_t s = e.seedColumnWidth;
  int32_t numberColumn = 0;
  std::u16string name1 = e.name1, name2 = e.name2;
  if (e.lineNumber >= 1) {
    setFont(c, roundEven(0.7 * smallHeight), false, kGrey);
    numberColumn = c.TextWidth(u"128") + g;
    drawText(c, decimal(e.lineNumber), box(2 * g + s, y, 2 * g + s + numberColumn, y + r - g), side(opt::LeftBottom));
    drawText(c, decimal(e.lineNumber + 1), box(2 * g + s, y + 2 * r, 2 * g + s + numberColumn, y + 3 * r - g),
             side(opt::LeftBottom));
    if (e.showSeeds) {
      const std::u16string seed1 = e.seed1 > 0 ? decimal(e.seed1) : e.info1;
      const std::u16string seed2 = e.seed2 > 0 ? decimal(e.seed2) : e.info2;
      setFont(c, nameHeight, e.boldSeeds && e.seed1 > 0, kBlack);
      drawText(c, seed1, box(2 * g, y, s - 2 * g, y + r - g), opt::CentreBottom);
      setFont(c, nameHeight, e.boldSeeds && e.seed2 > 0, kBlack);
      drawText(c, seed2, box(2 * g, y + 2 * r, s - 2 * g, y + 3 * r - g), opt::CentreBottom);
    }
  } else if (e.showSeeds) {
    name1 = seedAnnotation(e.name1, e.seed1, e.info1, e.seedChars);
    name2 = seedAnnotation(e.name2, e.seed2, e.info2, e.seedChars);
  }
  const int32_t textLeft = 2 * g + s + numberColumn;
  const int32_t h = !name1.empty() || !name2.empty() ? nameHeight : roundEven(0.75 * smallHeight);

  if (e.connector >= 0) {
    if (!name1.empty()) {
      setFont(c, h, e.boldSeeds && e.seed1 > 0, kBlack);
      drawText(c, name1, box(textLeft, y, W, y + r - g), side(opt::LeftBottom));
    }
    if (!e.second1.empty()) {
      setFont(c, secondHeight, false, kBlack);
      drawText(c, e.second1, box(textLeft, y + r + g + p, W, y + 2 * r), side(opt::LeftTop));
    }
  }
  if (e.connector <= 0) {
    const bool upper = e.connector < 0;
    if (!name2.empty()) {
      setFont(c, h, e.boldSeeds && e.seed2 > 0, kBlack);
      drawText(c, name2, upper ? box(textLeft, y, W, y + r - g) : box(textLeft, y + 2 * r, W, y + 3 * r - g),
               side(opt::LeftBottom));
    }
    if (!e.second2.empty()) {
      setFont(c, secondHeight, false, kBlack);
      drawText(c, e.second2,
               upper ? box(textLeft, y + r + g + p, W, y + 2 * r) : box(textLeft, y + 3 * r + g + p, W, y + 4 * r),
               side(opt::LeftTop));
    }
  }
}

void drawChampionBox(TCanvas& c, const ChampionBox& b) {
  TRect box = b.box;
  const int32_t q = b.framePen, g = b.gap, e = b.bandPen;
  const int32_t hn = negative(b.nameHeight);
  c.Pen.Width = e;
  c.Pen.Color = kBlack;
  c.Pen.Style = platform::TPenStyle::Solid;
  setFont(c, negative(b.captionHeight), false, kBlack);
  const int32_t t = c.TextHeight(u"Mg");
  const int32_t yb = box.top + t + t / 3 + q;
  c.Brush.Style = TBrushStyle::Solid;
  c.Brush.Color = b.bandColor;
  c.FillRect({box.left, box.top, box.right - 1, yb});
  c.Brush.Style = TBrushStyle::Clear;
  c.MoveTo(box.left, yb);
  c.LineTo(box.right - 1, yb);
  if (!b.caption.empty()) drawText(c, b.caption, {box.left, box.top + q, box.right, yb}, opt::CentreMiddle);

  c.Pen.Width = q;
  c.Font.Height = hn;
  const int32_t nameRowTop = yb + e;
  const int32_t nameRowBottom = nameRowTop + c.TextHeight(u"Mg") + 3 * g - q;
  const std::u16string name = b.showSeeds ? seedAnnotation(b.name, b.seed, b.info, b.seedChars) : b.name;
  if (!name.empty()) {
    setFont(c, hn, true, kBlack);
    drawText(c, name, {box.left, nameRowTop, box.right, nameRowBottom}, opt::CentreBottom);
    if (!b.second.empty()) {
      setFont(c, hn - hn / 3, false, kBlack);
      const int32_t secondBottom = nameRowBottom + c.TextHeight(u"Mg") + g;
      drawText(c, b.second, {box.left, nameRowBottom, box.right, secondBottom}, opt::CentreTop);
      box.bottom = secondBottom + 2 * g;
    }
  }
  c.Brush.Style = TBrushStyle::Clear;
  c.Rectangle(box);
}

}  // namespace velmoro::draw
