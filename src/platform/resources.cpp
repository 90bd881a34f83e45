#include "platform/resources.h"

#include "common/unicode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <mutex>

namespace velmoro::platform {

namespace {

constexpr char kMagic[8] = {'V', 'L', 'M', 'R', 'E', 'S', '0', '1'};
constexpr size_t kTrailerSize = 8 + 8 + 4 + 8;

uint64_t readLE(std::span<const uint8_t> b, size_t at, int bytes) {
  uint64_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | b[at + static_cast<size_t>(i)];
  return v;
}

void writeLE(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

struct Trailer {
  uint64_t archiveSize = 0, indexSize = 0;
  uint32_t count = 0;
};

std::optional<Trailer> readTrailer(std::span<const uint8_t> tail, uint64_t fileSize) {
  if (tail.size() < kTrailerSize) return std::nullopt;
  tail = tail.last(kTrailerSize);
  if (std::memcmp(tail.data() + 20, kMagic, sizeof kMagic) != 0) return std::nullopt;
  Trailer t{readLE(tail, 0, 8), readLE(tail, 8, 8), static_cast<uint32_t>(readLE(tail, 16, 4))};
  if (t.archiveSize < kTrailerSize || t.archiveSize > fileSize) return std::nullopt;
  if (t.indexSize > t.archiveSize - kTrailerSize) return std::nullopt;
  return t;
}

// archive: the whole archive, trailer included.
std::vector<Resource> parseArchive(std::span<const uint8_t> archive, const Trailer& t) {
  std::vector<Resource> out;
  size_t dataSize = archive.size() - kTrailerSize - t.indexSize;
  std::span<const uint8_t> index = archive.subspan(dataSize, t.indexSize);
  size_t at = 0;
  auto text = [&](std::string& s) {
    if (index.size() - at < 4) return false;
    uint64_t n = readLE(index, at, 4);
    at += 4;
    if (index.size() - at < n) return false;
    s.assign(reinterpret_cast<const char*>(index.data() + at), n);
    at += n;
    return true;
  };
  for (uint32_t i = 0; i < t.count; ++i) {
    Resource r;
    if (!text(r.type) || !text(r.name) || index.size() - at < 18) return {};
    r.language = static_cast<uint16_t>(readLE(index, at, 2));
    uint64_t offset = readLE(index, at + 2, 8), size = readLE(index, at + 10, 8);
    at += 18;
    if (offset > dataSize || size > dataSize - offset) return {};
    r.data.assign(archive.begin() + static_cast<ptrdiff_t>(offset),
                  archive.begin() + static_cast<ptrdiff_t>(offset + size));
    out.push_back(std::move(r));
  }
  return out;
}

}  // namespace

std::vector<Resource> parseResourceArchive(std::span<const uint8_t> file) {
  auto t = readTrailer(file, file.size());
  if (!t) return {};
  return parseArchive(file.last(t->archiveSize), *t);
}

size_t programSizeWithoutArchive(std::span<const uint8_t> file) {
  auto t = readTrailer(file, file.size());
  return t ? file.size() - t->archiveSize : file.size();
}

std::vector<uint8_t> replaceResourceArchive(std::span<const uint8_t> file,
                                            const std::vector<Resource>& resources) {
  std::vector<uint8_t> out(file.begin(), file.begin() + static_cast<ptrdiff_t>(programSizeWithoutArchive(file)));
  size_t archiveStart = out.size();
  std::vector<uint8_t> index;
  for (const auto& r : resources) {
    writeLE(index, r.type.size(), 4);
    index.insert(index.end(), r.type.begin(), r.type.end());
    writeLE(index, r.name.size(), 4);
    index.insert(index.end(), r.name.begin(), r.name.end());
    writeLE(index, r.language, 2);
    writeLE(index, out.size() - archiveStart, 8);
    writeLE(index, r.data.size(), 8);
    out.insert(out.end(), r.data.begin(), r.data.end());
  }
  out.insert(out.end(), index.begin(), index.end());
  uint64_t archiveSize = out.size() - archiveStart + kTrailerSize;
  writeLE(out, archiveSize, 8);
  writeLE(out, index.size(), 8);
  writeLE(out, resources.size(), 4);
  out.insert(out.end(), kMagic, kMagic + sizeof kMagic);
  return out;
}

std::vector<Resource> readResourcesOfFile(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::vector<Resource> out;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && static_cast<uint64_t>(st.st_size) >= kTrailerSize) {
    uint64_t size = static_cast<uint64_t>(st.st_size);
    uint8_t tail[kTrailerSize];
    if (::pread(fd, tail, kTrailerSize, static_cast<off_t>(size - kTrailerSize)) ==
        static_cast<ssize_t>(kTrailerSize)) {
      if (auto t = readTrailer(tail, size)) {
        std::vector<uint8_t> archive(t->archiveSize);
        if (::pread(fd, archive.data(), archive.size(), static_cast<off_t>(size - t->archiveSize)) ==
            static_cast<ssize_t>(archive.size()))
          out = parseArchive(archive, *t);
      }
    }
  }
  ::close(fd);
  return out;
}

const std::vector<Resource>& ownResources() {
  static const std::vector<Resource> resources = readResourcesOfFile("/proc/self/exe");
  return resources;
}

const Resource* findResource(const std::vector<Resource>& resources, std::string_view type,
                             std::string_view name) {
  for (const auto& r : resources)
    if (r.type == type && (name.empty() || r.name == name)) return &r;
  return nullptr;
}

TVersionInfo ownVersionInfo() {
  if (const Resource* r = findResource(ownResources(), kVersionType)) return TVersionInfo(r->data);
  return {};
}

}  // namespace velmoro::platform
