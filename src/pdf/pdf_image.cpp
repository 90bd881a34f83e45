#include "pdf/pdf_image.h"

namespace velmoro::pdf {

TDigest digestOf(std::string_view a, std::string_view b) {
  // Two independent 64-bit FNV-1a lanes; a match is confirmed byte for byte.
  uint64_t h1 = 14695981039346656037ull, h2 = 0x84222325CBF29CE4ull;
  for (std::string_view part : {a, b})
    for (unsigned char c : part) {
      h1 = (h1 ^ c) * 1099511628211ull;
      h2 = (h2 ^ c) * 0x100000001B3ull + 0x9E3779B97F4A7C15ull;
    }
  TDigest d;
  for (int i = 0; i < 8; ++i) d[i] = static_cast<uint8_t>(h1 >> (8 * i)), d[8 + i] = static_cast<uint8_t>(h2 >> (8 * i));
  return d;
}

TPdfImage::TPdfImage(const TDibBitmap& bitmap, bool compress)
    : TPdfXObject(compress), width_(bitmap.width), height_(bitmap.height) {
  TPdfDictionary& d = Attributes();
  d.AddItem("Type", pdf::Name("XObject"));
  d.AddItem("Subtype", pdf::Name("Image"));
  if (bitmap.indexed) {
    TPdfWrite palette(colors_);
    palette.Add('<');
    for (uint32_t rgb : bitmap.palette) {
      const char bytes[3] = {char(rgb >> 16), char(rgb >> 8), char(rgb)};
      palette.AddHex(std::string_view(bytes, 3)).Add(' ');
    }
    palette.Add('>');
    auto space = std::make_unique<TPdfArray>();
    space->AddItem(pdf::Name("Indexed"));
    space->AddItem(pdf::Name("DeviceRGB"));
    space->AddItem(Number(255));
    space->AddItem(std::make_unique<TPdfRawText>(colors_));
    d.AddItem("ColorSpace", std::move(space));
  } else {
    d.AddItem("ColorSpace", pdf::Name("DeviceRGB"));
  }
  d.AddItem("Width", Number(width_));
  d.AddItem("Height", Number(height_));
  d.AddItem("BitsPerComponent", Number(8));
  Content().assign(bitmap.pixels.begin(), bitmap.pixels.end());
  const std::string size = std::to_string(width_) + "x" + std::to_string(height_) + ":";
  digest_ = digestOf(size + colors_, Content());
}

bool TPdfImage::SameAs(const TPdfImage& other) const {
  return width_ == other.width_ && height_ == other.height_ && digest_ == other.digest_ && colors_ == other.colors_ &&
         Content() == other.Content();
}

std::string TPdfImage::Name() const {
  auto* name = Attributes().As<TPdfName>("Name");
  return name ? name->Value : std::string();
}

}  // namespace velmoro::pdf
