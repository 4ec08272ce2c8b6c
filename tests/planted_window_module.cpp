// A window module as another user might plant it where the scenario program
// could look for one: loaded, it notes so in the file PLANTED_MODULE_MARK
// names. The tests show it is never loaded.
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace {

[[gnu::constructor]] void note_loaded() {
  const char* mark = std::getenv("PLANTED_MODULE_MARK");
  if (mark == nullptr) return;
  const int fd = ::open(mark, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) return;
  const std::string line = "planted module loaded into pid " +
                           std::to_string(::getpid()) + " uid " +
                           std::to_string(::geteuid()) + "\n";
  [[maybe_unused]] const auto written = ::write(fd, line.data(), line.size());
  ::close(fd);
}

}  // namespace

extern "C" void* scenario_make_window_platform() { return nullptr; }
