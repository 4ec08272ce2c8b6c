// The serves one user runs, each entered in a directory of that user's own
// (mode 0700 under XDG_RUNTIME_DIR, else under /tmp), so that a second
// `scenarioc serve` of the same files is told of the first, and the first
// of the second. Another user can neither read nor add an entry; a
// directory that is not the user's own is not used at all.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace scenc::tools {

class ServeRegistry {
 public:
  // The user's directory of entries, made where it is missing; none when
  // it is not the user's own alone.
  static std::optional<std::filesystem::path> own_directory();

  // Enters this process as serving `inputs` (the files or directory it
  // watches) at `url`; does nothing without a directory of the user's own.
  ServeRegistry(const std::vector<std::filesystem::path>& inputs,
                std::string url);
  // Leaves.
  ~ServeRegistry();
  ServeRegistry(const ServeRegistry&) = delete;
  ServeRegistry& operator=(const ServeRegistry&) = delete;

  // The directory of the entries, to watch for others coming and going.
  const std::optional<std::filesystem::path>& directory() const {
    return directory_;
  }

  struct Other {
    long pid = 0;
    std::string url;
  };
  // The other processes that serve the same inputs now. Entries of
  // processes that are gone are removed on the way.
  std::vector<Other> others() const;

 private:
  std::optional<std::filesystem::path> directory_;
  std::filesystem::path entry_;
  std::string inputs_;  // one absolute path a line
};

}  // namespace scenc::tools
