#include "output/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <optional>

#include "output/scenario_files.h"
#include "output/temporary_files.h"

namespace scenc {
namespace {

std::string reason_of(int err) { return std::strerror(err); }

// Appends chunks to an open descriptor, retrying short writes; a regular
// file (`placeable`) is also written at places, and its pages are handed to
// the disk as they accumulate.
class DescriptorSink final : public ByteSink {
 public:
  DescriptorSink(int fd, std::string file, bool placeable)
      : fd_(fd), file_(std::move(file)), placeable_(placeable) {}
  void append(const char* data, std::size_t size) override {
    const std::size_t whole = size;
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw FileError{file_, reason_of(errno)};
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
    written(whole);
  }
  bool write_at(std::uint64_t offset, const char* data,
                std::size_t size) override {
    if (!placeable_) return false;
    const std::size_t whole = size;
    while (size > 0) {
      const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
      if (n < 0) {
        if (errno == EINTR) continue;
        throw FileError{file_, reason_of(errno)};
      }
      data += n;
      offset += static_cast<std::uint64_t>(n);
      size -= static_cast<std::size_t>(n);
    }
    written(whole);
    return true;
  }

 private:
  // Renaming the finished file over the old one sends every page still
  // unwritten to the disk and waits on it; a large file would make the
  // rename wait for all of it. So the pages are handed to the disk every
  // 256 KiB, and the disk writes while the rest of the file is drawn. The
  // hand-off only starts the writing: where it fails, nothing is lost, and
  // the rename sends what is left.
  void written(std::size_t bytes) {
#ifdef SYNC_FILE_RANGE_WRITE
    if (!placeable_) return;
    unsent_ += bytes;
    if (unsent_ < kHandToDiskEvery) return;
    unsent_ = 0;
    ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)bytes;
#endif
  }

  static constexpr std::size_t kHandToDiskEvery = 256 * 1024;
  int fd_;
  std::string file_;
  bool placeable_;
  std::size_t unsent_ = 0;
};

// Creates a fresh temporary file beside `target`; returns its descriptor.
// The signal handlers know its name before it exists, so that no moment
// leaves it behind.
int create_temporary(const std::filesystem::path& target,
                     std::filesystem::path& temp) {
  for (int attempt = 0;; ++attempt) {
    temp = target;
    temp.replace_filename(
        temporary_name(target.filename().string(), ::getpid(), attempt));
    note_temporary(temp);
    const int fd =
        ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) forget_temporary();
    if (fd >= 0 || errno != EEXIST || attempt > 100) return fd;
  }
}

// Fills the open file `fd` (a regular file when `placeable`) and hands
// everything to it, in buffers from `buffers` when given. A failure throws
// FileError naming `file`, except when memory runs out.
void fill_descriptor(int fd, const std::string& file, bool placeable,
                     const OutputDirectory::Fill& fill,
                     BufferPool* buffers = nullptr) {
  try {
    DescriptorSink sink(fd, file, placeable);
    ByteWriter out =
        buffers != nullptr ? ByteWriter(sink, *buffers) : ByteWriter(sink);
    fill(out);
    out.flush();
  } catch (const FileError&) {
    throw;
  } catch (const std::bad_alloc&) {
    // Out of memory is the program's failure, not this file's.
    throw;
  } catch (const std::exception& e) {
    // A container that cannot be laid out in its file (a slot name too long
    // for its 16-bit length) means this file cannot be written: report it
    // like any other write failure instead of letting it end the program.
    throw FileError{file, e.what()};
  }
}

// Where a write of a name goes once its links are followed: a regular file
// replaced (or made), or a device or FIFO written where it is.
struct OutputTarget {
  std::filesystem::path path;
  bool in_place = false;
  // `path` is a link only the kernel resolves (a process's descriptor,
  // such as /proc/self/fd/1 on a pipe), opened through it.
  bool through_link = false;
  // What `path` is, when it exists.
  std::optional<struct stat> existing;
};

constexpr const char* kLinkOfAnotherUser =
    "a symbolic link owned by another user, not followed";
constexpr const char* kNotWritable =
    "neither a regular file, a character device nor a FIFO";
constexpr const char* kFifoWithoutReader = "a FIFO that no process reads";

