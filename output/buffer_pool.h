// Buffers for the writers of one run's files, lent and given back: every
// file after the first fills memory whose pages are already in place.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

namespace scenc {

class BufferPool {
 public:
  // A quarter of a megabyte per buffer: on disk, every write call costs the
  // file system a fixed toll besides its copy, which smaller chunks pay
  // visibly over a geometry file of twenty megabytes.
  static constexpr std::size_t kDefaultSize = std::size_t{1} << 18;

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
