// Drives a headless Chromium from a test through its DevTools protocol on a
// pair of pipes (--remote-debugging-pipe): open a page, run script in it,
// send mouse events, take a screenshot, and collect every console error and
// uncaught exception the page raises. Every wait is bounded.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "child_process.h"

namespace scenc::testing {

class HeadlessBrowser {
 public:
  using Json = nlohmann::json;

  // The browser the tests use: Debian's chromium, or nothing.
  static std::string find() {
    for (const char* name : {"chromium", "chromium-browser"}) {
      const std::string path = find_on_path(name);
      if (!path.empty()) return path;
    }
    return {};
  }

  // Starts the browser with a fresh profile in `profile`; false when it
  // could not be started.
  bool start(const std::string& program, const std::filesystem::path& profile,
             const std::filesystem::path& log) {
    // A browser that goes away must fail a write, not end the test.
    signal(SIGPIPE, SIG_IGN);
    int to_browser[2], from_browser[2];
    if (pipe2(to_browser, O_CLOEXEC) != 0) return false;
    if (pipe2(from_browser, O_CLOEXEC) != 0) return false;
    std::vector<std::string> argv = {program,
                                     "--headless",
                                     "--no-sandbox",
                                     "--disable-gpu",
                                     "--disable-quic",
                                     "--no-first-run",
                                     "--disable-background-networking",
                                     "--disable-component-update",
                                     "--disable-sync",
                                     "--disable-dev-shm-usage",
                                     "--hide-scrollbars",
                                     "--remote-debugging-pipe",
                                     "--user-data-dir=" + profile.string(),
                                     "about:blank"};
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    const int log_fd =
        open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = fork();
    if (pid_ == 0) {
      // The browser reads commands from descriptor 3 and answers on 4. The
      // pipes may already sit on 3 or 4: move them out of the way first
      // (dup2 onto itself would keep close-on-exec).
      const int commands = fcntl(to_browser[0], F_DUPFD_CLOEXEC, 10);
      const int answers = fcntl(from_browser[1], F_DUPFD_CLOEXEC, 10);
      dup2(null_fd, STDIN_FILENO);
      dup2(log_fd, STDOUT_FILENO);
      dup2(log_fd, STDERR_FILENO);
      dup2(commands, 3);
      dup2(answers, 4);
      setpgid(0, 0);
      execv(args[0], args.data());
      _exit(127);
    }
    close(to_browser[0]);
    close(from_browser[1]);
    close(log_fd);
    close(null_fd);
    in_ = to_browser[1];
    out_ = from_browser[0];
    return pid_ > 0;
  }

  HeadlessBrowser() = default;
  HeadlessBrowser(const HeadlessBrowser&) = delete;
  HeadlessBrowser& operator=(const HeadlessBrowser&) = delete;
  ~HeadlessBrowser() {
    if (pid_ > 0) {
      if (in_ >= 0) send("Browser.close", Json::object(), "");
      const auto deadline =
          std::chrono::steady_clock::now() + std::chrono::seconds(5);
      int status = 0;
      while (waitpid(pid_, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
          kill(-pid_, SIGKILL);
          waitpid(pid_, &status, 0);
          break;
        }
        usleep(20000);
      }
    }
    if (in_ >= 0) close(in_);
    if (out_ >= 0) close(out_);
  }

  // Sends a command and waits for its answer: the result, or nullopt (with
  // the reason in `error()`) on an error or after `limit`.
  std::optional<Json> call(
      const std::string& method, const Json& params, const std::string& session,
      std::chrono::milliseconds limit = std::chrono::seconds(30)) {
    const int id = send(method, params, session);
    if (id < 0) return std::nullopt;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (true) {
      for (auto it = answers_.begin(); it != answers_.end(); ++it) {
        if ((*it)["id"] != id) continue;
        Json answer = *it;
        answers_.erase(it);
        if (answer.contains("error")) {
          error_ = method + ": " + answer["error"].dump();
          return std::nullopt;
        }
        return answer["result"];
      }
      if (!receive(deadline)) {
        error_ = method + ": no answer";
        return std::nullopt;
      }
    }
  }

  // Waits for an event of `method` from `session`; false after `limit`.
  bool wait_for_event(const std::string& method, const std::string& session,
                      std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::size_t seen = 0;
    while (true) {
      for (; seen < events_.size(); ++seen) {
        if (events_[seen]["method"] == method &&
            events_[seen].value("sessionId", "") == session) {
          events_.erase(events_.begin() + static_cast<std::ptrdiff_t>(seen));
          return true;
        }
      }
      if (!receive(deadline)) return false;
    }
  }

  // Opens `url` in a new tab of `width` x `height` pixels and waits for it to
  // load; returns the tab's session, or "" when it failed.
  std::string open_page(const std::string& url, int width, int height) {
    const auto target =
        call("Target.createTarget", {{"url", "about:blank"}}, "");
    if (!target) return {};
    const auto attached =
        call("Target.attachToTarget",
             {{"targetId", (*target)["targetId"]}, {"flatten", true}}, "");
    if (!attached) return {};
    const std::string session = (*attached)["sessionId"];
    for (const char* domain : {"Runtime.enable", "Log.enable", "Page.enable"}) {
      if (!call(domain, Json::object(), session)) return {};
    }
    if (!call("Emulation.setDeviceMetricsOverride",
              {{"width", width},
               {"height", height},
               {"deviceScaleFactor", 1},
               {"mobile", false}},
              session)) {
      return {};
    }
    if (!call("Page.navigate", {{"url", url}}, session)) return {};
    if (!wait_for_event("Page.loadEventFired", session,
                        std::chrono::seconds(60))) {
      error_ = "the page did not load";
      return {};
    }
    return session;
  }

