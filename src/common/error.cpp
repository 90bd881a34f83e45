#include "common/error.h"

#include "common/unicode.h"

namespace velmoro {

Error::Error(std::u16string message) : message_(std::move(message)), utf8_(text::toUtf8(message_)) {}

std::u16string messageOf(const std::exception& e) {
  if (auto* own = dynamic_cast<const Error*>(&e)) return own->message();
  return text::fromUtf8(e.what());
}

}  // namespace velmoro
