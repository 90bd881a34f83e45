// The one way the system writes a file: a temporary file in the same folder, written,
// flushed to disk and renamed over the target, so a crash or a full disk never leaves a
// half-written file. Any failure raises velmoro::Error naming the path; the target is
// then untouched and the temporary file removed.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include <sys/types.h>  // mode_t

namespace velmoro {

// mode: permissions of a new file; by default an existing target keeps its mode and a
// new one gets 0666 less the umask.
void writeFileAtomically(const std::u16string& path, std::span<const uint8_t> bytes,
                         std::optional<mode_t> mode = std::nullopt);

}  // namespace velmoro
