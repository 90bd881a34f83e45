// Which files a request wrote: the folders it may write to are listed before and after
// the call, and every file that is new or changed is reported.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

namespace velmoro::cli {

class WrittenFiles {
 public:
  explicit WrittenFiles(std::set<std::string> folders);
  std::vector<std::string> changed() const;  // sorted paths

 private:
  using Snapshot = std::map<std::string, std::pair<long long, long long>>;  // mtime ns, size
  Snapshot take() const;
  std::set<std::string> folders_;
  Snapshot before_;
};

}  // namespace velmoro::cli
