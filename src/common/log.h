// Failure diagnostics of the libraries. A result code cannot carry the engine's
// message, so when VELMORO_LOG is set ("stderr", or a file path to append to) each
// failed request writes one line there: "<library>: <message>".
#pragma once

#include <string_view>

namespace velmoro::log {

void failure(std::string_view library, std::u16string_view message);

}  // namespace velmoro::log
