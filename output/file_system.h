// The file work around the compile core: the program directory, files
// replaced safely, and the sources read from and removed from disk.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "compiler/source_store.h"
#include "model/track_model.h"
#include "output/buffer_pool.h"
#include "output/output_directory.h"
#include "output/temporary_files.h"

namespace scenc {

// The directory of the running executable, never the working directory.
std::filesystem::path program_directory();

// Writes files into one directory. Each file is written under a temporary
// name beside its final name and renamed over it once complete, so a run
// that fails part-way leaves the earlier file intact; the file replaced
// keeps its owner and permissions. A symbolic link is followed only when
// the user running the program or root owns it (another user's link is
// refused with FileError), and the file it leads to is replaced, the link
// staying a link. A character device, or a FIFO that a process reads, is
// written where it is; a FIFO that none reads, and anything else that is
// not a regular file, is refused at once.
class DiskDirectory final : public OutputDirectory {
 public:
  // The files are written through buffers of `buffer_size` bytes.
  explicit DiskDirectory(std::filesystem::path dir,
                         std::size_t buffer_size = BufferPool::kDefaultSize)
      : dir_(std::move(dir)), buffers_(buffer_size) {}
  void write(const std::string& name, const Fill& fill) override;
  const std::filesystem::path& path() const { return dir_; }

 private:
  std::filesystem::path dir_;
  // Each directory written into (a link may lead elsewhere), listed at the
  // first file written there.
  std::map<std::filesystem::path, StaleTemporaries> stale_;
  // The writers' buffers, used again file after file.
  BufferPool buffers_;
};

// Reads a whole file. Returns kMissing when no file of that name exists and
// kUnreadable (with the reason) when it cannot be read.
SourceStore::Status read_whole_file(const std::filesystem::path& path,
                                    std::string& bytes, std::string* reason);

// What a read takes besides a regular file.
enum class Readable : std::uint8_t {
  kAnyFile,          // a device or a pipe is read as well
  kRegularFileOnly,  // anything else is refused before it is read
};

// Reads a whole file that holds at most `most` bytes. One that holds more
// is refused with `too_large` set (and kUnreadable): a file on disk by its
// size, before anything is read; a device or a pipe once it has given one
// byte more. With kRegularFileOnly, a device, FIFO or socket is refused
// (kUnreadable) without a byte read, and opening a FIFO never waits for a
// writer.
SourceStore::Status read_file_of_at_most(
    const std::filesystem::path& path, std::uint64_t most, std::string& bytes,
    std::string* reason, bool& too_large,
    Readable readable = Readable::kAnyFile);

// A directory of the user's own named `name`: `$XDG_RUNTIME_DIR/NAME`, or
// `/tmp/NAME-UID` without a runtime directory, made with mode 0700 where it
// is missing. None when it is not a directory (a link is not followed)
// owned by the user and closed to everyone else: another user never
// chooses what is read from it or written into it.
std::optional<std::filesystem::path> private_directory(std::string_view name);

// The scenario program's own sources: the files named by the scenario's
// identity in the program directory, removed once compiled.
class DiskSources final : public SourceStore {
 public:
  DiskSources(std::filesystem::path dir, const Model& model)
      : dir_(std::move(dir)), model_(model) {}
  Status load(SourceKind source, SourceText& text) override;
  bool remove(SourceKind source) override;
  std::filesystem::path path_of(SourceKind source) const;

 private:
  std::filesystem::path dir_;
  const Model& model_;
};

}  // namespace scenc
