// `scenarioc serve`'s loop: the plot's HTML view of two sources (or of a
// directory of compiled files) served on the loopback interface, compiled
// again each time a file changes on disk and pushed to every open page,
// which keeps its zoom and place. The compile is the plot's own, in
// memory: nothing is written.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

namespace scenc::tools {

struct ServeRequest {
  // The line source, or the directory or common beginning of names of the
  // compiled files when `train_source` is empty.
  std::filesystem::path scenario;
  std::filesystem::path train_source;
  std::uint16_t port = 0;  // 0: the system chooses
  bool open = false;       // start the user's browser on the page
};

// Serves until an interrupt, a termination or a hang-up; returns the exit
// status (0 then; 3 when a file cannot be read at the start, or the port
// cannot be listened on). The URL goes to `out`, news to `err`.
int serve_live_view(const ServeRequest& request, std::ostream& out,
                    std::ostream& err);

// Starts the browser the user has set (BROWSER, else xdg-open where a
// display is named) on `url`, without waiting for it, its process id in
// `started`; returns why not when it cannot.
std::optional<std::string> open_in_browser(const std::string& url,
                                           pid_t* started = nullptr);

}  // namespace scenc::tools
