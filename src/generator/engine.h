// TDrawEngine turns one draw configuration into one saved document: it parses the page
// and output settings, chooses the draw script by name, lets it draw onto the pages of
// a page document and saves them as EMF files or one PDF. A failure inside a run ends
// it with ErrorMessage set; the caller reads the message afterwards.
#pragma once

#include "common/config_list.h"
#include "generator/draw_script.h"
#include "pdf/metafile_document.h"
#include "platform/geometry.h"

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmoro::draw {

enum : uint8_t { kFormatNone = 0, kFormatPdf = 1, kFormatEmfPages = 2, kFormatEmf = 3 };

class TDrawEngine {
 public:
  TDrawEngine();
  TDrawEngine(const TDrawEngine&) = delete;
  TDrawEngine& operator=(const TDrawEngine&) = delete;

  void LoadSettings();
  void Execute();

  // The engine's operations handed to the draw script.
  int OnAddPage();
  TRect OnGetPageRect();
  platform::TCanvas* OnGetCanvas();
  int OnMMToPixels(int mm);

  std::u16string ErrorMessage;
  bool SettingsLoaded = false;
  uint8_t TargetFormat = kFormatEmfPages;
  std::u16string TargetFile;
  // The pages of the current run; exists only during Execute.
  std::unique_ptr<pdf::TMetafileDocument> Document;
  bool KeepEmfCopy = false;
  std::u16string DrawScriptID;
  TConfigList Config;
  std::array<int32_t, 4> Margins{};  // left, top, right, bottom, in mm
  uint8_t PaperSize = 5;
  uint8_t PageOrientation = 0;

  // Files the request reads besides the data files the configuration names (the entry
  // point adds the configuration file); the target may not be one of them.
  std::vector<std::u16string> InputFiles;
  // Chooses the script for a name; the built-in table unless a test replaces it.
  std::function<DrawScriptFactory(std::u16string_view)> FindScript = findDrawScript;

 private:
  void run();
  void savePdf();
  // Refuses outputs that name an input; pageCount 0 checks the target name alone.
  void refuseInputAsTarget(int32_t pageCount) const;
};

// Target format names by index ("" for 0), and the index of a name (0 when none).
std::u16string_view targetFormatName(int index);
uint8_t findTargetFormat(std::u16string_view name);

}  // namespace velmoro::draw
