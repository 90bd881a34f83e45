// Rendering test pictures into PDF documents, and the checks of the files that come out
// with the independent readers (qpdf, poppler).
#pragma once

#include "pdf/emf_renderer.h"
#include "pdf/pdf_document.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace velmoro::test {

// Adds a page to doc, renders the picture onto it and returns the page's content.
std::string renderPage(pdf::TPdfDocument& doc, const std::vector<uint8_t>& emf, int32_t width = 794,
                       int32_t height = 1123);

// "" when every q has its Q and no Q comes first, else what is wrong.
std::string qBalance(const std::string& content);

// The content streams of every page of a PDF file, uncompressed by qpdf.
std::vector<std::string> pageContents(const std::string& qpdf, const std::filesystem::path& pdf);

// A raster of one page: grey levels, row by row.
struct Raster {
  int width = 0, height = 0;
  std::vector<uint8_t> pixels;  // grey, or RGB when rgb
  bool rgb = false;
  uint8_t grey(int x, int y) const { return pixels[size_t(y) * width + x]; }
  uint32_t color(int x, int y) const {  // 0xRRGGBB
    const uint8_t* p = &pixels[(size_t(y) * width + x) * 3];
    return uint32_t(p[0]) << 16 | p[1] << 8 | p[2];
  }
};
// Reads a binary PGM (P5) or PPM (P6) file.
Raster readPnm(const std::filesystem::path& file);

}  // namespace velmoro::test
