#include "app/window_platform.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "app/console_platform.h"
#include "app/window_layout.h"

namespace scenc {

namespace {

using Clock = std::chrono::steady_clock;

// A display that has answered no round trip for this long is taken for
// silent: the run gives up its window and goes on without it.
constexpr auto kSilenceLimit = std::chrono::seconds(3);
// How often the window thread asks the display for an answer while it has
// nothing else to do.
constexpr double kAnswerCheckSeconds = 0.5;
// A window manager may take a while to map a new window, or never map it
// (when it starts the window minimised); the build must start regardless.
constexpr double kFirstPaintLimitSeconds = 2.0;

// Everything the window layer does with X and the toolkit happens on one
// thread of its own. The build's thread hands it tasks and waits for them
// only as long as the display keeps answering, so that a display that falls
// silent at any point stalls the window thread alone: the build gives up its
// window and writes its files. Shared between the two threads, and kept
// alive by the window thread, which may outlive the layer when it is stuck.
struct WindowThread {
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::function<void()>> tasks;
  std::optional<WindowLayout> ready;  // set once the display is open
  bool opened = false;                // the display was opened, or not
  bool quit = false;
  // The build no longer waits for this thread: whatever the thread does
  // after a blocking call returns, it must not touch the toolkit again.
  bool abandoned = false;
  bool lost = false;      // the connection to the display broke
  bool finished = false;  // the thread has returned
  Clock::time_point last_answer = Clock::now();
  int wake[2] = {-1, -1};  // a byte here wakes the thread's event loop
  // The waiting window, touched by the window thread only. Never deleted
  // by a destructor: a window given up on a silent display must not be
  // taken down by the build's thread as the process ends.
  Fl_Window* waiting_window = nullptr;

  void note_answer() {
    const std::lock_guard<std::mutex> lock(mutex);
    last_answer = Clock::now();
  }
  bool given_up() {
    const std::lock_guard<std::mutex> lock(mutex);
    return abandoned;
  }
};

// The window thread of this process, for the handler of a broken
// connection, which gets no argument of its own.
std::shared_ptr<WindowThread> the_window_thread;

// Xlib, and the toolkit after it, end the process when the connection to
// the display breaks, unless the handler never returns: the window thread
// stops here for good, and the build goes on without its window.
[[noreturn]] void stop_for_good() {
  if (const auto shared = the_window_thread) {
    {
      const std::lock_guard<std::mutex> lock(shared->mutex);
      shared->lost = true;
    }
    shared->changed.notify_all();
  }
  for (;;) ::pause();
}
int connection_broke(Display*) { stop_for_good(); }
void toolkit_failed(const char*, ...) { stop_for_good(); }

// The label of the waiting window. It notes its first paint, so that the
// build can wait until "Attendere" is really on screen.
class WaitingLabel final : public Fl_Box {
 public:
  using Fl_Box::Fl_Box;
  bool painted() const { return painted_; }

 protected:
  void draw() override {
    Fl_Box::draw();
    painted_ = true;
  }