// A link is followed only when the user running the program made it, or
// root (the system's own, such as /dev/stdout). A link of another user is
// never followed, not even in that user's own directory: it would let them
// choose which of this user's files the run replaces.
bool may_follow(const struct stat& link) {
  return link.st_uid == ::geteuid() || link.st_uid == 0;
}

// What a name that is not a link comes to.
OutputTarget target_of(const std::filesystem::path& file,
                       const struct stat& st) {
  if (S_ISREG(st.st_mode) || S_ISDIR(st.st_mode))
    return {file, false, false, st};
  if (S_ISFIFO(st.st_mode) || S_ISCHR(st.st_mode))
    return {file, true, false, st};
  throw FileError{file.string(), kNotWritable};
}

// Follows the links of `named`, each one checked before it is followed. A
// link may lead to a file that does not exist yet: it is made there, and the
// link stays a link.
OutputTarget output_target(const std::filesystem::path& named) {
  std::filesystem::path file = named;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0)
      return {file, false, false, std::nullopt};
    if (!S_ISLNK(st.st_mode)) return target_of(file, st);
    if (!may_follow(st)) throw FileError{named.string(), kLinkOfAnotherUser};
    std::error_code ec;
    const std::filesystem::path text = std::filesystem::read_symlink(file, ec);
    if (ec) throw FileError{named.string(), ec.message()};
    const std::filesystem::path next =
        text.is_absolute() ? text : file.parent_path() / text;
    struct stat found {};
    if (::lstat(next.c_str(), &found) != 0 && ::stat(file.c_str(), &st) == 0) {
      // The link's text names no file, yet the kernel resolves it.
      if (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) {
        throw FileError{named.string(), kNotWritable};
      }
      return {file, true, true, st};
    }
    file = next;
  }
  throw FileError{named.string(), reason_of(ELOOP)};
}

// Opens a device or a FIFO for writing without waiting on it. A FIFO that
// no process reads yet is given a moment for its reader to come (a reader
// started beside the program may open it a little later), then refused: the
// run must never wait for ever.
int open_in_place(const OutputTarget& target, const std::string& file) {
  const int follow = target.through_link ? 0 : O_NOFOLLOW;
  const bool fifo = S_ISFIFO(target.existing->st_mode);
  constexpr int kLooksForAReader = 100;  // 10 ms apart: a second
  for (int look = 0;; ++look) {
    const int fd =
        ::open(target.path.c_str(),
               O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | follow);
    if (fd >= 0) return fd;
    if (errno == EINTR) continue;
    if (errno != ENXIO || !fifo) {
      throw FileError{file, reason_of(errno)};
    }
    if (look == kLooksForAReader) {
      throw FileError{file, kFifoWithoutReader};
    }
    ::usleep(10000);
  }
}

// Writes into a device or a FIFO where it is, as any program writing to
// /dev/null does: it cannot be replaced, and must not be. Failures name
// `file`, the name the run was given.
void write_in_place(const OutputTarget& target, const std::string& file,
                    const OutputDirectory::Fill& fill) {
  const int fd = open_in_place(target, file);
  struct stat st {};
  const int flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &st) != 0 ||
      (!S_ISFIFO(st.st_mode) && !S_ISCHR(st.st_mode)) || flags < 0 ||
      ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    throw FileError{file, kNotWritable};
  }
  try {
    fill_descriptor(fd, file, false, fill);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0 && errno != EINTR)
    throw FileError{file, reason_of(errno)};
}

// Gives the file replacing `replaced` its owner, group and permissions, so
// that replacing a file never changes who may read or write it. Where the
// owner cannot be given (only root may), the group still is where it can.
void keep_owner_and_mode(int fd, const std::string& file,
                         const struct stat& replaced) {
  if (replaced.st_uid != ::geteuid() || replaced.st_gid != ::getegid()) {
    if (::fchown(fd, replaced.st_uid, replaced.st_gid) != 0) {
      [[maybe_unused]] const int ignored =
          ::fchown(fd, static_cast<uid_t>(-1), replaced.st_gid);
    }
  }
  if (::fchmod(fd, replaced.st_mode & 0777) != 0) {
    throw FileError{file, reason_of(errno)};
  }
}

}  // namespace

std::filesystem::path program_directory() {
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) throw FileError{"/proc/self/exe", ec.message()};
  return exe.parent_path();
}

