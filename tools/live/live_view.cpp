#include "tools/live/live_view.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <nlohmann/json.hpp>
#include <sstream>
#include <vector>

#include "scenario/exit_status.h"
#include "tools/check/diagnostic_output.h"
#include "tools/decode/scenario_set.h"
#include "tools/live/file_watch.h"
#include "tools/live/serve_registry.h"
#include "tools/live/view_server.h"
#include "tools/plot/from_sources.h"
#include "tools/plot/html_plot.h"

extern char** environ;

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// An editor's save takes a few steps (a write, a rename, a change of
// rights); the compile waits until the files have been still this long.
constexpr auto kSettle = std::chrono::milliseconds(30);

// What is served, compiled or read once.
struct Loaded {
  ScenarioSet scenario;
  std::optional<SourceFindings> findings;
};

Loaded load(const ServeRequest& r) {
  if (r.train_source.empty()) return {load_scenario(r.scenario), std::nullopt};
  CompiledSources c = compile_sources(r.scenario, r.train_source);
  return {std::move(c.scenario), std::move(c.findings)};
}

std::string clock_now() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%H:%M:%S", &local);
  return text;
}

std::string counted(std::size_t n, const std::string& what) {
  return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// "2 errors, 1 warning", or what a picture from compiled files is.
std::string findings_text(const std::optional<SourceFindings>& f) {
  if (!f) return "read from the compiled files";
  std::size_t errors = 0, warnings = 0;
  for (const PlotDiagnostic& d : f->diagnostics) {
    if (d.severity == Severity::kError) ++errors;
    if (d.severity == Severity::kWarning) ++warnings;
  }
  return counted(errors, "error") + ", " + counted(warnings, "warning");
}

// What the served files are: the two sources, or the directory of the
// compiled files (any of its entries).
std::vector<FileWatch::Item> watched(const ServeRequest& r,
                                     const ScenarioSet& first) {
  if (r.train_source.empty()) {
    const fs::path dir = first.slot_path.parent_path();
    return {FileWatch::Item{dir.empty() ? fs::path(".") : dir, std::nullopt}};
  }
  std::vector<FileWatch::Item> items = FileWatch::items_of(r.scenario);
  for (FileWatch::Item& i : FileWatch::items_of(r.train_source)) {
    items.push_back(std::move(i));
  }
  return items;
}

// The server's news for the pages: how the last compile went, and the
// other serves of the same files.
class News {
 public:
  void compiled(std::uint64_t version, Clock::duration took,
                const std::string& what) {
    version_ = version;
    when_ = clock_now();
    compile_ = "Compile " + std::to_string(version) + " at " + when_ + " (" +
               std::to_string(
                   std::chrono::duration_cast<std::chrono::milliseconds>(took)
                       .count()) +
               " ms): " + what + ".";
    problem_ = false;
  }
  void failed(const std::string& why) {
    compile_ =
        why + ". The page keeps " +
        (version_ > 0 ? "compile " + std::to_string(version_) + " of " + when_
                      : std::string("nothing")) +
        " and follows again once the files can be read.";
    problem_ = true;
  }
  void others(const std::vector<ServeRegistry::Other>& list) {
    others_.clear();
    for (const auto& o : list) {
      others_ +=
          " The same files are also served by scenarioc serve "
          "(process " +
          std::to_string(o.pid) + ") at " + o.url + ".";
    }
  }
  const std::string& compile_text() const { return compile_; }
  std::string json() const {
    const char* level = problem_          ? "problem"
                        : others_.empty() ? "ok"
                                          : "notice";
    return nlohmann::json{{"text", compile_ + others_}, {"level", level}}.dump(
        -1, ' ', false, nlohmann::json::error_handler_t::replace);
  }

 private:
  std::uint64_t version_ = 0;
  std::string when_;
  std::string compile_;
  bool problem_ = false;
  std::string others_;
};

}  // namespace

