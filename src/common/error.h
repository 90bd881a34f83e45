// The exception every failure inside a library is raised with. The message is the
// system's own text (UTF-16); what() gives it as UTF-8.
#pragma once

#include <exception>
#include <string>

namespace velmoro {

class Error : public std::exception {
 public:
  explicit Error(std::u16string message);
  const std::u16string& message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  std::u16string message_;
  std::string utf8_;
};

// The message of any exception, for the places that turn exceptions into results.
std::u16string messageOf(const std::exception& e);

}  // namespace velmoro