  // The value of a script expression (awaited when it is a promise).
  std::optional<Json> evaluate(const std::string& session,
                               const std::string& expression) {
    const auto result = call("Runtime.evaluate",
                             {{"expression", expression},
                              {"returnByValue", true},
                              {"awaitPromise", true}},
                             session);
    if (!result) return std::nullopt;
    if (result->contains("exceptionDetails")) {
      error_ = "script: " + (*result)["exceptionDetails"].dump();
      return std::nullopt;
    }
    return (*result)["result"].value("value", Json());
  }

  bool mouse(const std::string& session, const std::string& type, double x,
             double y) {
    Json params = {{"type", type}, {"x", x}, {"y", y}};
    if (type != "mouseMoved") {
      params["button"] = "left";
      params["clickCount"] = 1;
    }
    return call("Input.dispatchMouseEvent", params, session).has_value();
  }

  bool click(const std::string& session, double x, double y) {
    return mouse(session, "mouseMoved", x, y) &&
           mouse(session, "mousePressed", x, y) &&
           mouse(session, "mouseReleased", x, y);
  }

  // The page as PNG bytes, or "" when it failed; with `clip` ({x, y,
  // width, height} in the page's pixels), that part of it only.
  std::string screenshot(const std::string& session,
                         const Json& clip = nullptr) {
    Json params = {{"format", "png"}};
    if (!clip.is_null()) {
      params["clip"] = clip;
      params["clip"]["scale"] = 1;
    }
    const auto shot = call("Page.captureScreenshot", params, session);
    return shot ? decode_base64((*shot)["data"].get<std::string>()) : "";
  }

  // Console errors, uncaught exceptions and error log entries of `session`
  // so far, one line each.
  std::vector<std::string> page_errors(const std::string& session) {
    // Take in whatever has arrived.
    receive(std::chrono::steady_clock::now() + std::chrono::milliseconds(50));
    std::vector<std::string> out;
    for (const Json& e : events_) {
      if (e.value("sessionId", "") != session) continue;
      const std::string method = e.value("method", "");
      const Json& p = e["params"];
      if (method == "Runtime.exceptionThrown") {
        out.push_back("exception: " + p["exceptionDetails"].dump());
      } else if (method == "Runtime.consoleAPICalled" &&
                 (p["type"] == "error" || p["type"] == "assert" ||
                  p["type"] == "warning")) {
        out.push_back("console " + p["type"].get<std::string>() + ": " +
                      p["args"].dump());
      } else if (method == "Log.entryAdded" &&
                 (p["entry"]["level"] == "error" ||
                  p["entry"]["level"] == "warning")) {
        out.push_back("log: " + p["entry"].dump());
      }
    }
    return out;
  }

  const std::string& error() const { return error_; }

 private:
  int send(const std::string& method, const Json& params,
           const std::string& session) {
    Json message = {{"id", ++last_id_}, {"method", method}, {"params", params}};
    if (!session.empty()) message["sessionId"] = session;
    std::string bytes = message.dump();
    bytes.push_back('\0');
    for (std::size_t done = 0; done < bytes.size();) {
      const auto n = write(in_, bytes.data() + done, bytes.size() - done);
      if (n <= 0) {
        error_ = method + ": the browser does not listen";
        return -1;
      }
      done += static_cast<std::size_t>(n);
    }
    return last_id_;
  }

  // Reads what the browser has sent until `deadline`, at least one whole
  // message when one comes; false when none came.
  bool receive(std::chrono::steady_clock::time_point deadline) {
    bool got = false;
    while (true) {
      for (std::size_t end = buffer_.find('\0'); end != std::string::npos;
           end = buffer_.find('\0')) {
        Json message = Json::parse(buffer_.substr(0, end), nullptr, false);
        buffer_.erase(0, end + 1);
        if (message.is_discarded()) continue;
        (message.contains("id") ? answers_ : events_).push_back(message);
        got = true;
      }
      if (got) return true;
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd wait{out_, POLLIN, 0};
      if (poll(&wait, 1, static_cast<int>(left.count())) <= 0) return false;
      char chunk[65536];
      const auto n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return false;
      buffer_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  static std::string decode_base64(const std::string& text) {
    std::string out;
    int bits = 0;
    unsigned value = 0;
    for (const char c : text) {
      int v = -1;
      if (c >= 'A' && c <= 'Z') v = c - 'A';
      if (c >= 'a' && c <= 'z') v = c - 'a' + 26;
      if (c >= '0' && c <= '9') v = c - '0' + 52;
      if (c == '+') v = 62;
      if (c == '/') v = 63;
      if (v < 0) continue;
      value = (value << 6) | static_cast<unsigned>(v);
      bits += 6;
      if (bits >= 8) {
        bits -= 8;
        out.push_back(static_cast<char>((value >> bits) & 0xFF));
      }
    }
    return out;
  }

  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  int last_id_ = 0;
  std::string buffer_;
  std::vector<Json> answers_;
  std::vector<Json> events_;
  std::string error_;
};

}  // namespace scenc::testing
