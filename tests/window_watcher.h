// Watches a virtual X display for the windows a program shows, for the
// tests that look at the desktop.
#pragma once

#include <X11/Xlib.h>

#include <string>
#include <vector>

namespace scenc::testing {

// Watches one X display for top-level windows being created and mapped, and
// notes each one's size and name as it appears, so that even a window that
// is up for a moment only is seen.
class WindowWatcher {
 public:
  struct Seen {
    Window id = 0;
    int width = 0;
    int height = 0;
    bool mapped = false;
    std::string name;
  };

  explicit WindowWatcher(const std::string& display_name)
      : display_(XOpenDisplay(display_name.c_str())) {
    if (display_ == nullptr) return;
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XSync(display_, False);
  }
  ~WindowWatcher() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  bool watching() const { return display_ != nullptr; }

  // Takes in every event that has arrived.
  void pump() {
    // A window may be gone again by the time its name is asked for.
    const auto previous = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      if (event.type == CreateNotify) {
        seen_.push_back({event.xcreatewindow.window, event.xcreatewindow.width,
                         event.xcreatewindow.height, false, ""});
      } else if (event.type == MapNotify) {
        for (auto& s : seen_) {
          if (s.id != event.xmap.window) continue;
          s.mapped = true;
          char* name = nullptr;
          if (XFetchName(display_, s.id, &name) != 0 && name != nullptr) {
            s.name = name;
            XFree(name);
          }
        }
      }
    }
    XSync(display_, False);
    XSetErrorHandler(previous);
  }

  // The first mapped window of that name.
  const Seen* mapped(const std::string& name) const {
    for (const auto& s : seen_) {
      if (s.mapped && s.name == name) return &s;
    }
    return nullptr;
  }

 private:
  Display* display_;
  std::vector<Seen> seen_;
};

}  // namespace scenc::testing
