// The live view without a browser: the file watch as editors save, `serve`
// as an HTTP client sees it (its own paths only, its own host only, the
// loopback only, each compile and each problem pushed to every page, a
// second serve of the same files, Ctrl-C), and `watch` in a terminal.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <thread>

#include "child_process.h"
#include "plot_fixture.h"
#include "tools/live/file_watch.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using scenc::testing::ChildProcess;
using scenc::testing::TemporaryDirectory;

const std::string kScenarioc = std::string(SCENARIO_BIN_DIR) + "/scenarioc";

void write_file(const fs::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary | std::ios::trunc) << text;
}

// Saves as most editors do: the new text under another name, renamed over
// the old one.
void save_by_rename(const fs::path& p, const std::string& text) {
  const fs::path part = p.string() + ".swp";
  write_file(part, text);
  fs::rename(part, p);
}

// --- the file watch ----------------------------------------------------------

// Each way an editor saves is seen, as a change of that file alone.
TEST(FileWatch, SeesEverySaveOfItsFilesAndNothingElse) {
  TemporaryDirectory dir("file_watch");
  const fs::path a = dir.path() / "a.txt", b = dir.path() / "b.txt";
  write_file(a, "one");
  write_file(b, "one");
  const std::pair<const char*, void (*)(const fs::path&)> saves[] = {
      {"written in place", [](const fs::path& p) { write_file(p, "two"); }},
      {"renamed over", [](const fs::path& p) { save_by_rename(p, "three"); }},
      {"removed", [](const fs::path& p) { fs::remove(p); }},
      {"made again", [](const fs::path& p) { write_file(p, "four"); }},
      {"made unreadable",
       [](const fs::path& p) { fs::permissions(p, fs::perms::none); }},
  };
  FileWatch watch({FileWatch::Item{dir.path(), "a.txt"},
                   FileWatch::Item{dir.path(), "b.txt"}});
  for (const auto& [how, save] : saves) {
    SCOPED_TRACE(how);
    save(b);
    write_file(dir.path() / "other.txt", "not watched");
    EXPECT_EQ(watch.wait(5ms).items, std::set<std::size_t>{1});
  }
  // A file beside them alone wakes nothing: only the signal ends the wait.
  write_file(dir.path() / "other.txt", "again");
  std::raise(SIGINT);
  const FileWatch::Change c = watch.wait(5ms);
  EXPECT_TRUE(c.items.empty());
  EXPECT_EQ(c.stop_signal, SIGINT);
}

// A link is followed to its file; a directory removed and made again is
// watched again.
TEST(FileWatch, FollowsLinksAndDirectoriesThatComeBack) {
  TemporaryDirectory dir("file_watch");
  fs::create_directories(dir.path() / "real");
  fs::create_directories(dir.path() / "links");
  const fs::path target = dir.path() / "real" / "line.txt";
  const fs::path link = dir.path() / "links" / "line.txt";
  write_file(target, "one");
  fs::create_symlink(target, link);
  FileWatch watch(FileWatch::items_of(link));
  write_file(target, "two");
  EXPECT_FALSE(watch.wait(5ms).items.empty());

  fs::remove_all(dir.path() / "real");
  EXPECT_FALSE(watch.wait(5ms).items.empty());
  fs::create_directories(dir.path() / "real");
  write_file(target, "three");
  EXPECT_FALSE(watch.wait(5ms).items.empty());
  write_file(target, "four");
  EXPECT_FALSE(watch.wait(5ms).items.empty());
}

// --- serve over HTTP ---------------------------------------------------------

// One connection to a port of this machine; every wait is bounded.
class Connection {
 public:
  explicit Connection(int port, const char* address = "127.0.0.1") {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    ::inet_pton(AF_INET, address, &to.sin_addr);
    connected_ =
        ::connect(fd_, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
  }
  ~Connection() { ::close(fd_); }
  bool connected() const { return connected_; }

  void send(const std::string& bytes) {
    [[maybe_unused]] const auto n = ::write(fd_, bytes.data(), bytes.size());
  }
  // Reads until `text` has come (or, when empty, until the other side
  // closes), at most `limit`; returns everything read so far.
  const std::string& read_until(const std::string& text,
                                std::chrono::milliseconds limit = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (text.empty() || received_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{fd_, POLLIN, 0};
      if (left.count() <= 0 ||
          ::poll(&p, 1, static_cast<int>(left.count())) <= 0)
        break;
      char chunk[65536];
      const auto n = ::read(fd_, chunk, sizeof chunk);
      if (n <= 0) break;
      received_.append(chunk, static_cast<std::size_t>(n));
    }
    return received_;
  }
  const std::string& received() const { return received_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  std::string received_;
};

// A `scenarioc serve` of the embedded sources in a directory of its own,
// with a registry of serves of its own.
class Serve : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(runtime_.path());
    sources_ = scenc::testing::embedded_sources(work_.path());
  }

