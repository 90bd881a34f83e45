#include "common/atomic_file.h"

#include "common/error.h"
#include "common/paths.h"
#include "common/unicode.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

namespace velmoro {

namespace {

[[noreturn]] void fail(const std::u16string& path, int error) {
  throw Error(u"Cannot write file \"" + path + u"\": " + text::fromUtf8(std::strerror(error)));
}

bool writeAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

mode_t defaultMode() {
  mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

void writeFileAtomically(const std::u16string& path, std::span<const uint8_t> bytes,
                         std::optional<mode_t> mode) {
  const std::string target = path::toSystem(path);
  if (!mode) {
    struct stat st {};
    mode = ::stat(target.c_str(), &st) == 0 ? (st.st_mode & 07777) : defaultMode();
  }
  std::string temp = target + ".XXXXXX";
  int fd = ::mkstemp(temp.data());
  if (fd < 0) fail(path, errno);
  int error = 0;
  errno = 0;
  if (::fchmod(fd, *mode) != 0 || !writeAll(fd, bytes) || ::fsync(fd) != 0) error = errno ? errno : EIO;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && ::rename(temp.c_str(), target.c_str()) != 0) error = errno;
  if (error != 0) {
    ::unlink(temp.c_str());
    fail(path, error);
  }
}

}  // namespace velmoro
