// Buffers for the writers of one run's files, lent and given back: every
// file after the first fills memory whose pages are already in place.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace scenc {

class BufferPool {
 public:
  // Every write call costs the file system a fixed toll besides its copy
  // (about 2 us), and every fresh page of a buffer costs its first touch
  // (about 5 us on a virtual machine, the page handed over by the host).
  // For a run of a few megabytes, such as the scenario program's, 64 KiB
  // weighs the two best: a buffer of 256 KiB spent 0.5 ms more on its pages
  // than its fewer writes saved.
  static constexpr std::size_t kDefaultSize = std::size_t{1} << 16;
  // Where the buffers lie in memory already in place (a heap in huge
  // pages) and the files are large, a quarter of a megabyte: the toll of
  // the writes is all that is left to spare.
  static constexpr std::size_t kLargeSize = std::size_t{1} << 18;
  // The size for a run whose heap lies in huge pages, or not.
  static constexpr std::size_t size_for(bool heap_in_huge_pages) {
    return heap_in_huge_pages ? kLargeSize : kDefaultSize;
  }

  explicit BufferPool(std::size_t buffer_size = kDefaultSize);
  BufferPool(const BufferPool&) = delete;
  BufferPool& operator=(const BufferPool&) = delete;

  std::size_t buffer_size() const { return buffer_size_; }
  // A buffer given back earlier, or a new one with its pages in place.
  // Throws std::bad_alloc.
  std::unique_ptr<char[]> take();
  void give_back(std::unique_ptr<char[]> buffer) noexcept;

 private:
  // A file's writer and the writer of its last section hold one each.
  static constexpr std::size_t kKept = 2;

  std::size_t buffer_size_;
  std::vector<std::unique_ptr<char[]>> free_;
};

}  // namespace scenc
