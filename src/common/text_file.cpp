#include "common/text_file.h"

#include "common/atomic_file.h"
#include "common/paths.h"
#include "common/unicode.h"

#include <fcntl.h>     // open
#include <sys/stat.h>  // fstat
#include <unistd.h>    // read, close

#include <algorithm>
#include <cerrno>

namespace velmoro::text {

namespace {

std::u16string decodeUtf16(std::span<const uint8_t> bytes, bool bigEndian) {
  std::u16string out;
  out.reserve(bytes.size() / 2 + 1);
  size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) {
    uint16_t hi = bigEndian ? bytes[i] : bytes[i + 1];
    uint16_t lo = bigEndian ? bytes[i + 1] : bytes[i];
    out.push_back(static_cast<char16_t>((hi << 8) | lo));
  }
  if (i < bytes.size()) out.push_back(u'\uFFFD');  // a dangling odd byte
  return out;
}

}  // namespace

std::u16string decodeText(std::span<const uint8_t> bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xEF && bytes[1] == 0xBB && bytes[2] == 0xBF)
    bytes = bytes.subspan(3);
  else if (bytes.size() >= 2 && bytes[0] == 0xFF && bytes[1] == 0xFE)
    return decodeUtf16(bytes.subspan(2), false);
  else if (bytes.size() >= 2 && bytes[0] == 0xFE && bytes[1] == 0xFF)
    return decodeUtf16(bytes.subspan(2), true);
  return fromUtf8(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

std::optional<std::vector<uint8_t>> readFileBytes(const std::u16string& path) {
  int fd = ::open(path::toSystem(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  std::vector<uint8_t> bytes;
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) bytes.reserve(static_cast<size_t>(st.st_size));
  uint8_t buffer[65536];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      ::close(fd);
      return std::nullopt;
    }
    if (n == 0) break;
    bytes.insert(bytes.end(), buffer, buffer + n);
  }
  ::close(fd);
  return bytes;
}

std::u16string readTextFile(const std::u16string& path) {
  auto bytes = readFileBytes(path);
  if (!bytes) return {};
  return decodeText(*bytes);
}

std::vector<uint8_t> encodeUtf8WithBom(std::u16string_view text) {
  const std::string utf8 = toUtf8(text);
  std::vector<uint8_t> bytes(3 + utf8.size());
  bytes[0] = 0xEF;
  bytes[1] = 0xBB;
  bytes[2] = 0xBF;
  std::copy(utf8.begin(), utf8.end(), bytes.begin() + 3);
  return bytes;
}

void writeTextFile(const std::u16string& path, std::u16string_view text) {
  writeFileAtomically(path, encodeUtf8WithBom(text));
}

}  // namespace velmoro::text
