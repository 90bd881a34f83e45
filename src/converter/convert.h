// The converter: EMF files into one PDF, a page per file, with document information.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace velmoro::convert {

enum ConvertResult : int32_t { kConverted = 0, kConvertFailed = 1, kNoInputOrNotSaved = 2 };

struct DocumentInfo {
  std::u16string title, subject, keywords;
  std::optional<std::u16string> author;  // none: the calling program's CompanyName
};

// Never throws; the reason of a failure goes to the failure log.
int32_t convertEmfToPdf(const std::u16string& input, const std::u16string& output, const DocumentInfo& info);

}  // namespace velmoro::convert
