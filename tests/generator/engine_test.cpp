#include "generator/engine.h"

#include "common/error.h"
#include "common/unicode.h"
#include "emf_check.h"
#include "platform/canvas.h"
#include "platform/emf_reader.h"
#include "test_support.h"

#include <algorithm>

namespace velmoro::draw {
namespace {

// A script that records what the engine handed it.
struct ProbeScript : TDrawScript {
  static inline int draws = 0;
  static inline uint8_t style = 0;
  static inline bool detailed = false;
  static inline int mm10 = 0;
  void Draw() override {
    TDrawScript::Draw();
    if (!Ready) return;
    ++draws;
    style = Style;
    detailed = DetailedResults;
    mm10 = OnMMToPixels(10);
  }
};

struct Loaded {
  TDrawEngine engine;
  explicit Loaded(const char16_t* config) {
    engine.Config.setText(config);
    engine.LoadSettings();
  }
};

TEST(DrawEngine, TargetFormatAndExtension) {
  const struct {
    const char16_t* config;
    uint8_t format;
    const char16_t* target;
  } cases[] = {
      {u"TargetFile=/t/x.PDF", kFormatPdf, u"/t/x.PDF"},
      {u"TargetFile=/t/x.emf", kFormatEmfPages, u"/t/x.emf"},
      {u"TargetFile=/t/x.txt", kFormatNone, u"/t/x.txt"},
      {u"TargetFormat=emf\nTargetFile=/t/out", kFormatEmf, u"/t/out.emf"},
      {u"TargetFormat=PDF\nTargetFile=/t/out", kFormatPdf, u"/t/out.pdf"},
      {u"TargetFormat=emf-pages\nTargetFile=/t.d/out", kFormatEmfPages, u"/t.d/out.emf"},
      {u"TargetFormat=Pdf\nTargetFile=/t/out.emf", kFormatPdf, u"/t/out.emf"},  // a named format wins
      {u"TargetFormat=svg\nTargetFile=/t/out.pdf", kFormatPdf, u"/t/out.pdf"},  // unknown: inferred
      {u"TargetFile=/t/out", kFormatNone, u"/t/out"},
      {u"", kFormatNone, u""},
  };
  for (const auto& c : cases) {
    Loaded l(c.config);
    EXPECT_EQ(l.engine.TargetFormat, c.format) << text::toUtf8(c.config);
    EXPECT_EQ(l.engine.TargetFile, c.target) << text::toUtf8(c.config);
  }
}

TEST(DrawEngine, PaperOrientationMargins) {
  Loaded a(u"PaperSize=a3\nPageOrientation=landscape\nPageMarginLeft=abc\nPageMarginTop=5\n"
           u"PageMarginRight=$10\nPageMarginBottom=7 ");
  EXPECT_EQ(a.engine.PaperSize, 4);
  EXPECT_EQ(a.engine.PageOrientation, 1);
  EXPECT_EQ(a.engine.Margins, (std::array<int32_t, 4>{10, 5, 16, 10}));
  Loaded b(u"PaperSize=B5\nPageOrientation=Sideways");
  EXPECT_EQ(b.engine.PaperSize, 5);
  EXPECT_EQ(b.engine.PageOrientation, 0);
}

TEST(DrawEngine, DefaultsWrittenIntoTheConfiguration) {
  Loaded l(u"DrawFontName=\nDataByeInfoText=free");
  EXPECT_EQ(l.engine.Config.value(u"DrawFontName"), u"Arial");
  EXPECT_EQ(l.engine.Config.value(u"DataByeInfoText"), u"free");
  EXPECT_EQ(l.engine.Config.value(u"DrawGroupInfoText"), u"Group");
  EXPECT_TRUE(l.engine.SettingsLoaded);  // set again after its own changes
  l.engine.Config.setValue(u"DrawTitle", u"x");
  EXPECT_FALSE(l.engine.SettingsLoaded);
}

TEST(DrawEngine, ThirdPlaceSwitchOff) {
  EXPECT_EQ(Loaded(u"Draw3rdPlace=1\nDrawParticipantsCount=3").engine.Config.value(u"Draw3rdPlace"), u"0");
  EXPECT_EQ(Loaded(u"Draw3rdPlace=1\nDrawParticipantsCount=4").engine.Config.value(u"Draw3rdPlace"), u"1");
  EXPECT_EQ(Loaded(u"Draw3rdPlace=yes").engine.Config.value(u"Draw3rdPlace"), u"0");  // empty sheet of 0
  // With a participants file the count is usually left out; the script decides then.
  EXPECT_EQ(Loaded(u"Draw3rdPlace=1\nDataParticipantsFile=p.txt").engine.Config.value(u"Draw3rdPlace"), u"1");
}

struct ScriptChoice : ::testing::Test {
  std::u16string chosen;
  TDrawEngine engine;
  void SetUp() override {
    engine.FindScript = [this](std::u16string_view name) -> DrawScriptFactory {
      chosen = name;
      return [] { return std::make_unique<ProbeScript>(); };
    };
  }
};

TEST_F(ScriptChoice, DataSuffix) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"DrawScriptID=SE\nDataParticipantsFile=p.txt", u"se_data"},
      {u"DrawScriptID=SE\nDataParticipantsFile=  \t", u"se"},
      {u"DrawScriptID=se_data", u"se_data"},
      {u"DrawScriptID=SE256_Data\nDataParticipantsFile=p.txt", u"se256_data"},
  };
  test::ScratchDir dir;
  for (const auto& [config, name] : cases) {
    engine.Config.setText(config);
    engine.Config.setValue(u"TargetFile", text::fromUtf8((dir / "x.emf").string()));
    engine.Execute();
    EXPECT_EQ(chosen, name);
  }
}

