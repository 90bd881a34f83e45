#include "cli/written_files.h"

#include <filesystem>

namespace velmoro::cli {

namespace fs = std::filesystem;

WrittenFiles::WrittenFiles(std::set<std::string> folders) : folders_(std::move(folders)), before_(take()) {}

WrittenFiles::Snapshot WrittenFiles::take() const {
  Snapshot s;
  for (const auto& folder : folders_) {
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code e2;
      if (!it->is_regular_file(e2)) continue;
      auto time = it->last_write_time(e2).time_since_epoch().count();
      auto size = static_cast<long long>(it->file_size(e2));
      s[it->path().lexically_normal().string()] = {static_cast<long long>(time), size};
    }
  }
  return s;
}

std::vector<std::string> WrittenFiles::changed() const {
  std::vector<std::string> out;
  for (const auto& [path, stamp] : take()) {
    auto it = before_.find(path);
    if (it == before_.end() || it->second != stamp) out.push_back(path);
  }
  return out;
}

}  // namespace velmoro::cli
