// TDrawScript: the base of every draw script. The engine hands a script its
// configuration, four bound operations (pages, drawing area, canvas, mm to pixels), its
// style and the detailed-results switch, then calls Draw. Draw of the base only checks
// that all of that is there; each script calls it first and returns when not Ready.
#pragma once

#include "common/config_list.h"
#include "platform/geometry.h"

#include <functional>
#include <memory>
#include <string_view>

namespace velmoro::platform {
class TCanvas;
}

namespace velmoro::draw {

class TDrawScript {
 public:
  TDrawScript() = default;
  virtual ~TDrawScript() = default;
  TDrawScript(const TDrawScript&) = delete;
  TDrawScript& operator=(const TDrawScript&) = delete;

  virtual void Draw() {
    Ready = OnAddPage && OnGetPageRect && OnGetCanvas && OnMMToPixels && Config != nullptr;
  }

  bool UsesDataFiles = false;
  bool Ready = false;
  std::function<int()> OnAddPage;
  std::function<TRect()> OnGetPageRect;
  std::function<platform::TCanvas*()> OnGetCanvas;
  std::function<int(int)> OnMMToPixels;
  TConfigList* Config = nullptr;  // the engine's, not owned
  uint8_t Style = 0;              // 0 plain, 1 framed
  bool DetailedResults = false;
};

using DrawScriptFactory = std::function<std::unique_ptr<TDrawScript>()>;

// The script for a lower-cased draw script name; empty when there is none.
DrawScriptFactory findDrawScript(std::u16string_view name);

}  // namespace velmoro::draw
