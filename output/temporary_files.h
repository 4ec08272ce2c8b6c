// The temporary files under which every file is written before it is renamed
// over its final name, ".NAME.PID.N.tmp" beside it. A run removes its own
// temporary, and the files it wrote for itself alone, when a signal ends it,
// and removes the temporaries that killed runs left.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace scenc {

// The temporary name for `name` of process `pid`, attempt `attempt`. NAME
// is cut short where the whole would pass the longest name a directory
// holds (255 bytes), so that every name that can be written can be written
// under its temporary.
std::string temporary_name(std::string_view name, pid_t pid, int attempt);

// The process that made `entry`, when `entry` is a temporary of `name`
// exactly as temporary_name() makes them.
std::optional<pid_t> temporary_owner(std::string_view entry,
                                     std::string_view name);

// The temporaries that earlier runs may have left in one directory, listed
// once: a run that writes several files there reads the directory once, not
// once a file.
class StaleTemporaries {
 public:
  explicit StaleTemporaries(const std::filesystem::path& dir);
  // Removes the temporaries of `name` whose process no longer exists. A
  // process that still runs, or a name its number was given again, keeps
  // its files; what cannot be removed stays.
  void remove_for(std::string_view name);

 private:
  std::filesystem::path dir_;
  std::vector<std::string> listed_;  // entries shaped as temporaries
};

// Notes the one temporary file being written, for the signal handlers;
// forget_temporary() once it is renamed or removed.
void note_temporary(const std::filesystem::path& path);
void forget_temporary();

// Notes the files a run writes for itself alone and removes before it ends
// (the scenario program's two sources), from the moment the run may remove
// them: a signal that ends the run removes them as well.
// forget_own_files() before the run lets another write them.
void note_own_files(const std::filesystem::path& first,
                    const std::filesystem::path& second);
void forget_own_files();

// Sets up a program for its file work: a file-size limit makes a write fail
// with EFBIG instead of ending the program, and an interrupt, a termination
// or a hang-up removes the temporary being written and the run's own files
// before the program ends as the signal says. Signals the program was
// started to ignore stay ignored.
void handle_file_signals();

}  // namespace scenc
