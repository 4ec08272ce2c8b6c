// The sources open in the editor, each paired by the file-naming rule with
// its partner (open as well, or read from disk), each pair checked in memory
// as a whole, and the diagnostics of both files of every pair. Nothing is
// written to disk; a file is read only while its bytes are taken.
#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <span>
#include <stop_token>
#include <string>
#include <vector>

#include "tools/check/check.h"
#include "tools/lsp/text.h"

namespace scenc::lsp {

// What tells that a file on disk is the one read before, unchanged: which
// file it is, its size and the times it was last written and changed.
struct FileStamp {
  std::uint64_t device = 0;
  std::uint64_t inode = 0;
  std::int64_t size = 0;
  std::int64_t modified_ns = 0;
  std::int64_t changed_ns = 0;
  bool operator==(const FileStamp&) const = default;
};

// What the workspace reads from disk.
class FileAccess {
 public:
  virtual ~FileAccess() = default;
  // The whole file, or nothing when it is missing, unreadable or too large.
  virtual std::optional<std::string> read(const std::filesystem::path& path) = 0;
  // The names of the files in `dir`.
  virtual std::vector<std::string> names_in(const std::filesystem::path& dir) = 0;
  // The stamp of a regular file; nothing when it cannot be had, and then
  // the file is read at every check.
  virtual std::optional<FileStamp> stamp(const std::filesystem::path&) {
    return std::nullopt;
  }
};

class DiskFiles final : public FileAccess {
 public:
  std::optional<std::string> read(const std::filesystem::path& path) override;
  std::vector<std::string> names_in(const std::filesystem::path& dir) override;
  std::optional<FileStamp> stamp(const std::filesystem::path& path) override;
};

// Reads nothing: the sources exist only as the documents an editor opens
// (for benchmarks and the fuzzer, which touch no disk).
class NoFiles final : public FileAccess {
 public:
  std::optional<std::string> read(const std::filesystem::path&) override {
    return std::nullopt;
  }
  std::vector<std::string> names_in(const std::filesystem::path&) override {
    return {};
  }
};

// A document URI taken apart: the file's directory and name. Files on disk
// have a path; other schemes (an editor's unsaved buffer) pair by name only.
struct DocumentName {
  std::string directory_uri;  // the URI up to the last "/"
  std::string name;           // the last segment, percent-decoded
  std::optional<std::filesystem::path> path;  // for file: URIs

  static DocumentName parse(const std::string& uri);
  // The URI of `file_name` in the same directory.
  std::string sibling_uri(const std::string& file_name) const;
  // The key two URIs of the same directory share, however each is spelt.
  std::string directory_key() const;
};

// The file: URI of an absolute path, each of its names percent-encoded.
std::string file_uri(const std::filesystem::path& path);

struct Document {
  std::string uri;
  DocumentName name;
  std::int64_t version = 0;
  // The text as the editor holds it. A checked pair shares it until the
  // next edit, which goes to a copy of its own.
  std::shared_ptr<TextDocument> text;
};

// One edit of a change: a range of the text replaced, or the whole text.
struct TextEdit {
  std::optional<Range> range;
  std::string text;
};

// One source of a checked pair, as it was when checked.
struct PairSide {
  std::string uri;  // empty when the source is missing
  std::string file_name;
  bool open = false;
  std::optional<std::int64_t> version;  // of an open document
  std::optional<FileStamp> stamp;       // of a file read from disk
  std::shared_ptr<const TextDocument> snapshot;  // null when missing

