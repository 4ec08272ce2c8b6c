#include "app/window_platform.h"

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Return_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>
#include <errno.h>

#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "app/window_layout.h"

namespace scenc {

namespace {

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

class WindowPlatform final : public Platform {
 public:
  explicit WindowPlatform(WindowLayout layout) : layout_(layout) {}
  ~WindowPlatform() override { close_window(); }

  void show_waiting_window() override;
  void show_error_box(const std::string& text) override;
  void close_window() override;

 private:
  WindowLayout layout_;
  std::unique_ptr<Fl_Window> window_;
};

// A window manager may take a while to map a new window, or never map it
// (when it starts the window minimised); the build must start regardless.
constexpr double kFirstPaintLimitSeconds = 2.0;

void WindowPlatform::show_waiting_window() {
  window_ = std::make_unique<Fl_Window>(layout_.width, layout_.height, "Form1");
  auto* label = new WaitingLabel(layout_.label_x, layout_.label_y,
                                 layout_.label_width, layout_.label_height,
                                 "Attendere");
  label->labelfont(FL_HELVETICA_BOLD);
  label->labelsize(layout_.font_pixels);
  label->align(FL_ALIGN_INSIDE | FL_ALIGN_TOP_LEFT);
  window_->end();
  // Nothing in the window reacts to the person, not even its close button.
  window_->callback([](Fl_Widget*, void*) {});
  window_->show();

  // The build runs on this thread and handles no window events until it
  // ends, so the label must be drawn now or not at all.
  const auto started = std::chrono::steady_clock::now();
  const auto limit = std::chrono::duration<double>(kFirstPaintLimitSeconds);
  while (!label->painted() &&
         std::chrono::steady_clock::now() - started < limit) {
    Fl::wait(0.05);
  }
  Fl::flush();
  XSync(fl_display, False);
}

// Room around the message and between it and the button, in pixels.
constexpr int kBoxMargin = 20;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 28;
constexpr int kMessageFontPixels = 14;

void WindowPlatform::show_error_box(const std::string& text) {
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
  // run ends once it is gone.
  while (box.shown()) Fl::wait();
}

void WindowPlatform::close_window() {
  if (!window_) return;
  window_->hide();
  window_.reset();
  Fl::flush();
  XSync(fl_display, False);
}

// XOpenDisplay can block for minutes on a display across a network that
// does not answer, so it runs on its own thread and the run waits for it
// only up to the limit. A late answer is left to the process's end.
Display* open_display_within(std::chrono::seconds limit) {
  const char* name = std::getenv("DISPLAY");
  if (name == nullptr || *name == '\0') return nullptr;
  auto answer = std::make_shared<std::promise<Display*>>();
  auto display = answer->get_future();
  std::thread([answer, name = std::string(name)] {
    answer->set_value(XOpenDisplay(name.c_str()));
  }).detach();
  if (display.wait_for(limit) != std::future_status::ready) return nullptr;
  return display.get();
}

}  // namespace

std::unique_ptr<Platform> make_window_platform() {
  Display* display = open_display_within(kDisplayAnswerLimit);
  if (display == nullptr) return nullptr;
  fl_open_display(display);
  float horizontal = 0, vertical = 0;
  Fl::screen_dpi(horizontal, vertical);
  return std::make_unique<WindowPlatform>(
      waiting_window_layout(usable_dots_per_inch(horizontal)));
}

}  // namespace scenc
