#include "common/paths.h"

#include "common/unicode.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace velmoro::path {

std::u16string toNative(std::u16string_view p) {
  std::u16string out(p);
  for (auto& c : out)
    if (c == u'\\') c = u'/';
  return out;
}

bool isAbsolute(std::u16string_view p) { return !p.empty() && (p[0] == u'/' || p[0] == u'\\'); }

std::u16string resolve(std::u16string_view p, std::u16string_view folder) {
  std::u16string native = toNative(p);
  if (isAbsolute(native)) return native;
  std::u16string out = toNative(folder);
  if (!out.empty() && out.back() != u'/') out += u'/';
  return out + native;
}

std::u16string currentDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (errno != ERANGE) return u"/";
    buffer.resize(buffer.size() * 2);
  }
  return text::fromUtf8(buffer.data());
}

std::u16string folderOf(std::u16string_view p) {
  std::u16string native = toNative(p);
  size_t slash = native.rfind(u'/');
  return slash == std::u16string::npos ? std::u16string() : native.substr(0, slash + 1);
}

std::u16string fileNameOf(std::u16string_view p) {
  std::u16string native = toNative(p);
  size_t slash = native.rfind(u'/');
  return slash == std::u16string::npos ? native : native.substr(slash + 1);
}

std::u16string extensionOf(std::u16string_view p) {
  std::u16string name = fileNameOf(p);
  size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? std::u16string() : name.substr(dot);
}

std::u16string changeExtension(std::u16string_view p, std::u16string_view ext) {
  std::u16string native = toNative(p);
  size_t cut = native.size() - extensionOf(native).size();
  return native.substr(0, cut) + std::u16string(ext);
}

std::string toSystem(std::u16string_view p) { return text::toUtf8(toNative(p)); }

bool fileExists(std::u16string_view p) {
  struct stat st {};
  return ::stat(toSystem(p).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool folderExists(std::u16string_view p) {
  struct stat st {};
  return ::stat(toSystem(p).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool createFolders(std::u16string_view folder) {
  std::string path = toSystem(folder);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  if (path.empty()) return true;  // the current directory
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/') continue;
    std::string part = path.substr(0, i);
    if (::mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) return false;
  }
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace velmoro::path
