#include "cli/library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <vector>

namespace velmoro::cli {

std::string programFolder() {
  std::vector<char> buffer(4096);
  ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return "./";
  std::string exe(buffer.data(), static_cast<size_t>(n));
  return exe.substr(0, exe.rfind('/') + 1);
}

Library::Library(const std::string& name) {
  const std::string file = "lib" + name + ".so";
  for (const std::string& candidate : {programFolder() + "../lib/" + file, programFolder() + file, file}) {
    handle_ = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle_) return;
    if (error_.empty() || candidate == file) error_ = ::dlerror();
  }
}

Library::~Library() {
  if (handle_) ::dlclose(handle_);
}

void* Library::symbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

}  // namespace velmoro::cli
