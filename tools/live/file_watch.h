// Waiting for an author's files to change on disk, as editors change them:
// written in place, replaced by a rename over the old name, or removed and
// written again. The directories that hold the files are watched (a file's
// own watch would stay with the old file after a rename), and an interrupt,
// a termination or a hang-up ends the wait instead of the program, so that
// a loop built on it can end cleanly.
#pragma once

#include <signal.h>

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace scenc::tools {

class FileWatch {
 public:
  // What to watch: the file `name` in `directory`, or with no name every
  // entry of the directory.
  struct Item {
    std::filesystem::path directory;
    std::optional<std::string> name;
  };

  // Watches `items`, and from here on takes the stop signals the program
  // was not started to ignore out of this thread's hands (they must reach
  // no other thread: make the watch before starting any). Throws ToolError
  // when the system refuses a watch.
  explicit FileWatch(std::vector<Item> items);
  ~FileWatch();
  FileWatch(const FileWatch&) = delete;
  FileWatch& operator=(const FileWatch&) = delete;

  // The item of a file by its path: its directory and name, and where the
  // path is a symbolic link the file it leads to as well.
  static std::vector<Item> items_of(const std::filesystem::path& file);

  struct Change {
    std::set<std::size_t> items;  // indices into the items given
    int stop_signal = 0;          // the signal that ended the wait, or 0
  };
  // Waits until one of the items changes, then until nothing has changed
  // for `settle` (an editor's save takes several steps), at most `longest`
  // in all; or until a stop signal. A directory whose watch was lost (it
  // was removed or moved away) is watched again once it is back.
  Change wait(std::chrono::milliseconds settle,
              std::chrono::milliseconds longest = std::chrono::seconds(1));

 private:
  // Adds the watches that are missing; true when every item has one.
  bool add_watches();
  // Takes in the events waiting; returns the items they touched.
  std::set<std::size_t> read_events();
  int read_signal();

  std::vector<Item> items_;
  std::vector<int> watches_;  // per item, -1 while the directory is missing
  int inotify_ = -1;
  int signals_ = -1;
  sigset_t old_mask_{};
};

// Calls `changed` with no item first, then with the items that changed each
// time some do, until a stop signal ends the wait; returns that signal.
// Each wait settles for `settle` (see FileWatch::wait).
int until_stopped(
    FileWatch& watch, std::chrono::milliseconds settle,
    const std::function<void(const std::set<std::size_t>&)>& changed);

}  // namespace scenc::tools
