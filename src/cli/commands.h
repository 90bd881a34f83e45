// The commands of velmoro. Each returns the process exit code.
#pragma once

#include <string>
#include <vector>

namespace velmoro::cli {

inline constexpr int kUsageError = 64;   // EX_USAGE
inline constexpr int kUnavailable = 69;  // EX_UNAVAILABLE: a library is missing

int drawCommand(const std::vector<std::string>& args);
int swissCommand(const std::vector<std::string>& args);
int convertCommand(const std::vector<std::string>& args);
int demoCommand(const std::vector<std::string>& args);

// One generator request through the library's VLGNW export, reported on stderr.
int runGenerator(const std::string& library, const std::string& config, const std::string& target,
                 bool keepEmf);

}  // namespace velmoro::cli