 private:
  bool painted_ = false;
};

// Runs the toolkit's event loop for up to `seconds`, asking the display for
// an answer every kAnswerCheckSeconds. Returns early once `done` holds.
void handle_events(WindowThread& shared, double seconds,
                   const std::function<bool()>& done) {
  const auto until = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                        std::chrono::duration<double>(seconds));
  auto next_check = Clock::now();
  while (!done() && Clock::now() < until) {
    Fl::wait(0.05);
    if (Clock::now() >= next_check) {
      XSync(fl_display, False);
      if (shared.given_up()) return;
      shared.note_answer();
      next_check = Clock::now() +
                   std::chrono::duration_cast<Clock::duration>(
                       std::chrono::duration<double>(kAnswerCheckSeconds));
    }
  }
}

// The work of the window thread: opens the display, then runs the tasks it
// is handed, keeping the windows drawn between them, until it is told to
// quit or given up.
void serve_window_thread(WindowThread& shared, const std::string& name) {
  Display* display = XOpenDisplay(name.c_str());
  if (display == nullptr || shared.given_up()) return;
  XSetIOErrorHandler(connection_broke);
  Fl::fatal = toolkit_failed;
  fl_open_display(display);
  XSetIOErrorHandler(connection_broke);
  float horizontal = 0, vertical = 0;
  Fl::screen_dpi(horizontal, vertical);
  Fl::add_fd(shared.wake[0], [](int fd, void*) {
    char drained[64];
    [[maybe_unused]] const auto n = ::read(fd, drained, sizeof drained);
  });
  {
    const std::lock_guard<std::mutex> lock(shared.mutex);
    if (shared.abandoned) return;
    shared.ready = waiting_window_layout(usable_dots_per_inch(horizontal));
    shared.opened = true;
    shared.last_answer = Clock::now();
  }
  shared.changed.notify_all();

  for (;;) {
    std::function<void()> task;
    {
      const std::lock_guard<std::mutex> lock(shared.mutex);
      if (shared.abandoned || (shared.quit && shared.tasks.empty())) return;
      if (!shared.tasks.empty()) {
        task = std::move(shared.tasks.front());
        shared.tasks.pop_front();
      }
    }
    if (task) {
      task();
      continue;
    }
    handle_events(shared, kAnswerCheckSeconds, [&shared] {
      const std::lock_guard<std::mutex> lock(shared.mutex);
      return !shared.tasks.empty() || shared.quit;
    });
  }
}

void run_window_thread(std::shared_ptr<WindowThread> shared,
                       std::string display_name) {
  serve_window_thread(*shared, display_name);
  {
    const std::lock_guard<std::mutex> lock(shared->mutex);
    shared->opened = true;
    shared->finished = true;
  }
  shared->changed.notify_all();
}

class WindowPlatform final : public Platform {
 public:
  WindowPlatform(std::shared_ptr<WindowThread> shared, std::thread thread)
      : shared_(std::move(shared)), thread_(std::move(thread)) {}
  ~WindowPlatform() override;

  void show_waiting_window() override;
  void show_error_box(const std::string& text) override;
  void close_window() override;

 private:
  // Hands `task` to the window thread and waits until it has run, as long
  // as the display keeps answering; false when the window was given up.
  bool run_on_window_thread(std::function<void()> task);
  // Waits, as long as the display keeps answering, until `done` holds;
  // false when the window was given up. `lock` holds the shared mutex.
  bool wait_while_answering(std::unique_lock<std::mutex>& lock,
                            const std::function<bool()>& done);
  void give_up();

  std::shared_ptr<WindowThread> shared_;
  std::thread thread_;
};

bool WindowPlatform::run_on_window_thread(std::function<void()> task) {
  auto done = std::make_shared<bool>(false);
  std::unique_lock<std::mutex> lock(shared_->mutex);
  if (shared_->abandoned) return false;
  shared_->tasks.push_back([shared = shared_, done, task = std::move(task)] {
    task();
    {
      const std::lock_guard<std::mutex> lock(shared->mutex);
      *done = true;
    }
    shared->changed.notify_all();
  });
  const char wake = 1;
  [[maybe_unused]] const auto n = ::write(shared_->wake[1], &wake, 1);
  return wait_while_answering(lock, [&done] { return *done; });
}

bool WindowPlatform::wait_while_answering(std::unique_lock<std::mutex>& lock,
                                          const std::function<bool()>& done) {
  for (;;) {
    if (done()) return true;
    if (shared_->finished || shared_->lost ||
        Clock::now() - shared_->last_answer > kSilenceLimit) {
      lock.unlock();
      give_up();
      return false;
    }
    shared_->changed.wait_for(lock, std::chrono::milliseconds(100));
  }
}

void WindowPlatform::give_up() {
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->abandoned = true;
  }
  // The thread is stuck in a call to a display that does not answer; it
  // ends with the process, and so does its window.
  if (thread_.joinable()) thread_.detach();
}

WindowPlatform::~WindowPlatform() {
  close_window();
  std::unique_lock<std::mutex> lock(shared_->mutex);
  if (shared_->abandoned) return;
  shared_->quit = true;
  const char wake = 1;
  [[maybe_unused]] const auto n = ::write(shared_->wake[1], &wake, 1);
  if (wait_while_answering(lock, [this] { return shared_->finished; })) {
    lock.unlock();
    thread_.join();
  }
}

