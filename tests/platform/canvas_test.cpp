#include "platform/canvas.h"

#include "common/error.h"
#include "common/unicode.h"
#include "emf_check.h"
#include "platform/emf_reader.h"
#include "platform/screen.h"
#include "platform/units.h"
#include "test_support.h"

#include <cmath>
#include <functional>

namespace velmoro::platform {
namespace {

// An A4 page at 96 dpi, recorded by draw, saved and read back.
struct Recorded {
  TMetafile page;
  emf::TEmfFile file;
  std::filesystem::path path;
  Recorded(const test::ScratchDir& dir, const std::function<void(TCanvas&)>& draw, const char* name = "page.emf") {
    page.Width = 794, page.Height = 1123;
    {
      TCanvas canvas(page, u"Velmoro", u"Title");
      draw(canvas);
    }
    path = dir / name;
    page.SaveToFile(text::fromUtf8(path.string()));
    file = emf::readEmfFile(text::fromUtf8(path.string()));
  }
  std::vector<uint32_t> types() const {
    std::vector<uint32_t> t;
    for (const auto& r : file.records) t.push_back(r.type);
    return t;
  }
  std::vector<const emf::TEmfRecord*> all(uint32_t type) const {
    std::vector<const emf::TEmfRecord*> out;
    for (const auto& r : file.records)
      if (r.type == type) out.push_back(&r);
    return out;
  }
};

using namespace emf;

TEST(Canvas, EveryOperationBecomesItsRecord) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  Recorded rec(dir, [](TCanvas& c) {
    c.Pen.Width = 0;  // written as 1: a 0 would read as a null pen
    c.MoveTo(10, 20);
    c.LineTo(110, 20);
    const TPoint line[] = {{10, 40}, {60, 90}, {110, 40}};
    c.Polyline(line);
    const TPoint curve[] = {{10, 100}, {40, 100}, {40, 160}, {10, 160}, {99, 99}};  // the 5th is ignored
    c.PolyBezier(curve);
    const TPoint far[] = {{0, 0}, {40000, 0}};  // beyond 16 bits
    c.Polyline(far);
    c.Brush.Style = TBrushStyle::Clear;
    c.Rectangle({120, 10, 220, 60});
    c.Brush = {rgb(208, 208, 208), TBrushStyle::Solid};
    c.RoundRect({230, 10, 330, 60}, 12, 8);
    c.Ellipse({340, 10, 440, 60});
    c.FillRect({450, 10, 550, 60});
    c.Pen.Style = TPenStyle::Clear;
    c.Rectangle({560, 10, 600, 60});
    c.Font.Height = -16;
    c.Font.Color = rgb(128, 128, 128);
    c.TextOut(10, 200, u"AHel lo");
    c.SaveDC();
    c.RestoreDC();
  });
  VELMORO_EXPECT_SOUND_EMF(conv, rec.path);
  EXPECT_EQ(rec.types(),
            (std::vector<uint32_t>{EMR_HEADER, EMR_SETBKMODE, EMR_SETTEXTALIGN, EMR_MOVETOEX, EMR_CREATEPEN,
                                   EMR_SELECTOBJECT, EMR_LINETO, EMR_POLYLINE16, EMR_POLYBEZIER16, EMR_POLYLINE,
                                   EMR_SELECTOBJECT /* null brush */, EMR_RECTANGLE, EMR_CREATEBRUSHINDIRECT,
                                   EMR_SELECTOBJECT, EMR_ROUNDRECT, EMR_ELLIPSE, EMR_BITBLT,
                                   EMR_SELECTOBJECT /* null pen */, EMR_DELETEOBJECT, EMR_RECTANGLE,
                                   EMR_EXTCREATEFONTINDIRECTW, EMR_SELECTOBJECT, EMR_SETTEXTCOLOR, EMR_EXTTEXTOUTW,
                                   EMR_SAVEDC, EMR_RESTOREDC,
                                   // the end: stock objects back, every created object deleted
                                   EMR_SELECTOBJECT, EMR_SELECTOBJECT, EMR_DELETEOBJECT, EMR_DELETEOBJECT, EMR_EOF}));
  EXPECT_EQ(polyPoints(*rec.all(EMR_POLYBEZIER16)[0]).size(), 4u);
  EXPECT_EQ(polyPoints(*rec.all(EMR_POLYLINE)[0])[1], (TPoint{40000, 0}));

