#include "emf_check.h"

#include "test_support.h"

#include <cstdint>
#include <cstring>
#include <map>
#include <cctype>
#include <set>

namespace velmoro::test {

namespace {

struct Bytes {
  const std::string& b;
  bool has(size_t at, size_t n) const { return at <= b.size() && n <= b.size() - at; }
  uint32_t u32(size_t at) const {
    uint32_t v = 0;
    if (has(at, 4)) std::memcpy(&v, b.data() + at, 4);
    return v;
  }
  int32_t i32(size_t at) const { return static_cast<int32_t>(u32(at)); }
};

struct Box {
  int32_t l, t, r, b;
};

}  // namespace

std::vector<std::string> emfProblems(const std::string& bytes) {
  std::vector<std::string> problems;
  auto problem = [&](const std::string& s) { problems.push_back(s); };
  Bytes d{bytes};
  if (!d.has(0, 88) || d.u32(0) != 1) return {"no EMR_HEADER at the start"};
  if (d.u32(40) != 0x464D4520) problem("signature is not \" EMF\"");
  if (d.u32(48) != bytes.size()) problem("nBytes " + std::to_string(d.u32(48)) + " != size " + std::to_string(bytes.size()));
  const uint32_t nHandles = d.u32(56) & 0xFFFF;
  const Box header{d.i32(8), d.i32(12), d.i32(16), d.i32(20)};

  std::set<uint32_t> live;
  std::map<uint32_t, uint32_t> selectedKind;  // handle -> record type that made it
  uint32_t count = 0, lastType = 0;
  size_t at = 0;
  std::vector<std::pair<std::string, Box>> drawn;
  while (at < bytes.size()) {
    if (!d.has(at, 8)) {
      problem("record cut off at " + std::to_string(at));
      break;
    }
    const uint32_t type = d.u32(at), size = d.u32(at + 4);
    const std::string where = "record " + std::to_string(count) + " (type " + std::to_string(type) + ")";
    if (size < 8 || size % 4 != 0 || !d.has(at, size)) {
      problem(where + " has size " + std::to_string(size));
      break;
    }
    if (lastType == 14) problem(where + " after EMR_EOF");
    auto handleUse = [&](uint32_t h, bool creates) {
      if (h & 0x80000000u) return;
      if (h == 0 || h >= nHandles) problem(where + " uses handle " + std::to_string(h) + " >= nHandles");
      if (creates && live.count(h)) problem(where + " creates over live handle " + std::to_string(h));
      if (!creates && !live.count(h)) problem(where + " uses handle " + std::to_string(h) + " that does not exist");
    };
    switch (type) {
      case 38: case 39: case 82:  // CREATEPEN, CREATEBRUSHINDIRECT, EXTCREATEFONTINDIRECTW
        handleUse(d.u32(at + 8), true);
        live.insert(d.u32(at + 8));
        if (type == 38 && d.i32(at + 16) < 1) problem(where + " pen width below 1");
        break;
      case 37:  // SELECTOBJECT
        handleUse(d.u32(at + 8), false);
        break;
      case 40:  // DELETEOBJECT
        handleUse(d.u32(at + 8), false);
        live.erase(d.u32(at + 8));
        break;
      case 2: case 4: case 85: case 87: case 76: case 84:  // records with their own bounds
        drawn.push_back({where, {d.i32(at + 8), d.i32(at + 12), d.i32(at + 16), d.i32(at + 20)}});
        break;
      case 42: case 43: case 44:  // ELLIPSE, RECTANGLE, ROUNDRECT: the box, right/bottom outside
        drawn.push_back({where, {d.i32(at + 8), d.i32(at + 12), d.i32(at + 16) - 1, d.i32(at + 20) - 1}});
        break;
      case 54:  // LINETO
        drawn.push_back({where, {d.i32(at + 8), d.i32(at + 12), d.i32(at + 8), d.i32(at + 12)}});
        break;
    }
    lastType = type;
    ++count;
    at += size;
  }
  if (lastType != 14) problem("last record is not EMR_EOF");
  if (d.u32(52) != count) problem("nRecords " + std::to_string(d.u32(52)) + " != " + std::to_string(count));
  for (const auto& [where, box] : drawn) {
    if (box.l > box.r || box.t > box.b) continue;  // nothing drawn (an empty text)
    if (box.l < header.l || box.t < header.t || box.r > header.r || box.b > header.b)
      problem(where + " lies outside the header bounds");
  }
  return problems;
}

int convertWithEmf2svg(const std::string& tool, const std::filesystem::path& emf) {
  auto svg = emf;
  svg.replace_extension(".svg");
  return run({tool, "-i", emf.string(), "-o", svg.string()}).exitCode;
}

std::string emf2svgDump(const std::string& tool, const std::filesystem::path& emf) {
  auto svg = emf;
  svg.replace_extension(".svg");
  RunResult r = run({tool, "-v", "-i", emf.string(), "-o", svg.string()});
  // Drops the colour codes ("ESC [ digits ; m") the dump is written with.
  const std::string all = r.out + r.err;
  std::string plain;
  for (size_t i = 0; i < all.size(); ++i) {
    if (all[i] == '\x1b' && i + 1 < all.size() && all[i + 1] == '[') {
      size_t j = i + 2;
      while (j < all.size() && (std::isdigit(static_cast<unsigned char>(all[j])) || all[j] == ';')) ++j;
      if (j < all.size() && all[j] == 'm') {
        i = j;
        continue;
      }
    }
    plain += all[i];
  }
  return plain;
}

}  // namespace velmoro::test
