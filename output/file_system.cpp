#include "output/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>

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
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          0666);
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

// The file `path` names: a symbolic link is followed to the file it names,
// which need not exist yet, so that the file is replaced and the link
// stays.
std::filesystem::path followed_links(const std::filesystem::path& path) {
  std::filesystem::path file = path;
  for (int depth = 0; depth < 40; ++depth) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return file;
    std::error_code ec;
    const std::filesystem::path named = std::filesystem::read_symlink(file, ec);
    if (ec) throw FileError{path.string(), ec.message()};
    file = named.is_absolute() ? named : file.parent_path() / named;
  }
  throw FileError{path.string(), reason_of(ELOOP)};
}

// True when `path` names something that exists and is neither a regular
// file nor a directory: a device, a FIFO, a socket.
bool is_special_file(const std::filesystem::path& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) &&
         !S_ISDIR(st.st_mode);
}

// Writes into a device or a FIFO where it is, as any program writing to
// /dev/null does: it cannot be replaced, and must not be.
void write_in_place(const std::filesystem::path& target,
                    const OutputDirectory::Fill& fill) {
  int fd;
  do {
    fd = ::open(target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) throw FileError{target.string(), reason_of(errno)};
  try {
    fill_descriptor(fd, target.string(), false, fill);
  } catch (...) {
    ::close(fd);
    throw;
  }
  if (::close(fd) != 0 && errno != EINTR) {
    throw FileError{target.string(), reason_of(errno)};
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
  // Most names are plain files or nothing yet: one look tells, and only a
  // link is looked through.
  struct stat st {};
  const bool link = ::lstat(named.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
  const bool special =
      link ? is_special_file(named)
           : st.st_mode != 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode);
  if (special) return write_in_place(named, fill);
  const std::filesystem::path target = link ? followed_links(named) : named;
  const std::filesystem::path dir = target.parent_path();
  auto listed = stale_.find(dir);
  if (listed == stale_.end())
    listed = stale_.emplace(dir, StaleTemporaries(dir)).first;
  listed->second.remove_for(target.filename().string());
  std::filesystem::path temp;
  const int fd = create_temporary(target, temp);
  if (fd < 0) throw FileError{target.string(), reason_of(errno)};
  const auto discard = [&] {
    ::close(fd);
    ::unlink(temp.c_str());
    forget_temporary();
  };
  try {
    fill_descriptor(fd, target.string(), true, fill, &buffers_);
  } catch (...) {
    discard();
    throw;
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    forget_temporary();
    throw FileError{target.string(), reason_of(err)};
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    forget_temporary();
    throw FileError{target.string(), reason_of(err)};
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
                                         std::string* reason, bool& too_large) {
  too_large = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
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

}  // namespace scenc