  const std::string dump = test::emf2svgDump(conv, rec.path);
  for (const char* field : {"lopnStyle:0x00000000 lopnWidth:{1,0} lopnColor:{0,0,0}",
                            "lbStyle:0x00000000 lbColor:{208,208,208}", "StockObject:    NULL_BRUSH",
                            "StockObject:    NULL_PEN", "dwRop :         0x00F00021", "cDest:          {100,50}",
                            "rclBox:         {230,10,330,60}", "Points:         [0]:{10,40} [1]:{60,90} [2]:{110,40}",
                            "lfHeight:-16", "lfFaceName:Arial", "string16:<AHel lo>", "Dx:11:11:9:4:4:4:9:",
                            "rcl{0,0,-1,-1}", "offBmiSrc:      0"})
    EXPECT_NE(dump.find(field), std::string::npos) << field;
  // What the outside reader drew from it.
  auto svgPath = rec.path;
  const std::string svg = test::readFile(svgPath.replace_extension(".svg"));
  for (const char* element : {"<![CDATA[AHel lo]]>", "fill=\"#808080\"", "style=\"fill:#d0d0d0\"",
                              "<ellipse cx=\"390.0000\" cy=\"35.0000\" rx=\"50.0000\" ry=\"25.0000\""})
    EXPECT_NE(svg.find(element), std::string::npos) << element;
}

TEST(Canvas, HeaderDescribesThePageOnTheReferenceDevice) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  Recorded rec(dir, [](TCanvas& c) { c.Rectangle({38, 38, 756, 1085}); });
  const TEmfHeader& h = rec.file.header;
  EXPECT_EQ(rec.file.pictureWidth(), 794);
  EXPECT_EQ(rec.file.pictureHeight(), 1123);
  EXPECT_EQ(h.devicePixelsX * 254, h.deviceMmX * 96 * 10);  // pixels / dpi = millimetres / 25.4
  EXPECT_EQ(h.devicePixelsY * 254, h.deviceMmY * 96 * 10);
  EXPECT_EQ(h.deviceMicrometresX, h.deviceMmX * 1000);
  EXPECT_EQ(h.deviceMicrometresY, h.deviceMmY * 1000);
  EXPECT_EQ(h.bounds, (TRect{38, 38, 755, 1084}));  // inclusive
  EXPECT_EQ(rec.file.createdBy(), u"Velmoro");
  EXPECT_EQ(rec.file.descriptionText(), u"Title");
  const std::string dump = test::emf2svgDump(conv, rec.path);
  for (const char* field : {"szlDevice:      {1920,1440}", "szlMillimeters: {508,381}",
                            "szlMicrometers: {508000,381000}", "rclFrame:       {0,0,21008,29713}",
                            "Desc. A:  Velmoro", "Desc. B:  Title"})
    EXPECT_NE(dump.find(field), std::string::npos) << field;
}

// Run once at 96 dpi and once more at 120 (see CMakeLists.txt): the header agrees with
// whatever resolution the screen has.
TEST(Canvas, HeaderFollowsTheScreenResolution) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  const int dpi = screenDpi();
  TMetafile page;
  page.Width = units::mmToPagePixels(210), page.Height = units::mmToPagePixels(297);
  {
    TCanvas c(page, u"", u"");
    c.Rectangle({0, 0, page.Width, page.Height});
    c.Font.Height = -16;
    c.TextOut(10, 10, u"Hello");
  }
  const auto path = dir / "page.emf";
  page.SaveToFile(text::fromUtf8(path.string()));
  VELMORO_EXPECT_SOUND_EMF(conv, path);
  auto file = emf::readEmfFile(text::fromUtf8(path.string()));
  EXPECT_EQ(file.pictureWidth(), page.Width) << dpi;
  EXPECT_EQ(file.pictureHeight(), page.Height) << dpi;
  EXPECT_EQ(int64_t(file.header.devicePixelsX) * 254, int64_t(file.header.deviceMmX) * dpi * 10);
  for (const auto& r : file.records) {
    if (r.type == EMR_EXTTEXTOUTW) {
      EXPECT_FLOAT_EQ(extTextOut(r).xScale, 2540.0f / dpi);  // 0.01 mm per pixel
    }
  }
}

