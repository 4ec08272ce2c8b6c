// Writing a large file on a thread of its own while its next chunks are
// encoded, and placing a helper thread on a core of its own.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "output/byte_writer.h"

namespace scenc {

// A thread that writes the chunks handed to it, in order, while the writers
// that filled them go on encoding. The first chunks are written on the
// caller's thread as they come, and the thread starts only once there were
// more of them than a small file has. Buffers are lent a few at a time and
// used again, so the carrier's memory stays small.
class WriteBehind final : public ChunkCarrier {
 public:
  explicit WriteBehind(std::size_t buffer_size = std::size_t{1} << 18);
  WriteBehind(const WriteBehind&) = delete;
  WriteBehind& operator=(const WriteBehind&) = delete;
  ~WriteBehind() override;

  std::size_t buffer_size() const override { return buffer_size_; }
  std::unique_ptr<char[]> take_buffer() override;
  void carry(ByteSink& sink, std::unique_ptr<char[]>& buffer,
             std::size_t size) override;
  void give_back(std::unique_ptr<char[]> buffer) noexcept override;
  // Rethrows a failure only once: the next file starts clean.
  void drain() override;
  void abandon() noexcept override;

 private:
  struct Chunk {
    ByteSink* sink;
    std::unique_ptr<char[]> bytes;
    std::size_t size;
  };
  void write_chunks();
  // A free buffer, or a new one while fewer than kBuffers are lent; waits
  // for one to come back otherwise.
  std::unique_ptr<char[]> lend(std::unique_lock<std::mutex>& lock);

  // Returns the buffers of the chunks not yet written.
  void drop_queue();

  // Two writers (a file and its last section) fill a buffer each while
  // two more are on their way.
  static constexpr std::size_t kBuffers = 4;
  // Chunks written as they come before the thread starts: four megabytes,
  // past which encoding beside the copy gains more than a thread costs.
  static constexpr int kChunksBeforeThread = 16;

  const std::size_t buffer_size_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<Chunk> queue_;
  std::vector<std::unique_ptr<char[]>> free_;
  std::size_t lent_ = 0;  // buffers out of `free_`
  bool writing_ = false;  // a chunk is being written
  bool stopping_ = false;
  int written_here_ = 0;    // chunks written on the caller's thread
  bool no_thread_ = false;  // a thread could not be started
  std::exception_ptr failure_;
  std::thread thread_;
};

// A thread started beside a busy one is often queued on the same core, and
// takes turns with it there while another core idles. Moves the calling
// thread off `busy_cpu` (as sched_getcpu() gave it) to a core it may run
// on, then lets it run on any again: it stays where it landed until the
// scheduler has reason to move it. Does nothing on a single core.
void move_off_cpu(int busy_cpu);

}  // namespace scenc
