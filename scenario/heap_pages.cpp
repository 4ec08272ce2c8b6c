#include "scenario/heap_pages.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace scenc {

#if defined(MADV_HUGEPAGE) && defined(M_ARENA_MAX)
namespace {

// False where the system never gives huge pages (its setting "never"):
// asking for them then succeeds and changes nothing.
bool huge_pages_offered() {
  const int fd = ::open("/sys/kernel/mm/transparent_hugepage/enabled",
                        O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  char setting[128] = {};
  const ssize_t n = ::read(fd, setting, sizeof setting - 1);
  ::close(fd);
  return n > 0 && std::strstr(setting, "[never]") == nullptr;
}

}  // namespace

bool heap_in_huge_pages(std::size_t bytes) {
  constexpr std::size_t kHugePage = std::size_t{2} << 20;
  constexpr std::size_t kMostAhead = std::size_t{32} << 20;
  constexpr int kUsualPad = 128 << 10;
  if (!huge_pages_offered()) return false;
  ::mallopt(M_ARENA_MAX, 1);
  ::mallopt(M_MMAP_THRESHOLD, static_cast<int>(kMostAhead));
  ::mallopt(M_TRIM_THRESHOLD, static_cast<int>(2 * kMostAhead));
  // What the run fills, beyond the 2 MiB of the probe below.
  const std::size_t ahead = std::min(
      kMostAhead, kHugePage + (bytes + kHugePage - 1) / kHugePage * kHugePage);
  ::mallopt(M_TOP_PAD, static_cast<int>(ahead));
  // A block the heap cannot hold makes it grow by the pad at once: the
  // block begins where the heap was used up to, and the break is the end.
  void* probe = std::malloc(kHugePage);
  ::mallopt(M_TOP_PAD, kUsualPad);
  if (probe == nullptr) return false;
  const auto first = reinterpret_cast<std::uintptr_t>(probe);
  const auto end = reinterpret_cast<std::uintptr_t>(::sbrk(0));
  std::free(probe);
  // Only a heap grown by its break: an allocator of other memory (the
  // sanitizers') keeps its own pages.
  if (first >= end || end - first > kHugePage + 2 * kMostAhead) return false;
  // The huge pages begin past the page the allocator marked the probe's
  // end in: a stretch of 2 MiB one small page of which is in place already
  // stays in small pages.
  constexpr std::uintptr_t kHeader = 32;
  const std::uintptr_t start =
      (first + kHugePage + kHeader + kHugePage - 1) / kHugePage * kHugePage;
  if (end <= start) return false;
  if (::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE) !=
      0) {
    return false;
  }
  // The heap below the huge pages is taken, and never touched, so that
  // the blocks to come lie in huge pages.
  // (Kept where the compiler cannot drop a block that nothing reads.)
  static void* volatile below_huge_pages = nullptr;
  if (below_huge_pages == nullptr && start - first > 2 * kHeader) {
    below_huge_pages =
        std::malloc(static_cast<std::size_t>(start - first - kHeader));
  }
  return true;
}
#else
bool heap_in_huge_pages(std::size_t) { return false; }
#endif

}  // namespace scenc
