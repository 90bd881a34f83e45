// The match labels: 96 letter labels, set up when the library is loaded. The capitals
// A-Z without Q and W, the small letters likewise, then both again followed by "2";
// numbers beyond 96 are "M" + number.
#pragma once

#include <string>

namespace velmoro::draw {

std::u16string matchLabel(int number);

}  // namespace velmoro::draw
