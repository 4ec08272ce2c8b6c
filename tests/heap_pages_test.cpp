#include "scenario/heap_pages.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace scenc {
namespace {

// The huge pages in place, in kB, of the mapping that holds `address`.
long huge_kb_around(const void* address) {
  const auto at = reinterpret_cast<std::uintptr_t>(address);
  std::ifstream smaps("/proc/self/smaps");
  bool inside = false;
  for (std::string line; std::getline(smaps, line);) {
    std::uintptr_t first = 0;
    std::uintptr_t end = 0;
    if (std::sscanf(line.c_str(), "%" SCNxPTR "-%" SCNxPTR, &first, &end) ==
            2 &&
        line.find(' ') > line.find('-')) {
      inside = first <= at && at < end;
    } else if (inside && line.rfind("AnonHugePages:", 0) == 0) {
      return std::strtol(line.c_str() + std::strlen("AnonHugePages:"), nullptr,
                         10);
    }
  }
  return -1;
}

// The heap is asked for huge pages in a child: it changes the allocator of
// the whole process.
TEST(HeapInHugePages, TheBlocksOfTheRunLieInHugePagesWhenItSaysSo) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (!heap_in_huge_pages(std::size_t{1} << 20)) ::_exit(2);
    // A writer's buffer and a small block, as a run fills them; the first
    // block may begin a few bytes below the huge pages.
    auto* buffer = static_cast<char*>(std::malloc(std::size_t{256} << 10));
    std::memset(buffer, 1, std::size_t{256} << 10);
    auto* block = static_cast<char*>(std::malloc(1000));
    std::memset(block, 2, 1000);
    ::_exit(huge_kb_around(buffer + (128 << 10)) >= 2048 &&
                    huge_kb_around(block) >= 2048
                ? 0
                : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status));
  if (WEXITSTATUS(status) == 2) {
    GTEST_SKIP() << "no huge pages here (a setting of never, or the "
                    "sanitizers' allocator)";
  }
  EXPECT_EQ(WEXITSTATUS(status), 0) << "huge pages promised, not given";
}

}  // namespace
}  // namespace scenc
