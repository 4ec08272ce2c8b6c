#include "app/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/output_directory.h"

namespace scenc {
namespace {

constexpr const char* kNotAPlainFile =
    "not a plain file (a link, a FIFO or a device); remove it";

}  // namespace

RunLock::RunLock(const std::filesystem::path& dir)
    : path_((dir / kRunLockName).string()) {
  // Reading is enough to lock, so a lock file left by another user whom the
  // directory lets read still serves. Only a plain file serves: a link is
  // not followed (another user's would have the run make or lock a file of
  // its choosing), and a FIFO, which would hold the open up until a writer
  // came, is opened without waiting and refused.
  struct stat st {};
  if (::lstat(path_.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
    throw FileError{path_, kNotAPlainFile};
  }
  do {
    fd_ =
        ::open(path_.c_str(),
               O_RDONLY | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0 && errno != ELOOP) throw FileError{path_, std::strerror(errno)};
  // What was looked at may have been replaced since.
  if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || !S_ISREG(st.st_mode))) {
    ::close(fd_);
    fd_ = -1;
  }
  if (fd_ < 0) throw FileError{path_, kNotAPlainFile};
}

RunLock::~RunLock() {
  if (fd_ >= 0) ::close(fd_);
}

void RunLock::take() {
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) throw FileError{path_, std::strerror(errno)};
  }
  held_ = true;
}

void TakingTurns::show_waiting_window() {
  shown_.show_waiting_window();
  lock_.take();
  if (on_turn_) on_turn_();
}

}  // namespace scenc
