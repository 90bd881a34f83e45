#include "test_support.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <thread>

extern char** environ;

namespace velmoro::test {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
  std::random_device rd;
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = info ? std::string(info->test_suite_name()) + "." + info->name() : "test";
  for (auto& c : name)
    if (c == '/') c = '_';
  path_ = fs::temp_directory_path() / ("velmoro-" + name + "-" + std::to_string(rd()));
  fs::create_directories(path_);
}

ScratchDir::~ScratchDir() {
  std::error_code ec;
  fs::remove_all(path_, ec);
}

void writeFile(const fs::path& p, const std::string& bytes) {
  fs::create_directories(p.parent_path());
  std::ofstream f(p, std::ios::binary);
  f << bytes;
}

std::string readFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream s;
  s << f.rdbuf();
  return s.str();
}

RunResult run(const std::vector<std::string>& argv, const std::vector<std::string>& env) {
  RunResult r;
  int out[2], err[2];
  if (::pipe(out) != 0 || ::pipe(err) != 0) return r;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  posix_spawn_file_actions_addclose(&actions, err[0]);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  std::vector<std::string> envStrings;
  for (char** e = environ; *e; ++e) envStrings.emplace_back(*e);
  for (const auto& e : env) {
    std::string key = e.substr(0, e.find('='));
    std::erase_if(envStrings, [&](const std::string& s) { return s.compare(0, key.size() + 1, key + "=") == 0; });
    if (e.find('=') != std::string::npos) envStrings.push_back(e);
  }
  std::vector<char*> envp;
  for (auto& e : envStrings) envp.push_back(e.data());
  envp.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
  auto drain = [](int fd, std::string& into) {
    char buf[4096];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) into.append(buf, static_cast<size_t>(n));
    ::close(fd);
  };
  std::thread t([&] { drain(err[0], r.err); });
  drain(out[0], r.out);
  t.join();
  if (rc != 0) return r;
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

std::string findTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  std::string dir;
  while (std::getline(dirs, dir, ':')) {
    fs::path candidate = fs::path(dir) / name;
    if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

bool underCi() {
  const char* ci = std::getenv("CI");
  return ci && std::string(ci) == "true";
}

LoadedLibrary::LoadedLibrary(const std::string& fileName) {
  handle_ = ::dlopen((libDir() / fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) error_ = ::dlerror();
}

LoadedLibrary::~LoadedLibrary() {
  if (handle_) ::dlclose(handle_);
}

void* LoadedLibrary::rawSymbol(const char* name) const { return handle_ ? ::dlsym(handle_, name) : nullptr; }

std::vector<std::string> exportedSymbols(const std::string& nm, const fs::path& library) {
  RunResult r = run({nm, "-D", "--defined-only", library.string()});
  std::vector<std::string> names;
  if (r.exitCode != 0) return names;
  std::istringstream lines(r.out);
  for (std::string line; std::getline(lines, line);) {
    // "address type name": every defined symbol type but absolute ones.
    std::istringstream fields(line);
    std::string address, type, name;
    if (!(fields >> address >> type >> name) || type == "A") continue;
    names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

fs::path buildDir() { return VELMORO_BUILD_DIR; }
fs::path sourceDir() { return VELMORO_SOURCE_DIR; }

}  // namespace velmoro::test
