#include "output/write_behind.h"

#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <system_error>
#include <utility>

namespace scenc {

WriteBehind::WriteBehind(std::size_t buffer_size) : buffer_size_(buffer_size) {
  // Every buffer comes back to this list, which then never grows.
  free_.reserve(kBuffers);
}

WriteBehind::~WriteBehind() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

namespace {

// A new buffer with its pages in place: a buffer is filled whole at once,
// and one call that maps every page costs a fraction of a fault per page.
std::unique_ptr<char[]> new_buffer(std::size_t size) {
  auto buffer = std::make_unique_for_overwrite<char[]>(size);
#ifdef MADV_POPULATE_WRITE
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const auto start = reinterpret_cast<std::uintptr_t>(buffer.get());
  const std::uintptr_t first = (start + page - 1) / page * page;
  const std::uintptr_t end = (start + size) / page * page;
  if (end > first) {
    // Where the system cannot, the pages come one fault at a time.
    ::madvise(reinterpret_cast<void*>(first), end - first, MADV_POPULATE_WRITE);
  }
#endif
  return buffer;
}

}  // namespace

std::unique_ptr<char[]> WriteBehind::take_buffer() {
  std::unique_lock<std::mutex> lock(mutex_);
  return lend(lock);
}

std::unique_ptr<char[]> WriteBehind::lend(std::unique_lock<std::mutex>& lock) {
  changed_.wait(lock, [&] { return !free_.empty() || lent_ < kBuffers; });
  std::unique_ptr<char[]> buffer;
  if (free_.empty()) {
    buffer = new_buffer(buffer_size_);
  } else {
    buffer = std::move(free_.back());
    free_.pop_back();
  }
  ++lent_;
  return buffer;
}

void WriteBehind::give_back(std::unique_ptr<char[]> buffer) noexcept {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    --lent_;
    free_.push_back(std::move(buffer));
  }
  changed_.notify_all();
}

void WriteBehind::carry(ByteSink& sink, std::unique_ptr<char[]>& buffer,
                        std::size_t size) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (failure_) {
    // The chunks after a failed one have nowhere to go.
    drop_queue();
    const std::exception_ptr failure = std::exchange(failure_, nullptr);
    lock.unlock();
    changed_.notify_all();
    std::rethrow_exception(failure);
  }
  bool here = !thread_.joinable() &&
              (no_thread_ || written_here_ < kChunksBeforeThread);
  if (!here && !thread_.joinable()) {
    const int busy_cpu = ::sched_getcpu();
    try {
      thread_ = std::thread([this, busy_cpu] {
        move_off_cpu(busy_cpu);
        write_chunks();
      });
    } catch (const std::system_error&) {
      // No thread to be had (a limit on threads or on address space): the
      // chunks are written as they come, as a small file's are.
      no_thread_ = true;
      here = true;
    }
  }
  if (here) {
    // A small file is written as it comes, into the buffer it came in: a
    // thread would cost more than it saves.
    ++written_here_;
    lock.unlock();
    sink.append(buffer.get(), size);
    return;
  }
  // The writer goes on in another buffer while this one is on its way.
  std::unique_ptr<char[]> next = lend(lock);
  queue_.push_back(Chunk{&sink, std::move(buffer), size});
  buffer = std::move(next);
  lock.unlock();
  changed_.notify_all();
}

void WriteBehind::drain() {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [&] { return queue_.empty() && !writing_; });
  if (!failure_) return;
  const std::exception_ptr failure = std::exchange(failure_, nullptr);
  lock.unlock();
  std::rethrow_exception(failure);
}

void WriteBehind::abandon() noexcept {
  std::unique_lock<std::mutex> lock(mutex_);
  drop_queue();
  changed_.wait(lock, [&] { return !writing_; });
  failure_ = nullptr;
  lock.unlock();
  changed_.notify_all();
}

void WriteBehind::drop_queue() {
  for (Chunk& c : queue_) {
    --lent_;
    free_.push_back(std::move(c.bytes));
  }
  queue_.clear();
}

void WriteBehind::write_chunks() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
    if (queue_.empty()) return;  // stopping, with nothing left to write
    Chunk chunk = std::move(queue_.front());
    queue_.pop_front();
    const bool failed = failure_ != nullptr;
    writing_ = true;
    lock.unlock();
    std::exception_ptr failure;
    if (!failed) {
      try {
        chunk.sink->append(chunk.bytes.get(), chunk.size);
      } catch (...) {
        failure = std::current_exception();
      }
    }
    lock.lock();
    writing_ = false;
    if (failure && !failure_) failure_ = failure;
    --lent_;
    free_.push_back(std::move(chunk.bytes));
    changed_.notify_all();
  }
}

void move_off_cpu(int busy_cpu) {
  cpu_set_t allowed;
  CPU_ZERO(&allowed);
  if (busy_cpu < 0 || busy_cpu >= CPU_SETSIZE ||
      ::sched_getaffinity(0, sizeof allowed, &allowed) != 0 ||
      !CPU_ISSET(busy_cpu, &allowed) || CPU_COUNT(&allowed) < 2) {
    return;
  }
  cpu_set_t elsewhere = allowed;
  CPU_CLR(busy_cpu, &elsewhere);
  if (::sched_setaffinity(0, sizeof elsewhere, &elsewhere) == 0) {
    ::sched_setaffinity(0, sizeof allowed, &allowed);
  }
}

}  // namespace scenc