TEST_F(ScriptChoice, ScriptGetsStyleDetailAndOperations) {
  test::ScratchDir dir;
  engine.Config.setText(u"DrawScriptID=se\nDrawStyle=FRAMED\nDrawDetailedResults=on");
  engine.Config.setValue(u"TargetFile", text::fromUtf8((dir / "out" / "x.emf").string()));
  ProbeScript::draws = 0;
  engine.Execute();
  EXPECT_EQ(engine.ErrorMessage, u"");
  EXPECT_EQ(ProbeScript::draws, 1);
  EXPECT_EQ(ProbeScript::style, 1);
  EXPECT_TRUE(ProbeScript::detailed);
  EXPECT_EQ(ProbeScript::mm10, 38);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "out"));  // the target's folder is made
}

TEST_F(ScriptChoice, Failures) {
  test::ScratchDir dir;
  test::writeFile(dir / "file", "x");
  const std::pair<std::u16string, std::u16string> cases[] = {
      {u"DrawScriptID=se\nTargetFile=/t/x.txt", u"Unknown target format!"},
      {u"DrawScriptID=se\nTargetFormat=Pdf", u"Target file not specified!"},
      {u"DrawScriptID=se\nTargetFile=" + text::fromUtf8((dir / "file/sub/x.emf").string()),
       u"Cannot save file \"" + text::fromUtf8((dir / "file/sub/x.emf").string()) + u"\"!"},
  };
  for (const auto& [config, message] : cases) {
    engine.Config.setText(config);
    engine.Execute();
    EXPECT_EQ(engine.ErrorMessage, message);
  }
}

TEST(DrawEngine, UnknownScript) {
  TDrawEngine engine;
  engine.Config.setText(u"DrawScriptID=knockout\nTargetFile=/tmp/x.emf");
  engine.Execute();
  EXPECT_EQ(engine.ErrorMessage, u"Draw script not found!");
  engine.Config.setText(u"TargetFile=/tmp/x.emf");
  engine.Execute();
  EXPECT_EQ(engine.ErrorMessage, u"Draw script not found!");
}

