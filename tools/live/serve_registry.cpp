#include "tools/live/serve_registry.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;

bool process_runs(long pid) {
  return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

}  // namespace

// A directory only this user may touch: made with mode 0700 where it is
// missing, and taken only when it is a directory (not a link), owned by
// the user and closed to everyone else.
std::optional<fs::path> ServeRegistry::own_directory() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const fs::path dir = runtime != nullptr && *runtime == '/'
                           ? fs::path(runtime) / "scenarioc-serve"
                           : fs::path("/tmp") / ("scenarioc-serve-" +
                                                 std::to_string(::geteuid()));
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    return std::nullopt;
  }
  return dir;
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
