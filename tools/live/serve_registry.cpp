#include "tools/live/serve_registry.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "output/file_system.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;

bool process_runs(long pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

std::optional<fs::path> ServeRegistry::own_directory() {
  return private_directory("scenarioc-serve");
}

ServeRegistry::ServeRegistry(const std::vector<fs::path>& inputs,
                             std::string url)
    : directory_(own_directory()) {
  for (const fs::path& p : inputs) {
    std::error_code ec;
    inputs_ += fs::weakly_canonical(fs::absolute(p, ec), ec).string() + "\n";
  }
  if (!directory_) return;
  // Written whole under another name and renamed, so that no reader finds
  // half an entry.
  entry_ = *directory_ / std::to_string(::getpid());
  const fs::path part = entry_.string() + ".part";
  {
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    out << url << "\n" << inputs_;
  }
  std::error_code ec;
  fs::rename(part, entry_, ec);
  if (ec) entry_.clear();
}

ServeRegistry::~ServeRegistry() {
  std::error_code ec;
  if (!entry_.empty()) fs::remove(entry_, ec);
}

std::vector<ServeRegistry::Other> ServeRegistry::others() const {
  std::vector<Other> out;
  if (!directory_) return out;
  std::error_code ec;
  for (const fs::directory_entry& e : fs::directory_iterator(*directory_, ec)) {
    const std::string name = e.path().filename().string();
    if (name.empty() ||
        name.find_first_not_of("0123456789") != std::string::npos) {
      continue;
    }
    const long pid = std::strtol(name.c_str(), nullptr, 10);
    if (pid == ::getpid()) continue;
    if (!process_runs(pid)) {
      std::error_code ignored;
      fs::remove(e.path(), ignored);
      continue;
    }
    std::ifstream in(e.path(), std::ios::binary);
    std::string url;
    std::getline(in, url);
    std::stringstream rest;
    rest << in.rdbuf();
    if (rest.str() == inputs_) out.push_back(Other{pid, url});
  }
  return out;
}

}  // namespace scenc::tools