void DiskDirectory::write(const std::string& name, const Fill& fill) {
  const std::filesystem::path named = dir_ / name;
  const OutputTarget target = output_target(named);
  if (target.in_place) return write_in_place(target, named.string(), fill);
  const std::filesystem::path dir = target.path.parent_path();
  auto listed = stale_.find(dir);
  if (listed == stale_.end())
    listed = stale_.emplace(dir, StaleTemporaries(dir)).first;
  listed->second.remove_for(target.path.filename().string());
  const std::string file = target.path.string();
  std::filesystem::path temp;
  const int fd = create_temporary(target.path, temp);
  if (fd < 0) throw FileError{file, reason_of(errno)};
  const auto discard = [&] {
    ::close(fd);
    ::unlink(temp.c_str());
    forget_temporary();
  };
  try {
    fill_descriptor(fd, file, true, fill, &buffers_);
    if (target.existing && S_ISREG(target.existing->st_mode)) {
      keep_owner_and_mode(fd, file, *target.existing);
    }
  } catch (...) {
    discard();
    throw;
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    forget_temporary();
    throw FileError{file, reason_of(err)};
  }
  if (::rename(temp.c_str(), target.path.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    forget_temporary();
    throw FileError{file, reason_of(err)};
  }
  forget_temporary();
}

SourceStore::Status read_whole_file(const std::filesystem::path& path,
                                    std::string& bytes, std::string* reason) {
  bool too_large = false;
  return read_file_of_at_most(path, UINT64_MAX, bytes, reason, too_large);
}

SourceStore::Status read_file_of_at_most(const std::filesystem::path& path,
                                         std::uint64_t most, std::string& bytes,
                                         std::string* reason, bool& too_large,
                                         Readable readable) {
  too_large = false;
  const bool regular_only = readable == Readable::kRegularFileOnly;
  const int fd = ::open(path.c_str(),
                        O_RDONLY | O_CLOEXEC | (regular_only ? O_NONBLOCK : 0));
  if (fd < 0) {
    const int err = errno;
    if (reason) *reason = reason_of(err);
    return err == ENOENT ? SourceStore::Status::kMissing
                         : SourceStore::Status::kUnreadable;
  }
  const auto refuse = [&](int err) {
    ::close(fd);
    if (reason) *reason = reason_of(err);
    return SourceStore::Status::kUnreadable;
  };
  struct stat st {};
  if (::fstat(fd, &st) != 0) return refuse(errno);
  if (S_ISDIR(st.st_mode)) return refuse(EISDIR);
  if (regular_only && !S_ISREG(st.st_mode)) {
    ::close(fd);
    if (reason) *reason = "not a regular file (a device, a pipe or a socket)";
    return SourceStore::Status::kUnreadable;
  }
  if (S_ISREG(st.st_mode) && static_cast<std::uint64_t>(st.st_size) > most) {
    too_large = true;
    return refuse(EFBIG);
  }
  bytes.clear();
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      return refuse(errno);
    }
    if (static_cast<std::uint64_t>(n) > most - bytes.size()) {
      too_large = true;
      bytes.clear();
      return refuse(EFBIG);
    }
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return SourceStore::Status::kOk;
}

std::filesystem::path DiskSources::path_of(SourceKind source) const {
  return dir_ / (source == SourceKind::kLine
                     ? ScenarioFileNames::line_source(model_)
                     : ScenarioFileNames::train_source(model_));
}

SourceStore::Status DiskSources::load(SourceKind source, SourceText& text) {
  std::string bytes;
  const Status status = read_whole_file(path_of(source), bytes, nullptr);
  text.hold(std::move(bytes));
  return status;
}

bool DiskSources::remove(SourceKind source) {
  return ::unlink(path_of(source).c_str()) == 0 || errno == ENOENT;
}

std::optional<std::filesystem::path> private_directory(std::string_view name) {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const std::filesystem::path dir =
      runtime != nullptr && *runtime == '/'
          ? std::filesystem::path(runtime) / name
          : std::filesystem::path("/tmp") /
                (std::string(name) + "-" + std::to_string(::geteuid()));
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return std::nullopt;
  struct stat st {};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) ||
      st.st_uid != ::geteuid() || (st.st_mode & 077) != 0) {
    return std::nullopt;
  }
  return dir;
}

}  // namespace scenc
