#include "render_support.h"

#include "platform/emf_reader.h"
#include "test_support.h"

#include <sstream>

namespace velmoro::test {

std::string renderPage(pdf::TPdfDocument& doc, const std::vector<uint8_t>& emf, int32_t width, int32_t height) {
  pdf::TPdfPage& page = doc.AddPage();
  pdf::RenderMetaFile(doc.Canvas(), emf::parseEmf(emf), width, height);
  return page.Contents->Content();
}

std::string qBalance(const std::string& content) {
  int depth = 0;
  std::istringstream lines(content);
  for (std::string line; std::getline(lines, line);) {
    if (line == "q") ++depth;
    if (line == "Q" && --depth < 0) return "Q without q";
  }
  return depth == 0 ? "" : std::to_string(depth) + " q without Q";
}

std::vector<std::string> pageContents(const std::string& qpdf, const std::filesystem::path& pdf) {
  const std::filesystem::path plain = pdf.string() + ".qdf";
  auto r = run({qpdf, "--qdf", "--object-streams=disable", pdf.string(), plain.string()});
  std::vector<std::string> out;
  if (r.exitCode != 0) return out;
  const std::string text = readFile(plain);
  for (size_t at = text.find("%% Contents for page"); at != std::string::npos;
       at = text.find("%% Contents for page", at + 1)) {
    const size_t start = text.find("stream\n", at) + 7, end = text.find("endstream", start);
    out.push_back(text.substr(start, end - start));
  }
  return out;
}

Raster readPnm(const std::filesystem::path& file) {
  const std::string bytes = readFile(file);
  Raster r;
  std::istringstream in(bytes);
  std::string magic;
  int maxValue = 0;
  in >> magic >> r.width >> r.height >> maxValue;
  in.get();
  r.rgb = magic == "P6";
  const size_t size = size_t(r.width) * r.height * (r.rgb ? 3 : 1);
  const size_t at = static_cast<size_t>(in.tellg());
  if ((magic != "P5" && magic != "P6") || maxValue != 255 || bytes.size() < at + size) return {};
  r.pixels.assign(bytes.begin() + at, bytes.begin() + at + size);
  return r;
}

}  // namespace velmoro::test
