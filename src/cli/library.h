// Loading the product's libraries the way a script does: dlopen and dlsym of their
// exported C functions, never their headers. Found beside the program first
// (../lib, as installed and in the build tree), then through the system's search.
#pragma once

#include <string>

namespace velmoro::cli {

class Library {
 public:
  // Loads lib<name>.so; on failure ok() is false and error() says why.
  explicit Library(const std::string& name);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool ok() const { return handle_ != nullptr; }
  const std::string& error() const { return error_; }
  void* symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

std::string programFolder();  // folder of the running program, with a final "/"

}  // namespace velmoro::cli
