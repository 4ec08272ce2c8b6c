// interleaved_timing: times whole processes the way a benchmark of two
// programs against each other needs on a machine whose speed drifts: the
// commands run in turn, round after round (in alternating order), so that
// a slow minute slows each of them alike instead of the one that happened
// to run then.
//
//   interleaved_timing CSV RUNS WARMUP -- NAME ARG... [-- NAME ARG...]...
//
// Each command's standard output and error go to /dev/null. CSV receives,
// per command, a row "NAME,mean,stddev,median,user,system,min,max" in
// seconds (user and system time are means), as hyperfine lays out its rows.
// Exits 1 when a command fails.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Command {
  std::string name;
  std::vector<std::string> argv;
  std::vector<double> wall, user, system;
};

double seconds(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

// Runs `c` once; false when it could not be started or did not end with 0.
bool run(Command& c, bool record) {
  std::vector<char*> argv;
  for (std::string& a : c.argv) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const auto start = std::chrono::steady_clock::now();
  pid_t pid = 0;
  const int spawned =
      posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) {
    std::fprintf(stderr, "interleaved_timing: %s: %s\n", argv[0],
                 std::strerror(spawned));
    return false;
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) != pid) return false;
  const double wall =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start)
          .count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "interleaved_timing: %s ended with status %d\n",
                 c.name.c_str(), status);
    return false;
  }
  if (record) {
    c.wall.push_back(wall);
    c.user.push_back(seconds(usage.ru_utime));
    c.system.push_back(seconds(usage.ru_stime));
  }
  return true;
}

double mean(const std::vector<double>& v) {
  double sum = 0;
  for (const double x : v) sum += x;
  return sum / static_cast<double>(v.size());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 6 || std::strcmp(argv[4], "--") != 0) {
    std::fprintf(stderr,
                 "usage: interleaved_timing CSV RUNS WARMUP -- NAME ARG... [-- "
                 "NAME ARG...]...\n");
    return 64;
  }
  const char* csv = argv[1];
  const int runs = std::atoi(argv[2]);
  const int warmup = std::atoi(argv[3]);
  std::vector<Command> commands;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--") == 0) {
      if (i + 1 == argc) break;  // a name is missing: refused below
      commands.push_back({argv[++i], {}, {}, {}, {}});
    } else {
      commands.back().argv.push_back(argv[i]);
    }
  }
  if (runs < 1 || warmup < 0 || commands.empty() ||
      std::strcmp(argv[argc - 1], "--") == 0 ||
      std::any_of(commands.begin(), commands.end(),
                  [](const Command& c) { return c.argv.empty(); })) {
    std::fprintf(
        stderr,
        "interleaved_timing: every command needs a name and a program\n");
    return 64;
  }
  for (int round = 0; round < warmup + runs; ++round) {
    for (std::size_t k = 0; k < commands.size(); ++k) {
      // Every other round the other way round: no command always follows
      // the same one.
      Command& c = commands[round % 2 == 0 ? k : commands.size() - 1 - k];
      if (!run(c, round >= warmup)) return 1;
    }
  }
  FILE* out = std::fopen(csv, "w");
  if (out == nullptr) {
    std::perror(csv);
    return 1;
  }
  std::fprintf(out, "command,mean,stddev,median,user,system,min,max\n");
  for (Command& c : commands) {
    std::vector<double> sorted = c.wall;
    std::sort(sorted.begin(), sorted.end());
    const std::size_t n = sorted.size();
    const double median =
        n % 2 == 1 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
    const double m = mean(c.wall);
    double var = 0;
    for (const double x : c.wall) var += (x - m) * (x - m);
    const double sd = n > 1 ? std::sqrt(var / static_cast<double>(n - 1)) : 0.0;
    std::fprintf(out, "%s,%.9f,%.9f,%.9f,%.9f,%.9f,%.9f,%.9f\n", c.name.c_str(),
                 m, sd, median, mean(c.user), mean(c.system), sorted.front(),
                 sorted.back());
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
