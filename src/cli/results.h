// Plain sentences for the result codes of the libraries' exports.
#pragma once

#include <cstdint>
#include <string>

namespace velmoro::cli {

enum class Generator { Draw, Swiss };

std::string explainGeneratorResult(Generator g, int32_t code, const std::string& config,
                                   const std::string& target);
std::string explainConvertResult(int32_t code, const std::string& input, const std::string& output);

}  // namespace velmoro::cli
