#include "scenario/lack_of_memory.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "scenario/exit_status.h"

namespace scenc {
namespace {

// Far more than an exception takes, and the handful of small allocations
// an unwinding run may still make.
constexpr std::size_t kKeptAside = 32 * 1024;
std::atomic<void*> kept_aside{nullptr};

void end_at_once() {
  [[maybe_unused]] const auto written =
      ::write(STDERR_FILENO, kOutOfMemoryLine, std::strlen(kOutOfMemoryLine));
  ::_exit(exit_status::kFileFailed);
}

void give_back_and_throw() {
  // Later failures throw as usual: a program that carries on after one
  // (the language server) fails as it did without this.
  std::set_new_handler(nullptr);
  std::free(kept_aside.exchange(nullptr));
  throw std::bad_alloc();
}

// Runs before the initialisers of the program and its libraries, which
// may allocate.
[[gnu::constructor(101)]] void keep_memory_aside() {
  kept_aside.store(std::malloc(kKeptAside));
  std::set_new_handler(end_at_once);
}

}  // namespace

bool throw_on_lack_of_memory() {
  if (kept_aside.load() == nullptr) return false;
  std::set_new_handler(give_back_and_throw);
  return true;
}

}  // namespace scenc
