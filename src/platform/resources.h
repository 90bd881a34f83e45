// Program resources: a resource archive appended to an executable file.
//
//   file:    [program bytes][entry data ...][index][trailer]
//   index:   per entry: u32 typeLength, type (UTF-8) | u32 nameLength, name (UTF-8) |
//            u16 language | u64 offset (from the archive start) | u64 size
//   trailer: u64 archive size (data + index + trailer) | u64 index size |
//            u32 entry count | 8 bytes magic "VLMRES01"
//
// Types and names are texts; numeric ones are written "#16" (RT_VERSION), "#10"
// (RT_RCDATA) as Windows writes integer resource names. Readers check every length
// and offset against the file and treat a damaged archive as no archive.
#pragma once

#include "common/version_info.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velmoro::platform {

struct Resource {
  std::string type;
  std::string name;
  uint16_t language = 0;
  std::vector<uint8_t> data;
};

inline constexpr const char* kVersionType = "#16";

// The resources of a whole file image; empty when it carries no (valid) archive.
std::vector<Resource> parseResourceArchive(std::span<const uint8_t> file);
// Length of the program without its archive (the whole image when there is none).
size_t programSizeWithoutArchive(std::span<const uint8_t> file);
// The image with its archive (if any) replaced by one holding resources.
std::vector<uint8_t> replaceResourceArchive(std::span<const uint8_t> file,
                                            const std::vector<Resource>& resources);

// Reads only the archive at the end of a file on disk.
std::vector<Resource> readResourcesOfFile(const std::string& path);
// The running program's resources, read once from /proc/self/exe.
const std::vector<Resource>& ownResources();

const Resource* findResource(const std::vector<Resource>& resources, std::string_view type,
                             std::string_view name = {});

// The version block of the running program (empty values when it has none).
TVersionInfo ownVersionInfo();

}  // namespace velmoro::platform