void WindowPlatform::show_waiting_window() {
  const bool shown = run_on_window_thread([this] {
    const WindowLayout& layout = *shared_->ready;
    auto* window = new Fl_Window(layout.width, layout.height, "Form1");
    shared_->waiting_window = window;
    auto* label =
        new WaitingLabel(layout.label_x, layout.label_y, layout.label_width,
                         layout.label_height, "Attendere");
    label->labelfont(FL_HELVETICA_BOLD);
    label->labelsize(layout.font_pixels);
    label->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);
    window->end();
    // Nothing in the window reacts to the person, not even its close button.
    window->callback([](Fl_Widget*, void*) {});
    window->show();
    // "Attendere" must be on screen before the work starts.
    handle_events(*shared_, kFirstPaintLimitSeconds,
                  [label] { return label->painted(); });
    Fl::flush();
    XSync(fl_display, False);
  });
  if (!shown) ConsolePlatform().show_waiting_window();
}

// Room around the message and between it and the button, in pixels.
constexpr int kBoxMargin = 20;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 28;
constexpr int kMessageFontPixels = 14;

void WindowPlatform::show_error_box(const std::string& text) {
  const bool answered = run_on_window_thread([this, text] {
    fl_font(FL_HELVETICA, kMessageFontPixels);
    int text_width = 0;
    int text_height = 0;
    fl_measure(text.c_str(), text_width, text_height, 0);

    const int width = std::max(text_width, kButtonWidth * 2) + 2 * kBoxMargin;
    const int height = text_height + kButtonHeight + 3 * kBoxMargin;
    // The message box carries no title of its own: it shows the program's.
    Fl_Window box(width, height, program_invocation_short_name);
    auto* message =
        new Fl_Box(kBoxMargin, kBoxMargin, width - 2 * kBoxMargin, text_height);
    message->copy_label(text.c_str());
    message->labelfont(FL_HELVETICA);
    message->labelsize(kMessageFontPixels);
    message->align(FL_ALIGN_INSIDE | FL_ALIGN_LEFT);
    auto* ok = new Fl_Return_Button((width - kButtonWidth) / 2,
                                    height - kBoxMargin - kButtonHeight,
                                    kButtonWidth, kButtonHeight, "OK");
    ok->callback([](Fl_Widget* button, void*) { button->window()->hide(); });
    box.end();
    box.set_modal();

    int screen_x = 0, screen_y = 0, screen_w = 0, screen_h = 0;
    Fl::screen_xywh(screen_x, screen_y, screen_w, screen_h);
    box.position(screen_x + (screen_w - width) / 2,
                 screen_y + (screen_h - height) / 2);
    box.show();
    // OK, the return key, escape and the close button all hide the box; the
    // run ends once it is gone. A person may take their time; the display
    // must keep answering meanwhile.
    while (box.shown() && !shared_->given_up()) {
      handle_events(*shared_, kAnswerCheckSeconds,
                    [&box] { return !box.shown(); });
    }
  });
  // The message must reach the person even when the display fell silent.
  if (!answered) ConsolePlatform().show_error_box(text);
}

void WindowPlatform::close_window() {
  run_on_window_thread([shared = shared_] {
    Fl_Window* window = std::exchange(shared->waiting_window, nullptr);
    if (window == nullptr) return;
    window->hide();
    delete window;
    Fl::flush();
    XSync(fl_display, False);
  });
}

}  // namespace

std::unique_ptr<Platform> make_window_platform() {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return nullptr;
  auto shared = std::make_shared<WindowThread>();
  if (::pipe2(shared->wake, O_CLOEXEC | O_NONBLOCK) != 0) return nullptr;
  the_window_thread = shared;
  std::thread thread(run_window_thread, shared, std::string(name));

  // XOpenDisplay can block for minutes on a display across a network that
  // does not answer, and a server may accept the connection and never
  // answer it: the run waits for it only up to the limit.
  std::unique_lock<std::mutex> lock(shared->mutex);
  const bool opened = shared->changed.wait_for(
      lock, kDisplayAnswerLimit,
      [&shared] { return shared->opened || shared->lost; });
  if (!opened || !shared->ready || shared->lost) {
    shared->abandoned = true;
    lock.unlock();
    thread.detach();
    return nullptr;
  }
  lock.unlock();
  return std::make_unique<WindowPlatform>(shared, std::move(thread));
}

}  // namespace scenc

// The entry the program looks up after loading this module: the window
// layer, or null when no display answers.
extern "C" scenc::Platform* scenario_make_window_platform() {
  return scenc::make_window_platform().release();
}
