#include "generator/engine.h"

#include "common/unicode.h"
#include "test_support.h"

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

}  // namespace
}  // namespace velmoro::draw
