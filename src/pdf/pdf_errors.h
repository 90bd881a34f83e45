// The two exceptions of the PDF writer: an operation the document's state does not
// allow (EPdfInvalidOperation) and a value it cannot take (EPdfInvalidValue).
#pragma once

#include "common/error.h"
#include "common/unicode.h"

#include <string_view>

namespace velmoro::pdf {

class EPdfInvalidOperation : public Error {
 public:
  explicit EPdfInvalidOperation(std::string_view message) : Error(text::fromUtf8(message)) {}
};

class EPdfInvalidValue : public Error {
 public:
  explicit EPdfInvalidValue(std::string_view message) : Error(text::fromUtf8(message)) {}
};

}  // namespace velmoro::pdf