// The frame of any page size at any resolution gives the size back through MulDiv.
TEST(Canvas, ReferenceDeviceRoundTripsEveryPageSize) {
  for (int dpi : {72, 96, 120, 144, 150, 300, 600}) {
    TReferenceDevice dev{dpi};
    ASSERT_EQ(int64_t(dev.widthPixels()) * 254, int64_t(TReferenceDevice::kWidthMm) * dpi * 10);
    ASSERT_EQ(int64_t(dev.heightPixels()) * 254, int64_t(TReferenceDevice::kHeightMm) * dpi * 10);
    for (int32_t px = 1; px <= 20000; px += 7) {
      const int64_t frame = dev.toHundredthsMm(px);
      const double back = double(frame) * dev.widthPixels() / (TReferenceDevice::kWidthMm * 100.0);
      ASSERT_EQ(std::llround(back), px) << dpi << " dpi, " << px << " px";
    }
  }
}

TEST(Canvas, ObjectsAreMadeOnlyWhenChangedAndHandlesReused) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  Recorded rec(dir, [](TCanvas& c) {
    for (int i = 0; i < 50; ++i) {
      c.Pen.Width = 1 + i % 2;  // alternates: a new pen every time
      c.MoveTo(0, i);
      c.LineTo(100, i);
      c.LineTo(100, i + 1);  // same pen: nothing new
    }
    c.Font.Height = -12;
    c.TextOut(0, 0, u"a");
    c.Font.Color = rgb(255, 0, 0);  // colour only: no new font
    c.TextOut(0, 20, u"b");
    c.Font.SetBold(true);
    c.TextOut(0, 40, u"c");
  });
  VELMORO_EXPECT_SOUND_EMF(conv, rec.path);
  EXPECT_EQ(rec.all(EMR_CREATEPEN).size(), 50u);
  EXPECT_EQ(rec.all(EMR_EXTCREATEFONTINDIRECTW).size(), 2u);
  EXPECT_EQ(rec.all(EMR_SETTEXTCOLOR).size(), 2u);
  EXPECT_LE(rec.file.header.handles, 4);  // old objects go, their handles come back
  EXPECT_EQ(logFont(*rec.all(EMR_EXTCREATEFONTINDIRECTW)[1]).weight, 700);
}

TEST(Canvas, SavedStatesKeepTheirObjects) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  Recorded rec(dir, [](TCanvas& c) {
    c.Pen.Width = 3;
    c.Rectangle({0, 0, 10, 10});
    c.SaveDC();
    c.Pen.Width = 5;  // the saved state still holds the width-3 pen: it must not be deleted
    c.Rectangle({0, 0, 20, 20});
    c.SaveDC();
    c.Pen.Width = 7;
    c.Rectangle({0, 0, 30, 30});
    c.RestoreDC();
    c.RestoreDC();
    c.Pen.Width = 3;  // what the restore selected again: no new pen
    c.Rectangle({0, 0, 40, 40});
    c.RestoreDC();                // one too many: ignored
  });
  VELMORO_EXPECT_SOUND_EMF(conv, rec.path);  // the validator rejects a use of a deleted object
  EXPECT_EQ(rec.all(EMR_CREATEPEN).size(), 3u);
  EXPECT_EQ(rec.all(EMR_RESTOREDC).size(), 2u);

  // Saves left open are restored when the recording ends.
  Recorded open(dir, [](TCanvas& c) {
    c.Font.Height = -10;
    c.TextOut(0, 0, u"a");
    c.SaveDC();
    c.SaveDC();
    c.Font.Height = -12;
    c.TextOut(0, 0, u"b");
  }, "open.emf");
  VELMORO_EXPECT_SOUND_EMF(conv, open.path);
  EXPECT_EQ(open.all(EMR_RESTOREDC).size(), 2u);
  EXPECT_EQ(open.all(EMR_DELETEOBJECT).size(), open.all(EMR_EXTCREATEFONTINDIRECTW).size());
}

