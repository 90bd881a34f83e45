#include "cli/results.h"

namespace velmoro::cli {

namespace {

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

}  // namespace

std::string explainGeneratorResult(Generator g, int32_t code, const std::string& config,
                                   const std::string& target) {
  switch (code) {
    case 0:
      return "draw written";
    case 1:
      return "the draw failed with an unexpected error";
    case 2:
      return g == Generator::Draw ? "the draw engine reported an error (its message is above)"
                                  : "the PDF file could not be saved: " + target;
    case 3:
      if (g == Generator::Swiss) return "unknown target format: name Pdf, Emf-Pages or Emf, or end the target in .pdf or .emf";
      break;
    case 4:
      if (g == Generator::Swiss) return "the Swiss generator failed on the participants or schedule file (its message is above)";
      break;
    case 5:
      return "cannot create the target folder: " + folderOf(target);
    case 6:
      return "configuration file not found: " + config;
  }
  return "unexpected result code " + std::to_string(code);
}

std::string explainConvertResult(int32_t code, const std::string& input, const std::string& output) {
  switch (code) {
    case 0:
      return "PDF written";
    case 1:
      return "the conversion failed (no EMF file matched " + input +
             ", the output folder cannot be created, or a file is not a valid EMF)";
    case 2:
      return input.empty() ? "no input given" : "the PDF file could not be saved: " + output;
  }
  return "unexpected result code " + std::to_string(code);
}

}  // namespace velmoro::cli