TEST_F(ScriptChoice, TargetMayNotBeAnInputFile) {
  test::ScratchDir dir;
  test::writeFile(dir / "players.emf", "data");
  test::writeFile(dir / "cup.txt", "x");
  std::u16string folder = text::fromUtf8(dir.path().string()) + u"/";
  engine.Config.setText(u"DrawScriptID=se\nDataParticipantsFile=" + folder + u"players.emf\nTargetFile=" + folder +
                        u"players.emf");
  engine.Execute();
  EXPECT_NE(engine.ErrorMessage.find(u"input file"), std::u16string::npos);
  EXPECT_EQ(test::readFile(dir / "players.emf"), "data");
  // The EMF copy of a PDF counts too, and so does the configuration file.
  engine.Config.setText(u"DrawScriptID=se\nDataParticipantsFile=" + folder + u"players.emf\nTargetFile=" + folder +
                        u"players.pdf");
  engine.KeepEmfCopy = true;
  engine.Execute();
  EXPECT_NE(engine.ErrorMessage.find(u"input file"), std::u16string::npos);
  engine.KeepEmfCopy = false;
  engine.InputFiles = {folder + u"cup.emf"};
  engine.Config.setText(u"DrawScriptID=se\nTargetFile=" + folder + u"cup");
  engine.Config.setValue(u"TargetFormat", u"Emf");
  engine.Execute();
  EXPECT_NE(engine.ErrorMessage.find(u"input file"), std::u16string::npos);
}

// A script that draws a frame and a caption on each of its pages through the engine's
// operations, as the real scripts do; it can fail after drawing.
struct PageScript : TDrawScript {
  static inline int pages = 1;
  static inline bool fail = false;
  static inline std::vector<TRect> rects;
  void Draw() override {
    TDrawScript::Draw();
    if (!Ready) return;
    rects.clear();
    for (int i = 0; i < pages; ++i) {
      OnAddPage();
      TRect r = OnGetPageRect();
      rects.push_back(r);
      platform::TCanvas* c = OnGetCanvas();
      c->Font.Name = Config->value(u"DrawFontName");
      c->Brush.Style = platform::TBrushStyle::Clear;
      c->Rectangle(r);
      c->DrawText(u"Page", r, platform::DT_SINGLELINE | platform::DT_CENTER | platform::DT_NOCLIP);
    }
    if (fail) throw Error(u"Drawing failed!");
  }
};

