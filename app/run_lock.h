// Runs of the scenario program in one directory take turns. Each run holds
// an exclusive lock on one lock file beside its outputs for the whole run,
// so that no run removes the sources another is about to read, and the
// files on disk are always those of one whole run.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>

#include "app/platform.h"

namespace scenc {

// The lock file in the program directory. No scenario file ends in
// ".lock", so it never takes the name of one.
inline constexpr std::string_view kRunLockName = ".scenario.lock";

class RunLock {
 public:
  // Opens the lock file in `dir`, creating it when missing; throws
  // FileError when it can be neither opened nor created. The lock itself
  // is not taken yet.
  explicit RunLock(const std::filesystem::path& dir);
  RunLock(const RunLock&) = delete;
  RunLock& operator=(const RunLock&) = delete;
  // Closing the file lets the next run go on.
  ~RunLock();

  // Waits until no other run holds the lock, then holds it.
  void take();
  bool held() const { return held_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool held_ = false;
};

// The build run's layer with the wait for its turn: the waiting window goes
// up first, and stays up while another run of the directory finishes, so
// that a person sees the program waiting. Every file is touched only after
// `show_waiting_window` returns.
// `on_turn` runs once the turn is held.
class TakingTurns final : public Platform {
 public:
  TakingTurns(Platform& shown, RunLock& lock,
              std::function<void()> on_turn = {})
      : shown_(shown), lock_(lock), on_turn_(std::move(on_turn)) {}
  void show_waiting_window() override;
  void show_error_box(const std::string& text) override {
    shown_.show_error_box(text);
  }
  void close_window() override { shown_.close_window(); }

 private:
  Platform& shown_;
  RunLock& lock_;
  std::function<void()> on_turn_;
};

}  // namespace scenc
