// A display that takes the connection and then stops answering, at any
// point of a run: the scenario program still writes its files and ends
// within seconds, and the error exit's message still reaches the person on
// standard error. A relay between the program and a virtual X server passes
// the server's bytes up to a budget and then nothing more, either holding
// the connection open or closing it.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include "child_process.h"
#include "embedded_run.h"
#include "sha256.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::VirtualDisplay;

#ifdef SCENARIO_HAS_WINDOW

constexpr std::size_t kEverything = std::numeric_limits<std::size_t>::max();

sockaddr_un unix_address(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::snprintf(address.sun_path, sizeof address.sun_path, "%s", path.c_str());
  return address;
}

std::string socket_of(const std::string& display) {
  return "/tmp/.X11-unix/X" + display.substr(1);
}

class SilencingRelay {
 public:
  enum class Then { kHold, kClose };

  // Relays to the server of `server_display`, passing at most `budget`
  // bytes of its answers, then going silent as `then` says.
  SilencingRelay(const std::string& server_display, std::size_t budget,
                 Then then = Then::kHold)
      : server_path_(socket_of(server_display)),
        budget_(budget),
        then_(then),
        silent_(budget == 0) {}
  SilencingRelay(const SilencingRelay&) = delete;
  SilencingRelay& operator=(const SilencingRelay&) = delete;

  // Listens on a display number no server uses; false when none was found.
  bool start() {
    fs::create_directories("/tmp/.X11-unix");
    if (::pipe2(wake_, O_CLOEXEC) != 0) return false;
    listener_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    for (int n = 800; n < 900 && display_.empty(); ++n) {
      const std::string path = "/tmp/.X11-unix/X" + std::to_string(n);
      if (fs::exists(path) ||
          fs::exists("/tmp/.X" + std::to_string(n) + "-lock"))
        continue;
      const sockaddr_un address = unix_address(path);
      if (::bind(listener_, reinterpret_cast<const sockaddr*>(&address),
                 sizeof address) == 0 &&
          ::listen(listener_, 8) == 0) {
        display_ = ":" + std::to_string(n);
        path_ = path;
      }
    }
    if (display_.empty()) return false;
    thread_ = std::thread([this] { relay(); });
    return true;
  }

  ~SilencingRelay() {
    if (thread_.joinable()) {
      const char stop = 1;
      [[maybe_unused]] const auto n = ::write(wake_[1], &stop, 1);
      thread_.join();
    }
    for (const int fd : {listener_, wake_[0], wake_[1]}) {
      if (fd >= 0) ::close(fd);
    }
    if (!path_.empty()) fs::remove(path_);
  }

  const std::string& display() const { return display_; }
  // From now on nothing passes.
  void silence() { silent_ = true; }
  // The bytes of the server's answers passed so far.
  std::size_t passed() const { return passed_; }

 private:
  struct Pair {
    int client;
    int server;
  };

  static bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t n = ::write(fd, data, size);
      if (n <= 0) return false;
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    return true;
  }

  void relay() {
    std::vector<Pair> pairs;
    const auto close_pair = [](Pair& p) {
      ::close(p.client);
      ::close(p.server);
      p.client = p.server = -1;
    };
    for (;;) {
      const bool silent = silent_;
      if (silent && then_ == Then::kClose) {
        for (auto& p : pairs) close_pair(p);
      }
      std::erase_if(pairs, [](const Pair& p) { return p.client < 0; });
      std::vector<pollfd> fds{{listener_, POLLIN, 0}, {wake_[0], POLLIN, 0}};
      for (const auto& p : pairs) {
        fds.push_back({p.client, static_cast<short>(silent ? 0 : POLLIN), 0});
        fds.push_back({p.server, static_cast<short>(silent ? 0 : POLLIN), 0});
      }
      if (::poll(fds.data(), fds.size(), 100) < 0) continue;
      if (fds[1].revents != 0) break;
      if (fds[0].revents & POLLIN) {
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        const int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        const sockaddr_un address = unix_address(server_path_);
        if (client >= 0 &&
            ::connect(server, reinterpret_cast<const sockaddr*>(&address),
                      sizeof address) == 0) {
          pairs.push_back({client, server});
        } else {
          if (client >= 0) ::close(client);
          ::close(server);
        }
      }
      for (std::size_t i = 0; i < pairs.size(); ++i) {
        Pair& p = pairs[i];
        const short from_client = fds[2 + 2 * i].revents;
        const short from_server = fds[3 + 2 * i].revents;
        char buffer[65536];
        if (from_client & (POLLIN | POLLHUP | POLLERR)) {
          const ssize_t n = ::read(p.client, buffer, sizeof buffer);
          if (n <= 0 || silent_ ||
              !write_all(p.server, buffer, static_cast<std::size_t>(n))) {
            if (n <= 0) close_pair(p);
            continue;
          }
        }
        if (from_server & (POLLIN | POLLHUP | POLLERR)) {
          const ssize_t n = ::read(p.server, buffer, sizeof buffer);
          if (n <= 0) {
            close_pair(p);
            continue;
          }
          const std::size_t pass =
              std::min(static_cast<std::size_t>(n), budget_ - passed_);
          if (!silent_) write_all(p.client, buffer, pass);
          passed_ += pass;
          if (passed_ >= budget_) silent_ = true;
        }
      }
    }
    for (auto& p : pairs) {
      if (p.client >= 0) close_pair(p);
    }
  }

  std::string server_path_;
  std::size_t budget_;
  Then then_;
  std::atomic<bool> silent_;
  std::atomic<std::size_t> passed_{0};
  int listener_ = -1;
  int wake_[2] = {-1, -1};
  std::string display_;
  std::string path_;
  std::thread thread_;
};

class SilentDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing::find_on_path("Xvfb").empty()) {
      GTEST_SKIP() << "Xvfb is not installed (scripts/install-deps)";
    }
    ASSERT_TRUE(server_.start()) << "Xvfb did not come up";
    ASSERT_FALSE(dir_.empty());
    // The program with its window module beside it.
    for (const char* file : {"scenario", "scenario_window.so"}) {
      fs::copy_file(fs::path(SCENARIO_BIN_DIR) / file, dir_ / file);
    }
  }

  struct Run {
    std::optional<int> status;
    std::chrono::duration<double> took;
    std::string err;
  };

  // Runs the scenario program on the display behind `relay`, removing the
  // files of any earlier run first.
  Run run_through(const SilencingRelay& relay) {
    for (const auto& [name, digest] : testing::embedded_file_digests()) {
      fs::remove(dir_ / name);
    }
    const auto started = std::chrono::steady_clock::now();
    ChildProcess run({(dir_ / "scenario").string()},
                     {.environment = {{"DISPLAY", relay.display()}}});
    Run r;
    r.status = run.wait_for_exit(60s);
    r.took = std::chrono::steady_clock::now() - started;
    r.err = run.stderr_text();
    return r;
  }

  void expect_pinned_files(const std::string& label) const {
    for (const auto& [name, digest] : testing::embedded_file_digests()) {
      EXPECT_EQ(testing::sha256_hex(testing::read_file(dir_ / name)), digest)
          << name << ", " << label;
    }
  }

  VirtualDisplay server_;
  testing::TemporaryDirectory temp_{"scenario-silent"};
  const fs::path dir_ = temp_.path();
};

TEST_F(SilentDisplayTest, ScenarioProgramEndsWhenTheDisplayFallsSilent) {
  // A whole run on a display that answers: how much it says.
  std::size_t whole = 0;
  {
    SilencingRelay relay(server_.name(), kEverything);
    ASSERT_TRUE(relay.start());
    const Run r = run_through(relay);
    ASSERT_EQ(r.status, 0) << r.err;
    whole = relay.passed();
  }
  ASSERT_GT(whole, 1000u);

  // Silent in the middle of the connection's setup, and at points spread
  // over the rest of the run; then a server that goes away at once.
  std::vector<std::pair<std::size_t, SilencingRelay::Then>> cuts = {
      {8, SilencingRelay::Then::kHold}};
  for (int fifth = 1; fifth < 5; ++fifth) {
    cuts.push_back({whole * fifth / 5, SilencingRelay::Then::kHold});
  }
  cuts.push_back({whole - 1, SilencingRelay::Then::kHold});
  cuts.push_back({whole / 2, SilencingRelay::Then::kClose});
  for (const auto& [budget, then] : cuts) {
    const std::string label =
        "silent after " + std::to_string(budget) + " of " +
        std::to_string(whole) + " bytes" +
        (then == SilencingRelay::Then::kClose ? ", closed" : "");
    SilencingRelay relay(server_.name(), budget, then);
    ASSERT_TRUE(relay.start());
    const Run r = run_through(relay);
    EXPECT_EQ(r.status, 0) << label << ": " << r.err;
    EXPECT_LT(r.took, 10s) << label;
    expect_pinned_files(label);
  }
}

// The error exit's message on a display that fell silent after showing the
// waiting window reaches the person on standard error, and the run ends.
TEST_F(SilentDisplayTest, ErrorExitOnADisplayThatFellSilent) {
  SilencingRelay relay(server_.name(), kEverything);
  ASSERT_TRUE(relay.start());
  ChildProcess driver(
      {WINDOW_DRIVER, "1250"},
      {.environment = {{"DISPLAY", relay.display()}}, .stdin_pipe = true});
  ASSERT_TRUE(driver.wait_for_output("shown", 20s)) << driver.stderr_text();
  relay.silence();
  driver.write_stdin("work done\n");
  EXPECT_EQ(driver.wait_for_exit(10s), 2);
  EXPECT_EQ(driver.stderr_text(), " Errore n. 1250\n");
}

#else

TEST(SilentDisplayTest, NeedsTheWindowBackend) {
  GTEST_SKIP() << "the window backend was not built";
}

#endif

}  // namespace
}  // namespace scenc
