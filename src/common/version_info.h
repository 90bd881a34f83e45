// TVersionInfo reads a standard binary version block (the VS_VERSIONINFO layout):
// a fixed part with file and product versions, and string values under
// \StringFileInfo\<language><code page>\<name>, where the first pair listed in
// \VarFileInfo\Translation picks the table. A missing block, table or value reads as "".
//
// Block layout (all little-endian, every block aligned to 4 bytes):
//   u16 length | u16 valueLength | u16 type (0 binary, 1 text) | key UTF-16 NUL | pad
//   value (valueLength bytes, or valueLength UTF-16 units for text) | pad | children
#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace velmoro {

struct TFixedVersion {
  uint32_t fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
};

class TVersionInfo {
 public:
  TVersionInfo() = default;
  // Parses a version block; malformed parts are ignored, never raised.
  explicit TVersionInfo(std::span<const uint8_t> block);

  bool hasFixed() const { return hasFixed_; }
  const TFixedVersion& fixed() const { return fixed_; }

  // Translation pair as eight upper-case hex digits, language first ("040904B0").
  std::u16string translation() const { return translation_; }
  std::u16string stringValue(std::u16string_view name) const;

  std::u16string CompanyName() const { return stringValue(u"CompanyName"); }
  std::u16string ProductName() const { return stringValue(u"ProductName"); }
  std::u16string LegalCopyright() const { return stringValue(u"LegalCopyright"); }
  std::u16string FileDescription() const { return stringValue(u"FileDescription"); }
  std::u16string FileVersion() const;
  std::u16string ProductVersion() const;

 private:
  bool hasFixed_ = false;
  TFixedVersion fixed_;
  std::u16string translation_;
  // Tables by their key, values by name (keys kept as written; lookups ignore case).
  std::vector<std::pair<std::u16string, std::vector<std::pair<std::u16string, std::u16string>>>>
      tables_;
};

// Builds a version block with one string table (language 0409, code page 04B0) and
// the fixed versions parsed from "a.b.c.d" texts in FileVersion and ProductVersion.
std::vector<uint8_t> buildVersionBlock(
    const std::vector<std::pair<std::u16string, std::u16string>>& strings);

}  // namespace velmoro