  std::unique_ptr<ChildProcess> start(
      std::vector<std::string> extra = {},
      scenc::testing::EnvironmentChanges env = {}) {
    std::vector<std::string> argv{kScenarioc, "serve", sources_.line.string(),
                                  sources_.train.string()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    env["XDG_RUNTIME_DIR"] = runtime_.path().string();
    return std::make_unique<ChildProcess>(
        argv, ChildProcess::Options{.environment = env});
  }
  // The port a serve prints in its URL, once it does; 0 when it does not.
  static int port_of(ChildProcess& serve) {
    if (!serve.wait_for_output("/\n", 10s)) return 0;
    std::smatch m;
    const std::string out = serve.stdout_text();
    if (!std::regex_search(out, m,
                           std::regex("^http://127\\.0\\.0\\.1:([0-9]+)/\n")))
      return 0;
    return std::stoi(m[1].str());
  }
  // The status line of the answer to `request`.
  static std::string status_of(int port, const std::string& request) {
    Connection c(port);
    c.send(request);
    const std::string& answer = c.read_until("");
    return answer.substr(0, answer.find("\r\n"));
  }
  static std::string events_request(int port) {
    return "GET /events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
           "\r\n\r\n";
  }

  TemporaryDirectory work_{"serve_test"};
  TemporaryDirectory runtime_{"serve_runtime"};
  scenc::testing::SourcePaths sources_;
};

// Only its own two paths, asked of itself by name: nothing that climbs,
// nothing absolute or encoded, no other host (a web site's name made to
// point here), no source, nothing but GET and HEAD; and only on 127.0.0.1.
TEST_F(Serve, AnswersOnlyItsOwnPathsToItself) {
  auto serve = start();
  const int port = port_of(*serve);
  ASSERT_NE(port, 0) << serve->stderr_text();
  const std::string us = "127.0.0.1:" + std::to_string(port);
  // The page of the first compile is there as soon as the address is out.
  Connection first(port);
  first.send("GET / HTTP/1.1\r\nHost: " + us + "\r\n\r\n");
  EXPECT_NE(first.read_until("</html>").find("\"live\":true,\"version\":1,"),
            std::string::npos);
  const auto get = [&](const std::string& target, const std::string& host) {
    return "GET " + target + " HTTP/1.1\r\nHost: " + host + "\r\n\r\n";
  };
  const std::pair<std::string, std::string> cases[] = {
      {get("/", us), "HTTP/1.1 200 OK"},
      {get("/?from=1", "LOCALHOST:" + std::to_string(port)), "HTTP/1.1 200 OK"},
      {"HEAD /events HTTP/1.1\r\nHost: " + us + "\r\n\r\n", "HTTP/1.1 200 OK"},
      {get("/../../../etc/passwd", us), "HTTP/1.1 400 Bad Request"},
      {get("/%2e%2e/%2e%2e/etc/passwd", us), "HTTP/1.1 400 Bad Request"},
      {get("/..%2fetc/passwd", us), "HTTP/1.1 400 Bad Request"},
      {get("//etc/passwd", us), "HTTP/1.1 400 Bad Request"},
      {get(sources_.train.string(), us), "HTTP/1.1 404 Not Found"},
      {get("/" + sources_.line.filename().string(), us),
       "HTTP/1.1 404 Not Found"},
      {get("http://127.0.0.1:" + std::to_string(port) + "/", us),
       "HTTP/1.1 400 Bad Request"},
      {get("/", "evil.example"), "HTTP/1.1 403 Forbidden"},
      {get("/", "evil.example:" + std::to_string(port)),
       "HTTP/1.1 403 Forbidden"},
      {get("/events", "127.0.0.1:1"), "HTTP/1.1 403 Forbidden"},
      {"GET / HTTP/1.0\r\n\r\n", "HTTP/1.1 403 Forbidden"},
      {"POST / HTTP/1.1\r\nHost: " + us + "\r\nContent-Length: 0\r\n\r\n",
       "HTTP/1.1 405 Method Not Allowed"},
      {"NONSENSE\r\n\r\n", "HTTP/1.1 400 Bad Request"},
  };
  for (const auto& [request, status] : cases) {
    SCOPED_TRACE(request);
    Connection c(port);
    c.send(request);
    const std::string& answer = c.read_until("");
    EXPECT_EQ(answer.substr(0, answer.find("\r\n")), status);
    EXPECT_EQ(answer.find("[generale]"), std::string::npos);
    EXPECT_EQ(answer.find("root:"), std::string::npos);
  }
  // Another address of the loopback network is not listened on.
  EXPECT_FALSE(Connection(port, "127.0.0.2").connected());
}

// Every page listening gets each compile, and what the server has to say:
// a source gone, back, a second serve of the same files; Ctrl-C ends them
// all cleanly.
TEST_F(Serve, TellsEveryPageWhatHappensToTheFiles) {
  auto serve = start();
  const int port = port_of(*serve);
  ASSERT_NE(port, 0) << serve->stderr_text();
  Connection first(port), second(port);
  for (Connection* c : {&first, &second}) {
    c->send(events_request(port));
    EXPECT_NE(c->read_until("\"version\":1").find("event: scene"),
              std::string::npos);
  }
  const std::string train = scenc::testing::read_file(sources_.train);
  fs::remove(sources_.train);
  for (Connection* c : {&first, &second}) {
    const std::string& got = c->read_until("\"level\":\"problem\"");
    EXPECT_NE(got.find("Firenze_Pisa_11711-.txt: No such file or directory. "
                       "The page keeps compile 1"),
              std::string::npos)
        << got;
  }
  save_by_rename(sources_.train, train);
  EXPECT_NE(first.read_until("\"version\":2").find("event: scene"),
            std::string::npos);
  EXPECT_NE(first.read_until("Compile 2 at").find("\"level\":\"ok\""),
            std::string::npos);

  // A second serve of the same files: each says the other's address.
  auto again = start();
  const int other = port_of(*again);
  ASSERT_NE(other, 0) << again->stderr_text();
  const std::string also = "also served by scenarioc serve (process ";
  EXPECT_NE(first
                .read_until(also + std::to_string(again->pid()) +
                            ") at http://127.0.0.1:" + std::to_string(other))
                .find("\"level\":\"notice\""),
            std::string::npos)
      << first.received();
  Connection theirs(other);
  theirs.send(events_request(other));
  EXPECT_NE(theirs.read_until(also + std::to_string(serve->pid()) + ")")
                .find("at http://127.0.0.1:" + std::to_string(port)),
            std::string::npos)
      << theirs.received();

  kill(again->pid(), SIGINT);
  EXPECT_EQ(again->wait_for_exit(5s), 0);
  kill(serve->pid(), SIGINT);
  EXPECT_EQ(serve->wait_for_exit(5s), 0);
  for (Connection* c : {&first, &second}) {
    EXPECT_NE(c->read_until("event: end").find("event: end"),
              std::string::npos);
  }
  EXPECT_NE(serve->stderr_text().find("scenarioc serve: stopped"),
            std::string::npos);
  // Both have left the registry.
  EXPECT_TRUE(fs::is_empty(runtime_.path() / "scenarioc-serve"));
}

// Given the directory of compiled files, it reads them again each time a
// compile replaces them.
TEST_F(Serve, FollowsCompiledFilesToo) {
  const fs::path out = work_.path() / "out";
  const auto compile = [&] {
    ChildProcess c({kScenarioc, "compile", sources_.line.string(),
                    sources_.train.string(), "-o", out.string()},
                   {});
    return c.wait_for_exit(20s);
  };
  ASSERT_EQ(compile(), 0);
  ChildProcess serve(
      {kScenarioc, "serve", out.string()},
      {.environment = {{"XDG_RUNTIME_DIR", runtime_.path().string()}}});
  const int port = port_of(serve);
  ASSERT_NE(port, 0) << serve.stderr_text();
  Connection events(port);
  events.send(events_request(port));
  // A picture of compiled files has no diagnostics to show.
  EXPECT_NE(events.read_until("\"diagnostics\":null").find("\"version\":1"),
            std::string::npos);
  std::string train = scenc::testing::read_file(sources_.train);
  train.replace(train.find("segnale,   6400,"), 16, "segnale,   4600,");
  write_file(sources_.train, train);
  EXPECT_EQ(compile(), 1);
  EXPECT_NE(events.read_until("\"version\":2").find("event: scene"),
            std::string::npos)
      << serve.stderr_text();
}

TEST_F(Serve, SaysWhatKeepsItFromStarting) {
  // A port that is taken.
  auto serve = start();
  const int port = port_of(*serve);
  ASSERT_NE(port, 0);
  auto same_port = start({"--port", std::to_string(port)});
  EXPECT_EQ(same_port->wait_for_exit(10s), 3);
  EXPECT_NE(same_port->stderr_text().find("cannot listen on 127.0.0.1:" +
                                          std::to_string(port)),
            std::string::npos);
  // A source that cannot be read.
  ChildProcess missing({kScenarioc, "serve", sources_.line.string(),
                        (work_.path() / "none-.txt").string()},
                       {});
  EXPECT_EQ(missing.wait_for_exit(10s), 3);
  EXPECT_NE(missing.stderr_text().find("none-.txt"), std::string::npos);
  // A name that would retitle the terminal is told escaped.
  ChildProcess hostile({kScenarioc, "serve", sources_.line.string(),
                        (work_.path() / "a\x1b]0;x\x07-.txt").string()},
                       {});
  EXPECT_EQ(hostile.wait_for_exit(10s), 3);
  EXPECT_NE(hostile.stderr_text().find("a\\x1b]0;x\\x07-.txt"),
            std::string::npos)
      << hostile.stderr_text();
  EXPECT_EQ(hostile.stderr_text().find('\x1b'), std::string::npos);
}

TEST_F(Serve, OpensTheBrowserTheUserSet) {
  const fs::path opened = work_.path() / "opened";
  const fs::path browser = work_.path() / "browser";
  write_file(browser,
             "#!/bin/sh\necho \"$2 $1\" > '" + opened.string() + "'\n");
  fs::permissions(browser, fs::perms::owner_all);
  auto serve =
      start({"--open"}, {{"BROWSER", browser.string() + " %s --new-window"}});
  const int port = port_of(*serve);
  ASSERT_NE(port, 0);
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!fs::exists(opened) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_EQ(scenc::testing::read_file(opened),
            "--new-window http://127.0.0.1:" + std::to_string(port) + "/\n");
}

// --- watch -------------------------------------------------------------------

// Each save runs the compile again: its diagnostics, its files with -o, and
// at Ctrl-C the status of the last run.
TEST(Watch, CompilesAgainOnEachSaveAndEndsWithTheLastStatus) {
  TemporaryDirectory work("watch_test");
  const auto sources = scenc::testing::embedded_sources(work.path());
  const fs::path out = work.path() / "out";
  ChildProcess watch({kScenarioc, "watch", sources.line.string(),
                      sources.train.string(), "-o", out.string()},
                     {});
  const auto wait_for_error = [&](const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (watch.stderr_text().find(text) == std::string::npos &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(20ms);
    }
    return watch.stderr_text().find(text) != std::string::npos;
  };
  ASSERT_TRUE(wait_for_error("scenarioc watch: status 0"))
      << watch.stderr_text();
  EXPECT_TRUE(fs::exists(out / "Firenze_Pisa_11711.dat"));
  const auto first_write = fs::last_write_time(out / "Firenze_Pisa_11711.dat");

  std::string train = scenc::testing::read_file(sources.train);
  train.replace(train.find("segnale,   6400,"), 16, "segnale,   4600,");
  save_by_rename(sources.train, train);
  ASSERT_TRUE(wait_for_error("scenarioc watch: status 1"))
      << watch.stderr_text();
  EXPECT_NE(watch.stderr_text().find("[fault-16]"), std::string::npos);
  // As compile does, a compile with faults still writes its files.
  EXPECT_NE(fs::last_write_time(out / "Firenze_Pisa_11711.dat"), first_write);

  kill(watch.pid(), SIGINT);
  EXPECT_EQ(watch.wait_for_exit(5s), 1);
}

// The sources' names come back escaped in each run's status line.
TEST(Watch, NamesItsSourcesEscaped) {
  TemporaryDirectory work("watch_test");
  const auto sources = scenc::testing::embedded_sources(work.path());
  const fs::path train = work.path() / "t\x1b]0;x\x07\xe2\x80\xae-.txt";
  fs::rename(sources.train, train);
  ChildProcess watch(
      {kScenarioc, "watch", sources.line.string(), train.string()}, {});
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (watch.stderr_text().find("(Ctrl-C ends)") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  kill(watch.pid(), SIGTERM);
  watch.wait_for_exit(5s);
  const std::string err = watch.stderr_text();
  EXPECT_NE(err.find("t\\x1b]0;x\\x07\\u202e-.txt (Ctrl-C ends)"),
            std::string::npos)
      << err;
  EXPECT_EQ(err.find_first_of("\x1b\x07"), std::string::npos) << err;
}

TEST(Watch, WritesNothingWithoutAnOutput) {
  TemporaryDirectory work("watch_test");
  const auto sources = scenc::testing::embedded_sources(work.path());
  ChildProcess watch(
      {kScenarioc, "watch", sources.line.string(), sources.train.string()}, {});
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  while (watch.stderr_text().find("status 0") == std::string::npos &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(20ms);
  }
  kill(watch.pid(), SIGTERM);
  EXPECT_EQ(watch.wait_for_exit(5s), 0) << watch.stderr_text();
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(work.path()))
    ++entries;
  EXPECT_EQ(entries, 2u);
}

}  // namespace
}  // namespace scenc::tools
