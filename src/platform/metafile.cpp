#include "platform/metafile.h"

#include "common/atomic_file.h"

namespace velmoro::platform {

std::vector<uint8_t> TMetafile::Bytes() const { return recording_.finish(Width, Height, CreatedBy, Description); }

void TMetafile::SaveToFile(const std::u16string& path) const { writeFileAtomically(path, Bytes()); }

}  // namespace velmoro::platform
