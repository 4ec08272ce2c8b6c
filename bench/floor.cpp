// scenario_floor: the least a build can cost. It does a build's file work
// and nothing else: it writes files whose bytes were prepared in advance,
// reads sources back and deletes them, in the order given, so that a build's
// time and memory can be set against the cost of merely writing its output.
//
//   scenario_floor [--large-buffers] FROM TO STEP...
//
//   write:NAME   writes the bytes of FROM/NAME as TO/NAME, the way every file
//                of a build is written: under a fresh temporary name beside
//                it, in write calls of the size the program's writer makes
//                them (a little under its buffer: 64 KiB, or 256 KiB with
//                --large-buffers, as scenarioc compile takes for large
//                sources), its pages handed to the disk by the program's
//                rule (sync_file_range, start only, once 256 KiB have been
//                written since the last time), closed, then renamed over
//                the old file
//   read:PATH    reads PATH whole into memory
//   delete:PATH  deletes PATH
//
// A relative PATH is taken inside TO. Every file to write is mapped before the
// first step runs; the steps then copy from those mappings, so the preparation
// is a shared view of the page cache, not a copy.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "output/buffer_pool.h"

namespace {

[[noreturn]] void fail(const std::string& file) {
  std::fprintf(stderr, "scenario_floor: %s: %s\n", file.c_str(),
               std::strerror(errno));
  std::exit(3);
}

struct Step {
  enum Kind { kWrite, kRead, kDelete } kind;
  std::string path;
  const char* bytes = nullptr;  // kWrite: the prepared content
  std::size_t size = 0;
};

// Maps a prepared file read-only, its pages loaded up front.
const char* map_prepared(const std::string& path, std::size_t& size) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail(path);
  size = static_cast<std::size_t>(st.st_size);
  const char* bytes = "";
  if (size > 0) {
    void* p =
        ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE | MAP_POPULATE, fd, 0);
    if (p == MAP_FAILED) fail(path);
    bytes = static_cast<const char*>(p);
  }
  ::close(fd);
  return bytes;
}

// The writes and the hand-off of pages to the disk as a build makes them,
// so that a ratio against this floor measures the program's own work, not
// a way of writing the floor lacks. The program's writer hands its buffer
// over when the next block of metres (ten bytes each) no longer fits: its
// writes are the buffer's size less the remainder of ten-byte metres.
constexpr std::size_t kMetreBytes = 10;
constexpr std::size_t chunk_of(std::size_t buffer_size) {
  return buffer_size / kMetreBytes * kMetreBytes;
}
constexpr std::size_t kHandToDiskEvery = std::size_t{1} << 18;

void write_all(int fd, const char* data, std::size_t size, std::size_t chunk,
               const std::string& file) {
  std::size_t unsent = 0;
  while (size > 0) {
    const std::size_t part = size < chunk ? size : chunk;
    std::size_t left = part;
    while (left > 0) {
      const ssize_t n = ::write(fd, data, left);
      if (n < 0) {
        if (errno == EINTR) continue;
        fail(file);
      }
      data += n;
      left -= static_cast<std::size_t>(n);
    }
    size -= part;
    unsent += part;
#ifdef SYNC_FILE_RANGE_WRITE
    if (unsent >= kHandToDiskEvery) {
      unsent = 0;
      ::sync_file_range(fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
#endif
  }
}

// The replace-safely rule of every file a build writes.
void write_replacing(const std::string& target, const std::string& dir,
                     const std::string& name, const char* data,
                     std::size_t size, std::size_t chunk) {
  std::string temp;
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temp = dir + "/." + name + "." + std::to_string(::getpid()) + "." +
           std::to_string(attempt) + ".tmp";
    fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt > 100)) fail(target);
  }
  write_all(fd, data, size, chunk, target);
  if (::close(fd) != 0) fail(target);
  if (::rename(temp.c_str(), target.c_str()) != 0) fail(target);
}

void read_whole(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(path);
  struct stat st {};
  if (::fstat(fd, &st) != 0) fail(path);
  std::vector<char> bytes(static_cast<std::size_t>(st.st_size) + 1);
  std::size_t used = 0;
  for (;;) {
    const ssize_t n = ::read(fd, bytes.data() + used, bytes.size() - used);
    if (n < 0) {
      if (errno == EINTR) continue;
      fail(path);
    }
    if (n == 0) break;
    used += static_cast<std::size_t>(n);
    if (used == bytes.size()) bytes.resize(2 * bytes.size());
  }
  ::close(fd);
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t chunk = chunk_of(scenc::BufferPool::kDefaultSize);
  if (argc > 1 && std::string(argv[1]) == "--large-buffers") {
    chunk = chunk_of(scenc::BufferPool::kLargeSize);
    --argc;
    ++argv;
  }
  if (argc < 4) {
    std::fprintf(stderr,
                 "usage: scenario_floor [--large-buffers] FROM TO STEP...\n"
                 "  STEP: write:NAME | read:PATH | delete:PATH\n");
    return 64;
  }
  const std::string from = argv[1];
  const std::string to = argv[2];
  const auto inside_to = [&](const std::string& p) {
    return !p.empty() && p[0] == '/' ? p : to + "/" + p;
  };

  std::vector<Step> steps;
  for (int i = 3; i < argc; ++i) {
    const std::string arg = argv[i];
    const std::size_t colon = arg.find(':');
    const std::string verb = arg.substr(0, colon);
    const std::string what =
        colon == std::string::npos ? "" : arg.substr(colon + 1);
    if (what.empty() ||
        (verb != "write" && verb != "read" && verb != "delete")) {
      std::fprintf(stderr, "scenario_floor: unknown step %s\n", arg.c_str());
      return 64;
    }
    Step step{verb == "write"  ? Step::kWrite
              : verb == "read" ? Step::kRead
                               : Step::kDelete,
              verb == "write" ? what : inside_to(what)};
    if (step.kind == Step::kWrite)
      step.bytes = map_prepared(from + "/" + what, step.size);
    steps.push_back(std::move(step));
  }

  for (const Step& step : steps) {
    switch (step.kind) {
      case Step::kWrite:
        write_replacing(to + "/" + step.path, to, step.path, step.bytes,
                        step.size, chunk);
        break;
      case Step::kRead:
        read_whole(step.path);
        break;
      case Step::kDelete:
        if (::unlink(step.path.c_str()) != 0) fail(step.path);
        break;
    }
  }
  return 0;
}
