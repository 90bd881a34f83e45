// Deflate with the zlib header and Adler-32 trailer: level 7, 15-bit window, memory
// level 8, default strategy, one whole buffer per call.
#pragma once

#include <string>
#include <string_view>

namespace velmoro::pdf {

std::string deflateBuffer(std::string_view data);

}  // namespace velmoro::pdf
