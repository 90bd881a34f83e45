#include "common/version_info.h"

#include "common/unicode.h"

#include <cstdio>

namespace velmoro {

namespace {

uint16_t u16At(std::span<const uint8_t> b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t u32At(std::span<const uint8_t> b, size_t at) {
  return u16At(b, at) | (static_cast<uint32_t>(u16At(b, at + 2)) << 16);
}
size_t align4(size_t n) { return (n + 3) & ~size_t(3); }

// One block of the tree, located in the buffer; children follow the value.
struct Block {
  std::u16string key;
  uint16_t type = 0;
  std::span<const uint8_t> value;     // the raw value bytes
  std::span<const uint8_t> children;  // the bytes holding the child blocks
};

// Reads the block at the start of b; false when it does not fit.
bool readBlock(std::span<const uint8_t> b, Block& out, size_t& consumed) {
  if (b.size() < 6) return false;
  size_t length = u16At(b, 0);
  size_t valueLength = u16At(b, 2);
  out.type = u16At(b, 4);
  if (length < 6 || length > b.size()) return false;
  b = b.first(length);
  size_t at = 6;
  out.key.clear();
  for (;;) {
    if (at + 2 > b.size()) return false;
    char16_t c = u16At(b, at);
    at += 2;
    if (c == 0) break;
    out.key.push_back(c);
  }
  at = std::min(align4(at), b.size());
  size_t valueBytes = out.type == 1 ? valueLength * 2 : valueLength;
  valueBytes = std::min(valueBytes, b.size() - at);
  out.value = b.subspan(at, valueBytes);
  at = std::min(align4(at + valueBytes), b.size());
  out.children = b.subspan(at);
  consumed = align4(length);
  return true;
}

template <typename F>
void forEachChild(std::span<const uint8_t> children, F&& f) {
  while (!children.empty()) {
    Block child;
    size_t consumed = 0;
    if (!readBlock(children, child, consumed)) return;
    f(child);
    if (consumed >= children.size()) return;
    children = children.subspan(consumed);
  }
}

std::u16string textValue(std::span<const uint8_t> v) {
  std::u16string s;
  for (size_t i = 0; i + 1 < v.size(); i += 2) {
    char16_t c = u16At(v, i);
    if (c == 0) break;
    s.push_back(c);
  }
  return s;
}

std::u16string hex8(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%08X", v);
  return text::fromAscii(buf);
}

std::u16string dotted(uint32_t ms, uint32_t ls) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%u.%u.%u.%u", ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF);
  return text::fromAscii(buf);
}

}  // namespace

TVersionInfo::TVersionInfo(std::span<const uint8_t> block) {
  Block root;
  size_t consumed = 0;
  if (!readBlock(block, root, consumed)) return;
  if (root.value.size() >= 52 && u32At(root.value, 0) == 0xFEEF04BD) {
    hasFixed_ = true;
    fixed_ = {u32At(root.value, 8), u32At(root.value, 12), u32At(root.value, 16),
              u32At(root.value, 20)};
  }
  forEachChild(root.children, [&](const Block& section) {
    if (text::equalsIgnoreCase(section.key, u"StringFileInfo")) {
      forEachChild(section.children, [&](const Block& table) {
        auto& entry = tables_.emplace_back(table.key, std::vector<std::pair<std::u16string, std::u16string>>{});
        forEachChild(table.children, [&](const Block& str) {
          entry.second.emplace_back(str.key, textValue(str.value));
        });
      });
    } else if (text::equalsIgnoreCase(section.key, u"VarFileInfo")) {
      forEachChild(section.children, [&](const Block& var) {
        if (translation_.empty() && text::equalsIgnoreCase(var.key, u"Translation") &&
            var.value.size() >= 4)
          translation_ = hex8((static_cast<uint32_t>(u16At(var.value, 0)) << 16) | u16At(var.value, 2));
      });
    }
  });
}

std::u16string TVersionInfo::stringValue(std::u16string_view name) const {
  if (translation_.empty()) return {};
  for (const auto& [key, values] : tables_) {
    if (!text::equalsIgnoreCase(key, translation_)) continue;
    for (const auto& [n, v] : values)
      if (text::equalsIgnoreCase(n, name)) return v;
    return {};
  }
  return {};
}

std::u16string TVersionInfo::FileVersion() const {
  std::u16string s = stringValue(u"FileVersion");
  if (s.empty() && hasFixed_) s = dotted(fixed_.fileMS, fixed_.fileLS);
  return s;
}

std::u16string TVersionInfo::ProductVersion() const {
  std::u16string s = stringValue(u"ProductVersion");
  if (s.empty() && hasFixed_) s = dotted(fixed_.productMS, fixed_.productLS);
  return s;
}

// --- writer --------------------------------------------------------------------------

namespace {

struct Writer {
  std::vector<uint8_t> out;
  void u16(uint16_t v) {
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    u16(static_cast<uint16_t>(v));
    u16(static_cast<uint16_t>(v >> 16));
  }
  void pad() {
    while (out.size() % 4) out.push_back(0);
  }
  void str(std::u16string_view s) {
    for (char16_t c : s) u16(c);
    u16(0);
  }
  // Writes a block header and returns its start; close() patches the length.
  size_t open(std::u16string_view key, uint16_t valueLength, uint16_t type) {
    pad();
    size_t start = out.size();
    u16(0);
    u16(valueLength);
    u16(type);
    str(key);
    pad();
    return start;
  }
  void close(size_t start) {
    size_t length = out.size() - start;
    out[start] = static_cast<uint8_t>(length);
    out[start + 1] = static_cast<uint8_t>(length >> 8);
  }
};

void parseDotted(std::u16string_view s, uint32_t& ms, uint32_t& ls) {
  uint32_t parts[4] = {0, 0, 0, 0};
  size_t k = 0;
  for (char16_t c : s) {
    if (c == u'.') {
      if (++k == 4) break;
    } else if (c >= u'0' && c <= u'9') {
      parts[k] = (parts[k] * 10 + (c - u'0')) & 0xFFFF;
    } else {
      break;
    }
  }
  ms = (parts[0] << 16) | parts[1];
  ls = (parts[2] << 16) | parts[3];
}

}  // namespace

std::vector<uint8_t> buildVersionBlock(
    const std::vector<std::pair<std::u16string, std::u16string>>& strings) {
  uint32_t fileMS = 0, fileLS = 0, productMS = 0, productLS = 0;
  for (const auto& [name, value] : strings) {
    if (name == u"FileVersion") parseDotted(value, fileMS, fileLS);
    if (name == u"ProductVersion") parseDotted(value, productMS, productLS);
  }
  Writer w;
  size_t root = w.open(u"VS_VERSION_INFO", 52, 0);
  w.u32(0xFEEF04BD);
  w.u32(0x00010000);
  w.u32(fileMS);
  w.u32(fileLS);
  w.u32(productMS);
  w.u32(productLS);
  w.u32(0x3F);  // file flags mask
  w.u32(0);     // file flags
  w.u32(0x40004);  // VOS_NT_WINDOWS32
  w.u32(1);        // VFT_APP
  w.u32(0);
  w.u32(0);
  w.u32(0);
  size_t sfi = w.open(u"StringFileInfo", 0, 1);
  size_t table = w.open(u"040904B0", 0, 1);
  for (const auto& [name, value] : strings) {
    size_t s = w.open(name, static_cast<uint16_t>(value.size() + 1), 1);
    w.str(value);
    w.close(s);
  }
  w.close(table);
  w.close(sfi);
  size_t vfi = w.open(u"VarFileInfo", 0, 1);
  size_t var = w.open(u"Translation", 4, 0);
  w.u16(0x0409);
  w.u16(0x04B0);
  w.close(var);
  w.close(vfi);
  w.close(root);
  return w.out;
}

}  // namespace velmoro
