#include "app/run_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "output/output_directory.h"

namespace scenc {

RunLock::RunLock(const std::filesystem::path& dir)
    : path_((dir / kRunLockName).string()) {
  // Reading is enough to lock, so a lock file left by another user whom the
  // directory lets read still serves.
  do {
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666);
  } while (fd_ < 0 && errno == EINTR);
  if (fd_ < 0) throw FileError{path_, std::strerror(errno)};
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
}

}  // namespace scenc