  const TextDocument& text() const;
};

struct CheckedPair {
  PairSide line;
  PairSide train;
  std::string line_name;
  std::string train_number;
  // The check of the two sources; its model keeps the plan of the line
  // only as drawn (its runs), never metre by metre.
  tools::CheckResult check;
  // The check ran without recovery and a fault ended a stage: a check with
  // recovery is still to come (`recovering` once it is under way).
  bool complete = true;
  bool recovering = false;
  const PairSide& side(SourceKind kind) const {
    return kind == SourceKind::kTrain ? train : line;
  }
  // The bytes checked for a source: its text, or the stand-in for a
  // partner that is missing.
  std::string_view bytes(SourceKind kind) const;
};

// The check with recovery of a pair that was checked without. It runs
// beside the server's work on the pair's own texts, which nothing changes.
struct RecoveryJob {
  std::shared_ptr<const CheckedPair> pair;  // the pair as checked without
};
// Runs the job's check; touches nothing but the job. Once `stop` is asked,
// the check ends before its next compile.
tools::CheckResult run_recovery(const RecoveryJob& job,
                                std::stop_token stop = {});

// One textDocument/publishDiagnostics notification's parameters.
using Publication = nlohmann::json;

class Workspace {
 public:
  explicit Workspace(FileAccess& files) : files_(files) {}

  void set_units(PositionEncoding units) { units_ = units; }
  PositionEncoding units() const { return units_; }
  // How an editor writes a new source or one it holds in ASCII.
  void set_default_encoding(FileEncoding e) { default_encoding_ = e; }

  void open(const std::string& uri, std::int64_t version, std::string text);
  // The open document; null when it is not open.
  const Document* find(const std::string& uri) const;
  // Makes the edits of one change of an open document, in order, and takes
  // its new version. A document that grows past the largest source is let
  // go: it is said to be too large and no longer followed until it is
  // opened again.
  void edit(const std::string& uri, std::span<const TextEdit> edits,
            std::optional<std::int64_t> version);
  void close(const std::string& uri);

  // True when documents changed since diagnostics were last published.
  bool pending() const { return pending_; }
  // Checks every pair whose sources changed and returns the diagnostics to
  // publish: for both files of each pair checked anew, and empty ones for
  // files that are no longer open nor the partner of an open one.
  std::vector<Publication> publish();

  // A pair whose check with recovery is still to run, marked as under way;
  // nothing when every pair is complete or under way.
  std::optional<RecoveryJob> recovery_job();
  // True once what a job checks has been checked anew, or one of its open
  // sources has been edited since: what it would find is of no use.
  bool stale(const RecoveryJob& job) const;
  // Takes the check with recovery of a job (nothing when it failed) and
  // returns the diagnostics to publish again; none when the pair has been
  // checked anew since the job began.
  std::vector<Publication> recovered(const RecoveryJob& job,
                                     std::optional<tools::CheckResult> check);

  // The pair the open document `uri` was last checked in (up to date once
  // `publish` has run), or null.
  const CheckedPair* pair_of(const std::string& uri) const;

 private:
  struct PairKey {
    std::string line_uri;
    std::string train_uri;
    auto operator<=>(const PairKey&) const = default;
  };
  PairKey resolve(const Document& doc);
  // The source of a pair: the open document, else the file on disk (as
  // read for an earlier check while its stamp stays the same).
  PairSide side_of(const std::string& uri);
  // The pair `key` names, opened from `doc`, checked anew; null when the
  // pair checked last has the same sources, versions and texts.
  std::shared_ptr<CheckedPair> checked_pair(const PairKey& key,
                                            const Document& doc);
  const Document* open_document(const DocumentName& name) const;
  nlohmann::json diagnostics_for(const CheckedPair& pair,
                                 SourceKind kind) const;
  // The parameters of a publishDiagnostics of `uri`, with the version of
  // its open document.
  Publication publication_of(const std::string& uri,
                             nlohmann::json diagnostics);

  FileAccess& files_;
  PositionEncoding units_ = PositionEncoding::kUtf16;
  FileEncoding default_encoding_ = FileEncoding::kWindows1252;
  std::map<std::string, Document> documents_;
  // Documents let go for growing past the largest source, until opened or
  // closed again.
  std::set<std::string> too_large_;
  std::map<PairKey, std::shared_ptr<CheckedPair>> pairs_;
  // The pair each open document belongs to.
  std::map<std::string, PairKey> pair_of_document_;
  // The pair whose diagnostics each file was last published with.
  std::map<std::string, PairKey> last_owner_;
  bool pending_ = false;
};

}  // namespace scenc::lsp
