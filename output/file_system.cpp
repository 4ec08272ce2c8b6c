#include "output/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "output/scenario_files.h"

namespace scenc {
namespace {

std::string reason_of(int err) { return std::strerror(err); }

// Appends chunks to an open descriptor, retrying short writes.
class DescriptorSink final : public ByteSink {
 public:
  DescriptorSink(int fd, std::string file) : fd_(fd), file_(std::move(file)) {}
  void append(const char* data, std::size_t size) override {
    while (size > 0) {
      const ssize_t n = ::write(fd_, data, size);
      if (n < 0) {
        if (errno == EINTR) continue;
        throw FileError{file_, reason_of(errno)};
      }
      data += n;
      size -= static_cast<std::size_t>(n);
    }
  }

 private:
  int fd_;
  std::string file_;
};

// Creates a fresh temporary file beside `target`; returns its descriptor.
int create_temporary(const std::filesystem::path& target,
                     std::filesystem::path& temp) {
  for (int attempt = 0;; ++attempt) {
    // Appended piece by piece: GCC 12 at -O3 takes the chain of `+` on a
    // string literal for an overlapping copy (-Wrestrict).
    std::string name = ".";
    name += target.filename().string();
    name += '.';
    name += std::to_string(::getpid());
    name += '.';
    name += std::to_string(attempt);
    name += ".tmp";
    temp = target;
    temp.replace_filename(name);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          0666);
    if (fd >= 0 || errno != EEXIST || attempt > 100) return fd;
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
  const std::filesystem::path target = dir_ / name;
  std::filesystem::path temp;
  const int fd = create_temporary(target, temp);
  if (fd < 0) throw FileError{target.string(), reason_of(errno)};
  const auto discard = [&] {
    ::close(fd);
    ::unlink(temp.c_str());
  };
  try {
    DescriptorSink sink(fd, target.string());
    ByteWriter out(sink);
    fill(out);
    out.flush();
  } catch (const FileError&) {
    discard();
    throw;
  } catch (const std::exception& e) {
    // A container that cannot be laid out in its file (a slot name too long
    // for its 16-bit length) means this file cannot be written: report it
    // like any other write failure instead of letting it end the program.
    discard();
    throw FileError{target.string(), e.what()};
  } catch (...) {
    discard();
    throw;
  }
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw FileError{target.string(), reason_of(err)};
  }
  if (::rename(temp.c_str(), target.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw FileError{target.string(), reason_of(err)};
  }
}

SourceStore::Status read_whole_file(const std::filesystem::path& path,
                                    std::string& bytes, std::string* reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    const int err = errno;
    if (reason) *reason = reason_of(err);
    return err == ENOENT ? SourceStore::Status::kMissing
                         : SourceStore::Status::kUnreadable;
  }
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : errno;
    ::close(fd);
    if (reason) *reason = reason_of(err);
    return SourceStore::Status::kUnreadable;
  }
  bytes.clear();
  if (st.st_size > 0) bytes.reserve(static_cast<std::size_t>(st.st_size));
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      if (reason) *reason = reason_of(err);
      return SourceStore::Status::kUnreadable;
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

SourceStore::Status DiskSources::load(SourceKind source, std::string& bytes) {
  return read_whole_file(path_of(source), bytes, nullptr);
}

bool DiskSources::remove(SourceKind source) {
  return ::unlink(path_of(source).c_str()) == 0 || errno == ENOENT;
}

}  // namespace scenc
