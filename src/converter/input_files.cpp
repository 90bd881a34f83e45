#include "converter/input_files.h"

#include "common/paths.h"
#include "common/unicode.h"

#include <algorithm>
#include <filesystem>

namespace velmoro::convert {

namespace {

// Matches mask[i..] against name[j..]; "*" takes any run, "?" one character.
bool match(std::u16string_view mask, std::u16string_view name) {
  size_t m = 0, n = 0, starM = std::u16string_view::npos, starN = 0;
  while (n < name.size()) {
    if (m < mask.size() && mask[m] == u'*') {
      starM = m++;
      starN = n;
    } else if (m < mask.size() &&
               (mask[m] == u'?' || text::equalsIgnoreCase(mask.substr(m, 1), name.substr(n, 1)))) {
      ++m;
      ++n;
    } else if (starM != std::u16string_view::npos) {
      m = starM + 1;
      n = ++starN;
    } else {
      return false;
    }
  }
  while (m < mask.size() && mask[m] == u'*') ++m;
  return m == mask.size();
}

}  // namespace

bool maskMatches(std::u16string_view mask, std::u16string_view name) {
  if (match(mask, name)) return true;
  // "x.*" also matches "x", as the Windows file search does.
  if (mask.size() >= 2 && mask.substr(mask.size() - 2) == u".*" && name.find(u'.') == std::u16string_view::npos)
    return match(mask.substr(0, mask.size() - 2), name);
  return false;
}

std::vector<std::u16string> collectInputFiles(std::u16string_view input) {
  std::u16string native = path::toNative(input);
  std::u16string folder = path::folderOf(native);
  std::u16string mask = path::fileNameOf(native);
  if (mask.empty()) mask = u"*.*";
  std::vector<std::u16string> files;
  std::error_code ec;
  for (std::filesystem::directory_iterator it(path::toSystem(folder.empty() ? u"." : folder), ec), end;
       !ec && it != end; it.increment(ec)) {
    std::error_code e2;
    if (it->is_directory(e2)) continue;
    std::u16string name = text::fromUtf8(it->path().filename().string());
    if (!maskMatches(mask, name)) continue;
    std::u16string dir = folder.empty() ? u"./" : folder;
    if (dir.back() != u'/') dir += u'/';
    files.push_back(dir + name);
  }
  std::sort(files.begin(), files.end(),
            [](const std::u16string& a, const std::u16string& b) { return text::compareIgnoreCase(a, b) < 0; });
  return files;
}

std::u16string defaultOutputName(std::u16string_view input) {
  std::u16string out;
  for (char16_t c : path::toNative(input))
    if (c != u'*' && c != u'?') out += c;
  return path::changeExtension(out, u".pdf");
}

}  // namespace velmoro::convert
