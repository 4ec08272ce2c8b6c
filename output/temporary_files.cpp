#include "output/temporary_files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace scenc {
namespace {

constexpr std::string_view kTemporaryEnding = ".tmp";

// The path of the temporary being written, read by the signal handler: it
// may only look at memory that no allocation moves, and must never see a
// half-copied path.
char noted_path[PATH_MAX];
volatile sig_atomic_t path_noted = 0;

extern "C" void remove_temporary_and_end(int signal_number) {
  if (path_noted) ::unlink(noted_path);
  // The handler was reset to the default action on entry: once this
  // returns, the signal ends the program as it would have.
  ::raise(signal_number);
}

// Reads a run of decimal digits at the front of `s`; false when none.
bool take_number(std::string_view& s, long long& value) {
  std::size_t n = 0;
  value = 0;
  while (n < s.size() && s[n] >= '0' && s[n] <= '9' && n < 18) {
    value = value * 10 + (s[n] - '0');
    ++n;
  }
  if (n == 0 || (n < s.size() && s[n] >= '0' && s[n] <= '9')) return false;
  s.remove_prefix(n);
  return true;
}

bool take(std::string_view& s, std::string_view front) {
  if (s.substr(0, front.size()) != front) return false;
  s.remove_prefix(front.size());
  return true;
}

}  // namespace

std::string temporary_name(std::string_view name, pid_t pid, int attempt) {
  // Appended piece by piece: GCC 12 at -O3 takes the chain of `+` on a
  // string literal for an overlapping copy (-Wrestrict).
  std::string temporary = ".";
  temporary += name;
  temporary += '.';
  temporary += std::to_string(pid);
  temporary += '.';
  temporary += std::to_string(attempt);
  temporary += kTemporaryEnding;
  return temporary;
}

std::optional<pid_t> temporary_owner(std::string_view entry,
                                     std::string_view name) {
  long long pid = 0;
  long long attempt = 0;
  if (!take(entry, ".") || !take(entry, name) || !take(entry, ".") ||
      !take_number(entry, pid) || !take(entry, ".") ||
      !take_number(entry, attempt) || entry != kTemporaryEnding || pid <= 0 ||
      pid > INT_MAX) {
    return std::nullopt;
  }
  return static_cast<pid_t>(pid);
}

StaleTemporaries::StaleTemporaries(const std::filesystem::path& dir)
    : dir_(dir.empty() ? std::filesystem::path(".") : dir) {
  DIR* listing = ::opendir(dir_.c_str());
  if (listing == nullptr) return;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string_view name = entry->d_name;
    if (name.starts_with('.') && name.ends_with(kTemporaryEnding)) {
      listed_.emplace_back(name);
    }
  }
  ::closedir(listing);
}

void StaleTemporaries::remove_for(std::string_view name) {
  const pid_t self = ::getpid();
  for (const std::string& entry : listed_) {
    const auto owner = temporary_owner(entry, name);
    if (!owner || *owner == self) continue;
    if (::kill(*owner, 0) == 0 || errno != ESRCH) continue;
    ::unlink((dir_ / entry).c_str());
  }
}

void note_temporary(const std::filesystem::path& path) {
  path_noted = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::string& text = path.native();
  if (text.size() >= sizeof noted_path) return;  // left to the next run
  std::memcpy(noted_path, text.c_str(), text.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  path_noted = 1;
}

void forget_temporary() {
  path_noted = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

void handle_file_signals() {
  ::signal(SIGXFSZ, SIG_IGN);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0 ||
        current.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction removal {};
    removal.sa_handler = remove_temporary_and_end;
    sigemptyset(&removal.sa_mask);
    removal.sa_flags = SA_RESETHAND;
    ::sigaction(signal_number, &removal, nullptr);
  }
}

}  // namespace scenc
