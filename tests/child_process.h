// Runs other programs from a test: the scenario program, the window driver,
// a virtual X server and the X tools that look at it. Every wait is bounded,
// and a child still running when its handle goes away is killed.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

extern char** environ;

namespace scenc::testing {

// The full path of `program` on PATH, or empty when it is not installed.
inline std::string find_on_path(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');) {
    const auto candidate = std::filesystem::path(dir) / program;
    if (access(candidate.c_str(), X_OK) == 0) return candidate.string();
  }
  return {};
}

// A process number that no process has now: that of a child that ended.
inline pid_t ended_process() {
  const pid_t pid = fork();
  if (pid == 0) _exit(0);
  waitpid(pid, nullptr, 0);
  return pid;
}

// Changes to the environment a child starts with: a value sets the
// variable, nullopt removes it.
using EnvironmentChanges = std::map<std::string, std::optional<std::string>>;

inline std::string read_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// A fresh directory under the system's temporary one, removed at the end.
class TemporaryDirectory {
 public:
  explicit TemporaryDirectory(const std::string& name) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / (name + ".XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  TemporaryDirectory(const TemporaryDirectory&) = delete;
  TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;
  ~TemporaryDirectory() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

class ChildProcess {
 public:
  struct Options {
    EnvironmentChanges environment;
    bool stdin_pipe = false;     // else standard input is /dev/null
    int inherited_fd = -1;       // one more descriptor the child keeps
    std::filesystem::path working_directory{};  // else the test's own
    // Runs in the child just before it starts the program, to hold it back
    // (another identity, a resource limit); a false result ends the child.
    bool (*prepare)() = nullptr;
  };

  ChildProcess(std::vector<std::string> argv, const Options& options) {
    static int serial = 0;
    const auto stem = std::filesystem::temp_directory_path() /
                      ("child_" + std::to_string(getpid()) + "_" +
                       std::to_string(serial++));
    out_path_ = stem.string() + ".out";
    err_path_ = stem.string() + ".err";

    std::map<std::string, std::string> env;
    for (char** e = environ; *e != nullptr; ++e) {
      const std::string entry(*e);
      const auto eq = entry.find('=');
      if (eq != std::string::npos) env[entry.substr(0, eq)] = entry.substr(eq + 1);
    }
    for (const auto& [name, value] : options.environment) {
      if (value) env[name] = *value; else env.erase(name);
    }
    std::vector<std::string> env_entries;
    for (const auto& [name, value] : env) env_entries.push_back(name + "=" + value);
    std::vector<char*> envp, args;
    for (auto& e : env_entries) envp.push_back(e.data());
    envp.push_back(nullptr);
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);

    int in_pipe[2] = {-1, -1};
    if (options.stdin_pipe && pipe2(in_pipe, O_CLOEXEC) != 0) return;
    const int out_fd = open(out_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int err_fd = open(err_path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const int null_fd = open("/dev/null", O_RDONLY | O_CLOEXEC);

    pid_ = fork();
    if (pid_ == 0) {
      dup2(options.stdin_pipe ? in_pipe[0] : null_fd, STDIN_FILENO);
      dup2(out_fd, STDOUT_FILENO);
      dup2(err_fd, STDERR_FILENO);
      if (options.inherited_fd >= 0) {
        fcntl(options.inherited_fd, F_SETFD, 0);
      }
      if (!options.working_directory.empty() &&
          chdir(options.working_directory.c_str()) != 0) {
        _exit(127);
      }
      if (options.prepare != nullptr && !options.prepare()) _exit(127);
      execve(args[0], args.data(), envp.data());
      _exit(127);
    }
    close(out_fd);
    close(err_fd);
    close(null_fd);
    if (options.stdin_pipe) {
      close(in_pipe[0]);
      stdin_fd_ = in_pipe[1];
    }
  }

  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  ~ChildProcess() {
    close_stdin();
    if (running()) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::filesystem::remove(out_path_);
    std::filesystem::remove(err_path_);
  }

  bool started() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

  void write_stdin(const std::string& text) {
    if (stdin_fd_ >= 0) {
      [[maybe_unused]] const auto n = write(stdin_fd_, text.data(), text.size());
    }
  }
  void close_stdin() {
    if (stdin_fd_ >= 0) close(stdin_fd_);
    stdin_fd_ = -1;
  }

  // The exit status once the child has ended (128 + the signal when a
  // signal ended it), or nullopt while it runs.
  std::optional<int> poll_exit() {
    if (status_ || pid_ <= 0) return status_;
    int raw = 0;
    if (waitpid(pid_, &raw, WNOHANG) == pid_) {
      status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
    }
    return status_;
  }

  // Waits up to `limit` for the child to end; nullopt when it still runs.
  std::optional<int> wait_for_exit(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    // Short pauses first: most tools end within a few milliseconds.
    auto pause = std::chrono::milliseconds(1);
    while (!poll_exit() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(pause);
      pause = std::min(pause * 2, std::chrono::milliseconds(20));
    }
    return poll_exit();
  }

  // Waits up to `limit` until standard output holds `text`.
  bool wait_for_output(const std::string& text, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
      if (stdout_text().find(text) != std::string::npos) return true;
      if (poll_exit()) return stdout_text().find(text) != std::string::npos;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  void terminate(std::chrono::milliseconds grace) {
    if (!running()) return;
    kill(pid_, SIGTERM);
    if (!wait_for_exit(grace)) {
      kill(pid_, SIGKILL);
      wait_for_exit(std::chrono::milliseconds(1000));
    }
  }

  std::string stdout_text() const { return read_file(out_path_); }
  std::string stderr_text() const { return read_file(err_path_); }

 private:
  bool running() { return pid_ > 0 && !poll_exit(); }

  pid_t pid_ = -1;
  int stdin_fd_ = -1;
  std::optional<int> status_;
  std::string out_path_;
  std::string err_path_;
};

// Runs a short tool to its end, killing it after `limit`. Returns its exit
// status (nullopt when it had to be killed) and its standard output.
struct ToolResult {
  std::optional<int> status;
  std::string output;
};
inline ToolResult run_tool(std::vector<std::string> argv,
                           const EnvironmentChanges& environment,
                           std::chrono::milliseconds limit =
                               std::chrono::milliseconds(10000)) {
  ChildProcess child(std::move(argv), {.environment = environment});
  ToolResult result;
  result.status = child.wait_for_exit(limit);
  result.output = child.stdout_text();
  return result;
}

// A virtual X server on a display number it picks itself, so that tests
// running side by side never share or collide on one.
class VirtualDisplay {
 public:
  // Starts the server at 96 dots per inch; false when Xvfb is not installed
  // or did not come up within ten seconds.
  bool start() {
    const std::string xvfb = find_on_path("Xvfb");
    if (xvfb.empty()) return false;
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0) return false;
    server_.emplace(std::vector<std::string>{xvfb, "-displayfd",
                                             std::to_string(ready[1]),
                                             "-screen", "0", "1024x768x24",
                                             "-dpi", "96", "-nolisten", "tcp"},
                    ChildProcess::Options{.environment = {},
                                          .stdin_pipe = false,
                                          .inherited_fd = ready[1]});
    close(ready[1]);
    std::string number;
    pollfd wait_ready{ready[0], POLLIN, 0};
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (number.find('\n') == std::string::npos &&
           std::chrono::steady_clock::now() < deadline &&
           poll(&wait_ready, 1, 200) >= 0) {
      if (!(wait_ready.revents & (POLLIN | POLLHUP))) continue;
      char buffer[16];
      const auto n = read(ready[0], buffer, sizeof buffer);
      if (n <= 0) break;
      number.append(buffer, static_cast<std::size_t>(n));
    }
    close(ready[0]);
    if (number.find('\n') == std::string::npos) {
      stop();
      return false;
    }
    name_ = ":" + number.substr(0, number.find('\n'));
    return true;
  }

  void stop() {
    if (server_) server_->terminate(std::chrono::milliseconds(3000));
    server_.reset();
  }

  ~VirtualDisplay() { stop(); }

  // The DISPLAY value of the server, such as ":3".
  const std::string& name() const { return name_; }

 private:
  std::optional<ChildProcess> server_;
  std::string name_;
};

}  // namespace scenc::testing
