// One draw request of the library's exports: resolve the paths, read the configuration,
// complete it with the calling program's metadata, run a fresh engine and turn the
// outcome into a result code.
#pragma once

#include "common/version_info.h"

#include <cstdint>
#include <string>

namespace velmoro::draw {

enum ResultCode : int32_t {
  kResultOk = 0,
  kResultException = 1,
  kResultEngineError = 2,
  kResultTargetFolder = 5,
  kResultNoConfiguration = 6,
};

struct DocumentMetadata {
  std::u16string author, creator, copyright;
};

// The product's web address that ends the copyright line.
inline constexpr std::u16string_view kProductWebAddress = u"https://velmoro.org";

// Author, creator and copyright line from a program's version block. The copyright line
// joins ProductName, LegalCopyright (its first "(c)" as U+00A9) and the web address with
// ",  ", leaving out empty parts with their separators.
DocumentMetadata metadataFrom(const TVersionInfo& version);

// A configuration or target path resolved against the current directory.
std::u16string resolveRequestPath(std::u16string_view path);

// The whole request; never throws.
int32_t runDrawRequest(std::u16string_view configPath, std::u16string_view targetPath, bool keepEmf);

}  // namespace velmoro::draw
