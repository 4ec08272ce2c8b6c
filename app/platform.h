// What the build run shows a person: a waiting window while it works and a
// modal message for the error exit. The console layer stands in on terminals
// and machines without a display; a window backend can replace it without
// touching the build run.
#pragma once

#include <string>

namespace scenc {

class Platform {
 public:
  virtual ~Platform() = default;
  // Shows the waiting window ("Attendere") and paints it once before the
  // work starts.
  virtual void show_waiting_window() = 0;
  // Shows `text` as the error exit's message and returns once the person
  // has dismissed it (at once where nothing can be dismissed).
  virtual void show_error_box(const std::string& text) = 0;
  // Takes the waiting window down at the end of the run.
  virtual void close_window() {}
};

}  // namespace scenc
