// Turning a result around so that it reads from the other side: "3:1" becomes "1:3",
// a detailed result such as "6:4, 7:6(5)" becomes "4:6,6:7(5)", "6-4 7-6" becomes
// "4-6 6-7", "64 76/5" (digits written together) becomes "46 67/5" and "9,-8,5" (signed
// points) becomes "-9,8,-5".
#pragma once

#include <string>
#include <string_view>

namespace velmoro::draw {

std::u16string turnResult(std::u16string_view result);
std::u16string turnDetailedResult(std::u16string_view detailed);

}  // namespace velmoro::draw
