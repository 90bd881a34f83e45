// The screen's resolution in pixels per inch. There is no screen to ask: the value is
// 96, or VELMORO_SCREEN_DPI when that holds a number from 1 to 4800, read once.
#pragma once

namespace velmoro::platform {

int screenDpi();

}  // namespace velmoro::platform
