#include "generator/engine.h"

#include "common/error.h"
#include "pdf/emf_renderer.h"
#include "pdf/pdf_document.h"
#include "common/paths.h"
#include "common/unicode.h"
#include "platform/units.h"

#include <sys/stat.h>

namespace velmoro::draw {

namespace {

constexpr std::u16string_view kTargetFormats[] = {u"", u"Pdf", u"Emf-Pages", u"Emf"};

// Whether two paths name one file: the same inode when both exist, else the same text.
bool sameFile(const std::u16string& a, const std::u16string& b) {
  struct stat sa {}, sb {};
  if (::stat(path::toSystem(a).c_str(), &sa) == 0 && ::stat(path::toSystem(b).c_str(), &sb) == 0)
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  return path::toNative(a) == path::toNative(b);
}

}  // namespace

std::u16string_view targetFormatName(int index) {
  return index >= 0 && index < 4 ? kTargetFormats[index] : std::u16string_view();
}

uint8_t findTargetFormat(std::u16string_view name) {
  for (uint8_t i = 1; i < 4; ++i)
    if (text::equalsIgnoreCase(kTargetFormats[i], name)) return i;
  return kFormatNone;
}

TDrawEngine::TDrawEngine() {
  Config.setOnChange([this] { SettingsLoaded = false; });
}

void TDrawEngine::LoadSettings() {
  DrawScriptID = Config.value(u"DrawScriptID");

  std::u16string format = Config.value(u"TargetFormat");
  TargetFormat = format.empty() ? uint8_t(kFormatNone) : findTargetFormat(format);

  TargetFile = Config.value(u"TargetFile");
  std::u16string ext = text::toLower(path::extensionOf(TargetFile));
  if (TargetFormat == kFormatNone && !TargetFile.empty()) {
    if (ext == u".pdf") TargetFormat = kFormatPdf;
    if (ext == u".emf") TargetFormat = kFormatEmfPages;
  }
  if (ext.empty() && !TargetFile.empty()) {
    if (TargetFormat == kFormatPdf) TargetFile += u".pdf";
    if (TargetFormat == kFormatEmfPages || TargetFormat == kFormatEmf) TargetFile += u".emf";
  }

  PaperSize = units::kDefaultPaper;
  std::u16string paper = Config.value(u"PaperSize");
  if (!paper.empty())
    if (int i = units::findPaper(paper); i > 0) PaperSize = static_cast<uint8_t>(i);

  PageOrientation = text::equalsIgnoreCase(Config.value(u"PageOrientation"), u"Landscape") ? 1 : 0;

  Margins = {Config.integer(u"PageMarginLeft", 10), Config.integer(u"PageMarginTop", 10),
             Config.integer(u"PageMarginRight", 10), Config.integer(u"PageMarginBottom", 10)};

  if (Config.value(u"DrawFontName").empty()) Config.setValue(u"DrawFontName", u"Arial");
  if (Config.value(u"DataByeInfoText").empty()) Config.setValue(u"DataByeInfoText", u"bye");
  if (Config.value(u"DrawGroupInfoText").empty()) Config.setValue(u"DrawGroupInfoText", u"Group");

  // A draw from a participants file usually leaves DrawParticipantsCount out; there the
  // script decides on the real count, so only an empty sheet is switched off here.
  bool fromData = !text::trim(Config.value(u"DataParticipantsFile")).empty();
  if (!fromData && Config.boolean(u"Draw3rdPlace", false) &&
      Config.integer(u"DrawParticipantsCount", 0) <= 3)
    Config.setValue(u"Draw3rdPlace", u"0");

  SettingsLoaded = true;
}

void TDrawEngine::Execute() {
  ErrorMessage.clear();
  if (!SettingsLoaded) LoadSettings();
  try {
    run();
  } catch (const std::exception& e) {
    ErrorMessage = messageOf(e);
    if (ErrorMessage.empty()) ErrorMessage = u"Draw failed!";
  }
  Document.reset();
}

void TDrawEngine::run() {
  if (TargetFormat == kFormatNone) throw Error(u"Unknown target format!");
  refuseInputAsTarget(0);

  Document = std::make_unique<pdf::TMetafileDocument>();
  Document->PaperSize = PaperSize;
  Document->Orientation = PageOrientation;
  Document->Margins = {Margins[0], Margins[1], Margins[2], Margins[3]};
  if (TargetFormat == kFormatEmfPages || TargetFormat == kFormatEmf) {
    Document->CreatedBy = Config.value(u"DocumentCreator");
    Document->Description = Config.value(u"DrawTitle");
    if (Document->Description.empty()) Document->Description = Config.value(u"DrawType");
  }

  std::u16string name = text::toLower(DrawScriptID);
  if (name.find(u"_data") == std::u16string::npos &&
      !text::trim(Config.value(u"DataParticipantsFile")).empty())
    name += u"_data";
  DrawScriptFactory factory = FindScript(name);
  if (!factory) throw Error(u"Draw script not found!");

  std::unique_ptr<TDrawScript> script = factory();
  script->Config = &Config;
  script->OnAddPage = [this] { return OnAddPage(); };
  script->OnGetPageRect = [this] { return OnGetPageRect(); };
  script->OnGetCanvas = [this] { return OnGetCanvas(); };
  script->OnMMToPixels = [this](int mm) { return OnMMToPixels(mm); };
  script->Style = text::equalsIgnoreCase(Config.value(u"DrawStyle"), u"framed") ? 1 : 0;
  script->DetailedResults = Config.boolean(u"DrawDetailedResults", false);
  script->Draw();
  script.reset();
  Document->CloseCanvas();

  if (TargetFile.empty()) throw Error(u"Target file not specified!");
  refuseInputAsTarget(Document->Count());
  if (!path::createFolders(path::folderOf(TargetFile)))
    throw Error(u"Cannot save file \"" + TargetFile + u"\"!");

  if (TargetFormat == kFormatPdf)
    savePdf();
  else
    Document->SaveToFiles(TargetFile);
}

void TDrawEngine::savePdf() {
  pdf::TPdfDocument pdfDoc(false, 0, false);
  switch (PaperSize) {
    case 4: pdfDoc.SetDefaultPaperSize(pdf::psA3); break;
    case 5: pdfDoc.SetDefaultPaperSize(pdf::psA4); break;
    case 6: pdfDoc.SetDefaultPaperSize(pdf::psA5); break;
    case 9: pdfDoc.SetDefaultPaperSize(pdf::psLetter); break;
    case 10: pdfDoc.SetDefaultPaperSize(pdf::psLegal); break;
    default: {
      int w = 210, h = 297;
      units::paperSize(PaperSize, 0, w, h);
      pdfDoc.SetDefaultPageWidth(units::mmToPdfPoints(w));
      pdfDoc.SetDefaultPageHeight(units::mmToPdfPoints(h));
    }
  }
  if (PageOrientation == 1) {
    // Junior-Legal and Ledger are listed wider than high: in landscape the pages are
    // drawn higher than wide, and the PDF page takes their shape.
    if (PaperSize == 11 || PaperSize == 12) {
      const int32_t w = pdfDoc.DefaultPageWidth(), h = pdfDoc.DefaultPageHeight();
      pdfDoc.SetDefaultPageWidth(h);
      pdfDoc.SetDefaultPageHeight(w);
    } else {
      pdfDoc.SetDefaultPageLandscape(true);
    }
  }
  pdfDoc.SetTitle(Config.value(u"DrawTitle"));
  pdfDoc.SetSubject(Config.value(u"DrawType"));
  pdfDoc.SetKeywords(Config.value(u"DocumentKeywords"));
  pdfDoc.SetAuthor(Config.value(u"DocumentAuthor"));
  pdfDoc.SetCreator(Config.value(u"DocumentCreator"));
  Document->CloseCanvas();
  for (int32_t i = 0; i < Document->Count(); ++i) {
    const platform::TMetafile& page = Document->Page(i);
    pdfDoc.AddPage();
    pdf::RenderMetaFile(pdfDoc.Canvas(), emf::parseEmf(page.Bytes()), page.Width, page.Height);
  }
  if (KeepEmfCopy) Document->SaveToFiles(path::changeExtension(TargetFile, u".emf"));
  if (Document->Count() == 0 || !pdfDoc.SaveToFile(TargetFile)) throw Error(u"Cannot save resulting file!");
}

void TDrawEngine::refuseInputAsTarget(int32_t pageCount) const {
  if (TargetFile.empty()) return;
  std::vector<std::u16string> outputs;
  if (TargetFormat == kFormatPdf) {
    outputs.push_back(TargetFile);
    if (KeepEmfCopy) {
      const std::u16string emf = path::changeExtension(TargetFile, u".emf");
      if (pageCount == 0) outputs.push_back(emf);
      for (auto& name : pdf::pageFileNames(emf, pageCount)) outputs.push_back(std::move(name));
    }
  } else {
    if (pageCount == 0) outputs.push_back(TargetFile);
    for (auto& name : pdf::pageFileNames(TargetFile, pageCount)) outputs.push_back(std::move(name));
  }
  std::vector<std::u16string> inputs = InputFiles;
  inputs.push_back(Config.value(u"DataParticipantsFile"));
  inputs.push_back(Config.value(u"DataScheduleFile"));
  for (const auto& input : inputs)
    for (const auto& output : outputs)
      if (!input.empty() && sameFile(input, output))
        throw Error(u"Target file would overwrite an input file \"" + output + u"\"!");
}

int TDrawEngine::OnAddPage() {
  if (!Document || TargetFormat == kFormatNone) return -1;
  return Document->AddPage();
}

TRect TDrawEngine::OnGetPageRect() {
  if (!Document || TargetFormat == kFormatNone) return {};
  return Document->GetPrintRect();
}

platform::TCanvas* TDrawEngine::OnGetCanvas() {
  if (!Document || TargetFormat == kFormatNone) return nullptr;
  return Document->Canvas();
}

int TDrawEngine::OnMMToPixels(int mm) { return units::mmToPixels(mm); }

}  // namespace velmoro::draw