struct PageDraw : ::testing::Test {
  TDrawEngine engine;
  test::ScratchDir dir;
  std::u16string folder = text::fromUtf8(dir.path().string()) + u"/";
  void SetUp() override {
    PageScript::pages = 1;
    PageScript::fail = false;
    engine.FindScript = [](std::u16string_view) -> DrawScriptFactory {
      return [] { return std::make_unique<PageScript>(); };
    };
  }
  void run(const std::u16string& config) {
    engine.Config.setText(u"DrawScriptID=se\n" + config);
    engine.Execute();
  }
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
      if (e.path().extension() == ".emf" || e.path().extension() == ".pdf") names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(PageDraw, EmfFormatsSaveThePagesWithTheirDescription) {
  VELMORO_REQUIRE_TOOL(conv, "emf2svg-conv");
  const struct {
    const char16_t* config;
    const char16_t* target;
    int pages;
    std::vector<std::string> files;
    const char16_t* description;
  } cases[] = {
      {u"TargetFormat=Emf\nDrawTitle=Cup\nDrawType=Knock-out", u"one", 1, {"one.emf"}, u"Cup"},
      {u"TargetFormat=emf-pages\nDrawType=Knock-out", u"three.emf", 3, {"three0.emf", "three1.emf", "three2.emf"},
       u"Knock-out"},
  };
  for (const auto& c : cases) {
    PageScript::pages = c.pages;
    for (const auto& f : files()) std::filesystem::remove(dir / f);
    run(c.config + std::u16string(u"\nDocumentCreator=Velmoro Designer\nPageMarginLeft=20\nTargetFile=") + folder +
        c.target);
    ASSERT_EQ(engine.ErrorMessage, u"");
    EXPECT_EQ(files(), c.files);
    EXPECT_EQ(PageScript::rects.front(), (TRect{76, 38, 756, 1085}));
    for (const auto& f : c.files) {
      VELMORO_EXPECT_SOUND_EMF(conv, dir / f);
      auto file = emf::readEmfFile(text::fromUtf8((dir / f).string()));
      EXPECT_EQ(file.createdBy(), u"Velmoro Designer");
      EXPECT_EQ(file.descriptionText(), c.description);
    }
  }
  EXPECT_EQ(engine.Document, nullptr);  // freed at the end of the run
}

TEST_F(PageDraw, PdfHasAPagePerDrawnPage) {
  VELMORO_REQUIRE_TOOL(qpdf, "qpdf");
  VELMORO_REQUIRE_TOOL(pdfinfo, "pdfinfo");
  PageScript::pages = 3;
  run(u"TargetFile=" + folder + u"cup.pdf\nPaperSize=A6\nDrawTitle=Cup\nDrawType=Singles");
  EXPECT_EQ(engine.ErrorMessage, u"");
  EXPECT_EQ(files(), std::vector<std::string>{"cup.pdf"});
  auto check = test::run({qpdf, "--check", (dir / "cup.pdf").string()});
  EXPECT_EQ(check.exitCode, 0) << check.out;
  auto info = test::run({pdfinfo, (dir / "cup.pdf").string()});
  EXPECT_NE(info.out.find("Pages:           3"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("297 x 419 pts"), std::string::npos) << info.out;  // A6 in whole points
  EXPECT_NE(info.out.find("Title:           Cup"), std::string::npos);
  EXPECT_NE(info.out.find("Subject:         Singles"), std::string::npos);
  // With the keep flag the pages are kept as EMF files beside the PDF.
  engine.KeepEmfCopy = true;
  run(u"TargetFile=" + folder + u"cup.pdf");
  EXPECT_EQ(files(), (std::vector<std::string>{"cup.pdf", "cup0.emf", "cup1.emf", "cup2.emf"}));
}

TEST_F(PageDraw, AFailedDrawWritesNothingAndFreesTheDocument) {
  PageScript::pages = 2;
  PageScript::fail = true;
  run(u"TargetFile=" + folder + u"cup.emf");
  EXPECT_EQ(engine.ErrorMessage, u"Drawing failed!");
  EXPECT_EQ(engine.Document, nullptr);
  EXPECT_TRUE(files().empty());
}

TEST_F(PageDraw, ANumberedPageMayNotOverwriteAnInput) {
  test::writeFile(dir / "cup1.emf", "schedule");
  PageScript::pages = 3;  // cup0.emf, cup1.emf, cup2.emf
  run(u"TargetFile=" + folder + u"cup.emf\nDataScheduleFile=" + folder + u"cup1.emf");
  EXPECT_EQ(engine.ErrorMessage, u"Target file would overwrite an input file \"" + folder + u"cup1.emf\"!");
  EXPECT_EQ(test::readFile(dir / "cup1.emf"), "schedule");
  EXPECT_EQ(files(), std::vector<std::string>{"cup1.emf"});  // nothing else was written either
  PageScript::pages = 1;  // one page is cup.emf itself: no clash
  run(u"TargetFile=" + folder + u"cup.emf\nDataScheduleFile=" + folder + u"cup1.emf");
  EXPECT_EQ(engine.ErrorMessage, u"");
  // The numbered EMF copy of a PDF counts as well.
  PageScript::pages = 2;
  engine.KeepEmfCopy = true;
  run(u"TargetFile=" + folder + u"cup.pdf\nDataScheduleFile=" + folder + u"cup1.emf");
  EXPECT_NE(engine.ErrorMessage.find(u"cup1.emf"), std::u16string::npos);
}

TEST(DrawEngine, OperationsWithoutADocument) {
  TDrawEngine engine;
  EXPECT_EQ(engine.OnAddPage(), -1);
  EXPECT_EQ(engine.OnGetPageRect(), TRect{});
  EXPECT_EQ(engine.OnGetCanvas(), nullptr);
}

}  // namespace
}  // namespace velmoro::draw
