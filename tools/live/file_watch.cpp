#include "tools/live/file_watch.h"

#include <poll.h>
#include <pthread.h>
#include <sys/inotify.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <system_error>

#include "scenario/exit_status.h"
#include "tools/decode/scenario_set.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;

// Everything that can change what a file holds, or whether it is there:
// written (and closed), renamed in or out, made, removed, its rights
// changed; and the directory itself removed or moved away.
constexpr std::uint32_t kEvents =
    IN_MODIFY | IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE |
    IN_DELETE | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

constexpr std::array kStopSignals = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

FileWatch::FileWatch(std::vector<Item> items)
    : items_(std::move(items)), watches_(items_.size(), -1) {
  inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify_ < 0) {
    throw ToolError{exit_status::kFileFailed,
                    std::string("cannot watch files: ") + std::strerror(errno)};
  }
  for (std::size_t i = 0; i < items_.size(); ++i) {
    watches_[i] =
        ::inotify_add_watch(inotify_, items_[i].directory.c_str(), kEvents);
    if (watches_[i] < 0) {
      const std::string reason = std::strerror(errno);
      ::close(inotify_);
      throw ToolError{
          exit_status::kFileFailed,
          "cannot watch " + items_[i].directory.string() + ": " + reason};
    }
  }
  // Signals the program was started to ignore stay ignored.
  sigset_t taken;
  sigemptyset(&taken);
  for (const int s : kStopSignals) {
    struct sigaction now {};
    if (::sigaction(s, nullptr, &now) == 0 && now.sa_handler != SIG_IGN) {
      sigaddset(&taken, s);
    }
  }
  ::pthread_sigmask(SIG_BLOCK, &taken, &old_mask_);
  signals_ = ::signalfd(-1, &taken, SFD_NONBLOCK | SFD_CLOEXEC);
}

FileWatch::~FileWatch() {
  if (signals_ >= 0) ::close(signals_);
  ::close(inotify_);
  ::pthread_sigmask(SIG_SETMASK, &old_mask_, nullptr);
}

std::vector<FileWatch::Item> FileWatch::items_of(const fs::path& file) {
  const auto item = [](const fs::path& p) {
    return Item{p.has_parent_path() ? p.parent_path() : fs::path("."),
                p.filename().string()};
  };
  std::vector<Item> out{item(file)};
  std::error_code ec;
  if (fs::is_symlink(file, ec)) {
    const fs::path target = fs::weakly_canonical(file, ec);
    if (!ec) out.push_back(item(target));
  }
  return out;
}

bool FileWatch::add_watches() {
  bool all = true;
  for (std::size_t i = 0; i < items_.size(); ++i) {
    if (watches_[i] >= 0) continue;
    watches_[i] =
        ::inotify_add_watch(inotify_, items_[i].directory.c_str(), kEvents);
    all = all && watches_[i] >= 0;
  }
  return all;
}

std::set<std::size_t> FileWatch::read_events() {
  std::set<std::size_t> touched;
  alignas(inotify_event) char buffer[8192];
  while (true) {
    const ssize_t n = ::read(inotify_, buffer, sizeof buffer);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n;) {
      const auto* e = reinterpret_cast<const inotify_event*>(buffer + at);
      at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
      // The directory went away: its files with it, and its watch.
      const bool lost =
          (e->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) != 0;
      if (lost && (e->mask & IN_IGNORED) == 0) {
        ::inotify_rm_watch(inotify_, e->wd);
      }
      const std::string name = e->len > 0 ? std::string(e->name) : "";
      for (std::size_t i = 0; i < items_.size(); ++i) {
        if (watches_[i] != e->wd) continue;
        if (lost) {
          watches_[i] = -1;
          touched.insert(i);
        } else if (!items_[i].name || *items_[i].name == name) {
          touched.insert(i);
        }
      }
    }
  }
  return touched;
}

int FileWatch::read_signal() {
  signalfd_siginfo info{};
  if (::read(signals_, &info, sizeof info) != sizeof info) return 0;
  return static_cast<int>(info.ssi_signo);
}

FileWatch::Change FileWatch::wait(std::chrono::milliseconds settle,
                                  std::chrono::milliseconds longest) {
  Change change;
  // Waits up to `limit` (-1: for ever) for events or a signal; false when
  // none came.
  const auto take_in = [&](int limit) {
    std::array<pollfd, 2> fds{pollfd{inotify_, POLLIN, 0},
                              pollfd{signals_, POLLIN, 0}};
    if (::poll(fds.data(), fds.size(), limit) <= 0) return false;
    if (fds[1].revents != 0) change.stop_signal = read_signal();
    if (fds[0].revents != 0) change.items.merge(read_events());
    return true;
  };
  while (change.items.empty() && change.stop_signal == 0) {
    std::vector<int> before = watches_;
    const bool all = add_watches();
    // A directory that is back may hold the file again.
    for (std::size_t i = 0; i < items_.size(); ++i) {
      if (before[i] < 0 && watches_[i] >= 0) change.items.insert(i);
    }
    if (!change.items.empty()) break;
    take_in(all ? -1 : 1000);
  }
  const auto deadline = std::chrono::steady_clock::now() + longest;
  while (change.stop_signal == 0) {
    const auto left = std::min<std::chrono::milliseconds>(
        settle, std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now()));
    if (left.count() <= 0 || !take_in(static_cast<int>(left.count()))) break;
  }
  return change;
}

int until_stopped(
    FileWatch& watch, std::chrono::milliseconds settle,
    const std::function<void(const std::set<std::size_t>&)>& changed) {
  changed({});
  while (true) {
    const FileWatch::Change c = watch.wait(settle);
    if (c.stop_signal != 0) return c.stop_signal;
    changed(c.items);
  }
}

}  // namespace scenc::tools
