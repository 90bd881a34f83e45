#include "platform/emf_reader.h"

#include "common/error.h"
#include "common/unicode.h"
#include "platform/canvas.h"
#include "test_support.h"

#include <cstring>

namespace velmoro::emf {
namespace {

std::vector<uint8_t> samplePage() {
  platform::TMetafile page;
  page.Width = 200, page.Height = 100;
  {
    platform::TCanvas c(page, u"Creator", u"About");
    c.Pen.Width = 2;
    const TPoint line[] = {{1, 2}, {3, 4}, {5, 6}};
    c.Polyline(line);
    c.Font.Height = -12;
    c.TextOut(5, 5, u"Hi");
    c.Brush.Color = 0x0000FF;
    c.FillRect({0, 0, 10, 10});
  }
  return page.Bytes();
}

void put32(std::vector<uint8_t>& b, size_t at, uint32_t v) { std::memcpy(b.data() + at, &v, 4); }

// Offset of the first record of a type.
size_t offsetOf(const std::vector<uint8_t>& b, uint32_t type) {
  for (size_t at = 0; at + 8 <= b.size();) {
    uint32_t t, size;
    std::memcpy(&t, b.data() + at, 4);
    std::memcpy(&size, b.data() + at + 4, 4);
    if (t == type) return at;
    at += size;
  }
  return b.size();
}

std::u16string errorOf(std::span<const uint8_t> bytes) {
  try {
    parseEmf(bytes);
  } catch (const Error& e) {
    return e.message();
  }
  return u"";
}

TEST(EmfReader, ReadsWhatTheWriterWrote) {
  TEmfFile f = parseEmf(samplePage());
  EXPECT_EQ(f.records.front().type, EMR_HEADER);
  EXPECT_EQ(f.records.back().type, EMR_EOF);
  EXPECT_EQ(f.header.records, f.records.size());
  EXPECT_EQ(f.createdBy(), u"Creator");
  EXPECT_EQ(f.descriptionText(), u"About");
  EXPECT_EQ(f.pictureWidth(), 200);
  EXPECT_EQ(f.pictureHeight(), 100);
  bool sawText = false, sawLine = false;
  for (const auto& r : f.records) {
    if (r.type == EMR_EXTTEXTOUTW) {
      auto t = extTextOut(r);
      EXPECT_EQ(t.text, u"Hi");
      EXPECT_EQ(t.dx.size(), 2u);
      sawText = true;
    }
    if (r.type == EMR_POLYLINE16) {
      EXPECT_EQ(polyPoints(r), (std::vector<TPoint>{{1, 2}, {3, 4}, {5, 6}}));
      sawLine = true;
    }
  }
  EXPECT_TRUE(sawText && sawLine);
  EXPECT_EQ(recordName(EMR_EXTTEXTOUTW), "EMR_EXTTEXTOUTW");
  EXPECT_EQ(recordName(EMR_EOF), "EMR_EOF");
  EXPECT_EQ(recordName(999), "");
}

TEST(EmfReader, ReadsAFileOfAnIndependentWriter) {
  TEmfFile f = readEmfFile(text::fromUtf8(LIBEMF_FIXTURE));
  std::vector<uint32_t> types;
  for (const auto& r : f.records) types.push_back(r.type);
  EXPECT_EQ(types, (std::vector<uint32_t>{EMR_HEADER, EMR_CREATEPEN, EMR_SELECTOBJECT, EMR_MOVETOEX, EMR_LINETO,
                                          EMR_POLYLINE16, EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT, EMR_RECTANGLE,
                                          EMR_ELLIPSE, EMR_EXTCREATEFONTINDIRECTW, EMR_SELECTOBJECT,
                                          EMR_EXTTEXTOUTW, EMR_EOF}));
  EXPECT_EQ(f.createdBy(), u"libEMF");
  EXPECT_EQ(f.descriptionText(), u"fixture");
  EXPECT_EQ(f.header.frame, (TRect{0, 0, 10000, 5000}));
  for (const auto& r : f.records) {
    if (r.type == EMR_POLYLINE16) {
      EXPECT_EQ(polyPoints(r), (std::vector<TPoint>{{10, 40}, {60, 90}, {110, 40}}));
    }
    if (r.type == EMR_EXTTEXTOUTW) {
      auto t = extTextOut(r);
      EXPECT_EQ(t.text, u"libEMF");
      EXPECT_EQ(t.reference, (TPoint{10, 100}));
    }
    if (r.type == EMR_EXTCREATEFONTINDIRECTW) {  // a longer record than ours: the 92 bytes lead
      auto lf = logFont(r);
      EXPECT_EQ(lf.faceName, u"Arial");
      EXPECT_EQ(lf.height, -20);
      EXPECT_EQ(lf.weight, 700);
    }
    if (r.type == EMR_RECTANGLE) {
      EXPECT_EQ(r.rect(8), (TRect{120, 10, 220, 60}));
    }
  }
}

TEST(EmfReader, RefusesWhatIsNotAnEmf) {
  std::vector<uint8_t> good = samplePage();
  std::vector<uint8_t> badSignature = good, badSize = good, tooLong = good, cutDescription = good;
  put32(badSignature, 40, 0x20464D45);
  put32(badSize, offsetOf(badSize, EMR_POLYLINE16) + 4, 30);  // not a multiple of 4
  put32(tooLong, offsetOf(tooLong, EMR_EOF) + 4, 4000);       // beyond the end
  put32(cutDescription, 60, 100000);                           // description past the header
  const std::string text = "%PDF-1.4 not a metafile at all, even if it is long enough to hold a header ....";
  const struct {
    std::vector<uint8_t> bytes;
    const char16_t* message;
  } cases[] = {
      {{}, u"Not an EMF file!"},
      {std::vector<uint8_t>(text.begin(), text.end()), u"Not an EMF file!"},
      {badSignature, u"Not an EMF file!"},
      {std::vector<uint8_t>(good.begin(), good.begin() + 87), u"Not an EMF file!"},
      {badSize, u"EMF record 5 (EMR_POLYLINE16) has a bad size 30!"},
      {tooLong, u"EMF record 19 (EMR_EOF) has a bad size 4000!"},
      {cutDescription, u"The EMF description lies outside the header!"},
  };
  for (const auto& c : cases) EXPECT_EQ(errorOf(c.bytes), c.message);
}

// Every prefix of a file, and every file with one corrupted word, reads or fails
// cleanly, decoders included (the sanitizer build checks there is no stray read).
TEST(EmfReader, TruncatedAndCorruptedFilesFailCleanly) {
  const std::vector<uint8_t> good = samplePage();
  auto exercise = [](std::span<const uint8_t> bytes) {
    try {
      TEmfFile f = parseEmf(bytes);
      (void)f.pictureWidth();  // header values at their extremes: no overflow
      (void)f.pictureHeight();
      for (const auto& r : f.records) {
        try {
          if (r.type == EMR_POLYLINE16 || r.type == EMR_POLYLINE) polyPoints(r);
          if (r.type == EMR_EXTTEXTOUTW) extTextOut(r);
          if (r.type == EMR_EXTCREATEFONTINDIRECTW) logFont(r);
          r.rect(8);
        } catch (const Error&) {
        }
      }
    } catch (const Error&) {
    }
  };
  for (size_t n = 0; n <= good.size(); ++n) exercise(std::span(good).first(n));
  for (size_t at = 0; at + 4 <= good.size(); at += 4) {
    for (uint32_t v : {0u, 3u, 0x7FFFFFFFu, 0xFFFFFFFFu, 0x10000u}) {
      std::vector<uint8_t> bad = good;
      put32(bad, at, v);
      exercise(bad);
    }
  }
}

TEST(EmfReader, DecodersCheckCountsAndOffsets) {
  std::vector<uint8_t> bytes = samplePage();
  put32(bytes, offsetOf(bytes, EMR_POLYLINE16) + 24, 1000000);       // point count
  put32(bytes, offsetOf(bytes, EMR_EXTTEXTOUTW) + 48, 0xFFFFFFF0u);  // offString
  TEmfFile f = parseEmf(bytes);
  for (const auto& r : f.records) {
    if (r.type == EMR_POLYLINE16) {
      EXPECT_THROW(polyPoints(r), Error);
    } else if (r.type == EMR_EXTTEXTOUTW) {
      EXPECT_THROW(extTextOut(r), Error);
    } else if (r.type == EMR_SELECTOBJECT) {
      EXPECT_THROW(r.u32(12), Error);
    }
  }
  EXPECT_THROW(readEmfFile(u"/nonexistent/x.emf"), Error);
}

}  // namespace
}  // namespace velmoro::emf