TEST(Canvas, TextRunsCarryAdvancesAndClipping) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  TRect box{100, 100, 200, 140};
  int32_t height = 0;
  Recorded rec(dir, [&](TCanvas& c) {
    c.Font.Height = -16;
    c.TextOut(10, 10, u"AHel lo");
    TRect r = box;
    height = c.DrawText(u"Participant with a long name", r, DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS | DT_NOPREFIX);
    r = box;
    c.DrawText(u"Hel", r, DT_SINGLELINE | DT_RIGHT | DT_BOTTOM | DT_NOCLIP);
    c.TextOut(10, 10, u"");  // nothing to record
  });
  VELMORO_EXPECT_SOUND_EMF(conv, rec.path);
  auto runs = rec.all(EMR_EXTTEXTOUTW);
  ASSERT_EQ(runs.size(), 3u);
  auto plain = extTextOut(*runs[0]);
  EXPECT_EQ(plain.reference, (TPoint{10, 10}));
  EXPECT_EQ(plain.dx, (std::vector<int32_t>{11, 11, 9, 4, 4, 4, 9}));
  EXPECT_EQ(plain.options, 0u);
  EXPECT_TRUE(plain.clip.isEmpty());
  EXPECT_EQ(plain.bounds, (TRect{10, 10, 61, 27}));

  auto clipped = extTextOut(*runs[1]);
  auto font = fonts::findFont(u"Arial", -16, 400, false);
  EXPECT_TRUE(clipped.text.ends_with(u"...")) << text::toUtf8(clipped.text);
  EXPECT_LE(font->textWidth(clipped.text), 100);
  EXPECT_EQ(clipped.options, ETO_CLIPPED);
  EXPECT_EQ(clipped.clip, box);
  EXPECT_EQ(clipped.reference, (TPoint{100, (100 + 140 - 18) / 2}));
  EXPECT_EQ(height, (100 + 140 - 18) / 2 + 18 - 100);
  int32_t sum = 0;
  for (int32_t d : clipped.dx) sum += d;
  EXPECT_EQ(sum, font->textWidth(clipped.text));

  auto right = extTextOut(*runs[2]);
  EXPECT_EQ(right.reference, (TPoint{200 - font->textWidth(u"Hel"), 140 - 18}));
  EXPECT_EQ(right.options, 0u);
}

TEST(Canvas, CalcRectMeasuresWithoutDrawing) {
  test::ScratchDir dir;
  TRect single{0, 0, 1000, 0}, wrapped{0, 0, 60, 0};
  int32_t h = 0;
  Recorded rec(dir, [&](TCanvas& c) {
    c.Font.Height = -16;
    c.DrawText(u"AHel lo", single, DT_SINGLELINE | DT_CALCRECT);
    h = c.DrawText(u"Hello Hello Hello", wrapped, DT_WORDBREAK | DT_CALCRECT);
  });
  EXPECT_EQ(single, (TRect{0, 0, 52, 18}));
  EXPECT_EQ(wrapped, (TRect{0, 0, 60, 54}));
  EXPECT_EQ(h, 54);
  EXPECT_TRUE(rec.all(EMR_EXTTEXTOUTW).empty());
}

TEST(Canvas, APageDrawnOnAgainKeepsWhatItHad) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  TMetafile page;
  page.Width = 100, page.Height = 100;
  const auto path = dir / "again.emf";
  test::writeFile(path, "");
  for (int pass = 0; pass < 2; ++pass) {
    TCanvas c(page, u"", u"");
    c.Pen.Width = 2 + pass;
    c.MoveTo(0, pass);
    c.LineTo(50, pass * 40);
  }
  page.SaveToFile(text::fromUtf8(path.string()));
  VELMORO_EXPECT_SOUND_EMF(conv, path);
  auto file = emf::readEmfFile(text::fromUtf8(path.string()));
  int lines = 0, pens = 0;
  for (const auto& r : file.records) lines += r.type == EMR_LINETO, pens += r.type == EMR_CREATEPEN;
  EXPECT_EQ(lines, 2);
  EXPECT_EQ(pens, 2);
  EXPECT_EQ(file.header.description, u"");  // no texts: no description at all
}

TEST(Canvas, AnUndrawnPageIsAnEmptyPicture) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  test::ScratchDir dir;
  TMetafile page;
  page.Width = 794, page.Height = 1123;
  const auto path = dir / "empty.emf";
  page.SaveToFile(text::fromUtf8(path.string()));
  VELMORO_EXPECT_SOUND_EMF(conv, path);
  auto file = emf::readEmfFile(text::fromUtf8(path.string()));
  EXPECT_EQ(file.records.size(), 2u);
  EXPECT_EQ(file.pictureWidth(), 794);
}

TEST(Canvas, SavingThroughAFileFails) {
  test::ScratchDir dir;
  test::writeFile(dir / "file", "x");
  TMetafile page;
  page.Width = page.Height = 10;
  EXPECT_THROW(page.SaveToFile(text::fromUtf8((dir / "file" / "page.emf").string())), Error);
}

}  // namespace
}  // namespace velmoro::platform
