#include "output/buffer_pool.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <utility>

namespace scenc {

BufferPool::BufferPool(std::size_t buffer_size) : buffer_size_(buffer_size) {
  // Giving a buffer back then never needs memory.
  free_.reserve(kKept);
}

std::unique_ptr<char[]> BufferPool::take() {
  if (!free_.empty()) {
    std::unique_ptr<char[]> buffer = std::move(free_.back());
    free_.pop_back();
    return buffer;
  }
  auto buffer = std::make_unique_for_overwrite<char[]>(buffer_size_);
#ifdef MADV_POPULATE_WRITE
  // A buffer is filled whole, again and again: one call that maps every
  // page costs a fraction of a fault per page.
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(buffer.get());
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + buffer_size_) / page * page;
  if (end > first) {
    // Where the system cannot, the pages come one fault at a time.
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  }
#endif
  return buffer;
}

void BufferPool::give_back(std::unique_ptr<char[]> buffer) noexcept {
  // Beyond the buffers kept, one given back is freed.
  if (buffer && free_.size() < free_.capacity()) {
    free_.push_back(std::move(buffer));
  }
}

}  // namespace scenc
