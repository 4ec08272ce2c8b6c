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
// The longest name a directory entry may have.
constexpr std::size_t kLongestName = NAME_MAX;

// The paths a signal handler removes, in memory that no allocation moves:
// the temporary being written, then the run's own files. A handler must
// never see a half-copied path, so each is marked noted only once whole.
constexpr int kNotedPaths = 3;
constexpr int kTemporarySlot = 0;
char noted_paths[kNotedPaths][PATH_MAX];
volatile sig_atomic_t path_noted[kNotedPaths] = {};

void note_path(int slot, const std::filesystem::path& path) {
  path_noted[slot] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
  const std::string& text = path.native();
  if (text.size() >= sizeof noted_paths[slot]) return;  // left to the next run
  std::memcpy(noted_paths[slot], text.c_str(), text.size() + 1);
  std::atomic_signal_fence(std::memory_order_seq_cst);
  path_noted[slot] = 1;
}

void forget_path(int slot) {
  path_noted[slot] = 0;
  std::atomic_signal_fence(std::memory_order_seq_cst);
}

// Removes every noted path; safe inside a signal handler.
void remove_noted_paths() {
  for (int slot = 0; slot < kNotedPaths; ++slot) {
    if (path_noted[slot]) ::unlink(noted_paths[slot]);
  }
}

extern "C" void remove_noted_and_end(int signal_number) {
  remove_noted_paths();
  // The handler was reset to the default action on entry: once this
  // returns, the signal ends the program as it would have.
  ::raise(signal_number);
}

// Reads a run of decimal digits at the back of `s`; false when none.
bool take_number_back(std::string_view& s, long long& value) {
  std::size_t n = 0;
  while (n < s.size() && s[s.size() - 1 - n] >= '0' &&
         s[s.size() - 1 - n] <= '9') {
    ++n;
  }
  if (n == 0 || n > 18) return false;
  value = 0;
  for (const char digit : s.substr(s.size() - n)) {
    value = value * 10 + (digit - '0');
  }
  s.remove_suffix(n);
  return true;
}

bool take_back(std::string_view& s, std::string_view back) {
  if (!s.ends_with(back)) return false;
  s.remove_suffix(back.size());
  return true;
}

}  // namespace

std::string temporary_name(std::string_view name, pid_t pid, int attempt) {
  // Appended piece by piece: GCC 12 at -O3 takes the chain of `+` on a
  // string literal for an overlapping copy (-Wrestrict).
  std::string ending = ".";
  ending += std::to_string(pid);
  ending += '.';
  ending += std::to_string(attempt);
  ending += kTemporaryEnding;
  std::string temporary = ".";
  temporary += name.substr(0, kLongestName - 1 - ending.size());
  temporary += ending;
  return temporary;
}

std::optional<pid_t> temporary_owner(std::string_view entry,
                                     std::string_view name) {
  const std::size_t whole = entry.size();
  long long pid = 0;
  long long attempt = 0;
  if (!take_back(entry, kTemporaryEnding) ||
      !take_number_back(entry, attempt) || !take_back(entry, ".") ||
      !take_number_back(entry, pid) || !take_back(entry, ".") ||
      !entry.starts_with('.') || pid <= 0 || pid > INT_MAX) {
    return std::nullopt;
  }
  // The name itself, or as much of it as a temporary of the longest length
  // holds.
  const std::string_view kept = entry.substr(1);
  if (kept != name && (whole != kLongestName || kept.size() >= name.size() ||
                       !name.starts_with(kept))) {
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
  note_path(kTemporarySlot, path);
}

void forget_temporary() { forget_path(kTemporarySlot); }

void note_own_files(const std::filesystem::path& first,
                    const std::filesystem::path& second) {
  note_path(kTemporarySlot + 1, first);
  note_path(kTemporarySlot + 2, second);
}

void forget_own_files() {
  forget_path(kTemporarySlot + 1);
  forget_path(kTemporarySlot + 2);
}

void handle_file_signals() {
  ::signal(SIGXFSZ, SIG_IGN);
  constexpr int kEnding[] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction removal {};
  removal.sa_handler = remove_noted_and_end;
  // One ending signal at a time: a second one waits until the first has
  // removed the files and ended the program.
  sigemptyset(&removal.sa_mask);
  for (const int signal_number : kEnding) {
    sigaddset(&removal.sa_mask, signal_number);
  }
  removal.sa_flags = SA_RESETHAND;
  for (const int signal_number : kEnding) {
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0 ||
        current.sa_handler == SIG_IGN) {
      continue;
    }
    ::sigaction(signal_number, &removal, nullptr);
  }
}

}  // namespace scenc