int serve_live_view(const ServeRequest& req, std::ostream& out,
                    std::ostream& err) {
  try {
    // What cannot be read at the start is a mistake in the command line.
    const auto first_started = Clock::now();
    std::optional<Loaded> first = load(req);
    std::vector<FileWatch::Item> items = watched(req, first->scenario);
    const std::size_t registry_item = items.size();
    const auto registry_dir = ServeRegistry::own_directory();
    if (registry_dir)
      items.push_back(FileWatch::Item{*registry_dir, std::nullopt});
    // The watch takes the stop signals before the server's thread starts,
    // so that they reach the watch alone.
    FileWatch watch(std::move(items));
    ViewServer server(req.port);
    std::vector<fs::path> inputs{req.scenario};
    if (!req.train_source.empty()) inputs.push_back(req.train_source);
    News news;
    std::uint64_t version = 0;
    const auto publish = [&](const Loaded& loaded, Clock::time_point started) {
      ++version;
      const PlotScene scene = make_scene(loaded.scenario, loaded.findings);
      const std::string json = plot_scene_json(scene, version);
      server.set_page(plot_page(scene, json));
      server.send("scene", json);
      news.compiled(version, Clock::now() - started,
                    findings_text(loaded.findings));
    };
    // The page is there before anyone is told where to ask for it.
    publish(*first, first_started);
    first.reset();
    ServeRegistry registry(inputs, server.url());
    out << server.url() << std::endl;
    pid_t browser = -1;
    if (req.open) {
      if (const auto why = open_in_browser(server.url(), &browser)) {
        err << terminal_text("scenarioc serve: " + *why) << "\n";
      }
    }

    until_stopped(watch, kSettle, [&](const std::set<std::size_t>& changed) {
      // The first call, with nothing changed, finds the first compile out
      // already; a change of the registry alone is news, not a compile.
      const bool files = changed.size() > changed.count(registry_item);
      if (files) {
        const auto started = Clock::now();
        try {
          publish(load(req), started);
        } catch (const ToolError& e) {
          news.failed(e.message);
        } catch (const std::exception& e) {
          news.failed(e.what());
        }
      }
      if (files || changed.empty()) {
        err << terminal_text("scenarioc serve: " + news.compile_text()) << "\n";
      }
      news.others(registry.others());
      server.send("status", news.json());
      if (browser > 0 && ::waitpid(browser, nullptr, WNOHANG) == browser)
        browser = -1;
    });
    server.stop();
    err << "scenarioc serve: stopped\n";
    return exit_status::kClean;
  } catch (const ToolError& e) {
    err << terminal_text("scenarioc serve: " + e.message) << "\n";
    return e.status;
  }
}

std::optional<std::string> open_in_browser(const std::string& url,
                                           pid_t* started) {
  std::vector<std::string> command;
  const char* browser = std::getenv("BROWSER");
  if (browser != nullptr && *browser != '\0') {
    // The first of its commands, split at blanks; "%s" stands for the URL,
    // which otherwise comes last.
    std::istringstream words(
        std::string(browser).substr(0, std::strcspn(browser, ":")));
    bool placed = false;
    for (std::string w; words >> w;) {
      if (const auto at = w.find("%s"); at != std::string::npos) {
        w.replace(at, 2, url);
        placed = true;
      }
      command.push_back(w);
    }
    if (!placed) command.push_back(url);
  } else if (std::getenv("DISPLAY") != nullptr ||
             std::getenv("WAYLAND_DISPLAY") != nullptr) {
    command = {"xdg-open", url};
  }
  if (command.empty() || command.front().empty()) {
    return "no browser is set (BROWSER) and no display is named: open " + url;
  }
  std::vector<char*> argv;
  for (std::string& w : command) argv.push_back(w.data());
  argv.push_back(nullptr);
  // Its own process group, so that the terminal's Ctrl-C stays with the
  // server; no signal held back; nothing of the terminal.
  posix_spawn_file_actions_t files;
  posix_spawn_file_actions_init(&files);
  for (const int fd : {0, 1, 2}) {
    posix_spawn_file_actions_addopen(&files, fd, "/dev/null",
                                     fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK);
  pid_t pid = -1;
  const int failed =
      ::posix_spawnp(&pid, argv[0], &files, &attributes, argv.data(), environ);
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  if (failed != 0) {
    return "cannot start " + command.front() + ": " + std::strerror(failed) +
           "; open " + url;
  }
  if (started != nullptr) *started = pid;
  return std::nullopt;
}

}  // namespace scenc::tools
