#include "tools/lsp/workspace.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>

#include "output/file_system.h"
#include "tools/check/stand_ins.h"
#include "tools/lsp/protocol.h"
#include "tools/decode/source_names.h"

namespace scenc::lsp {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

using tools::kStandInLine;
using tools::kStandInTrain;

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string percent_decoded(std::string_view s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '%' && i + 2 < s.size() && hex_value(s[i + 1]) >= 0 && hex_value(s[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(s[i + 1]) * 16 + hex_value(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::string percent_encoded(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : s) {
    const auto b = static_cast<unsigned char>(c);
    if (std::isalnum(b) || c == '-' || c == '.' || c == '_' || c == '~') {
      out += c;
    } else {
      out += '%';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    }
  }
  return out;
}

// The line name of a pair: its line source's, or for a train source
// without one, the likeliest its own name gives.
std::string line_name_of(const CheckedPair& pair, const std::string& name) {
  if (!pair.line.uri.empty()) {
    return tools::default_line_name(pair.line.file_name);
  }
  const std::vector<std::string> names = tools::line_names_of_train(name);
  return names.empty() ? fs::path(name).stem().string() : names.front();
}

// Which source of the pair the file `uri` is.
SourceKind kind_in(const CheckedPair& pair, const std::string& uri) {
  return uri == pair.line.uri ? SourceKind::kLine : SourceKind::kTrain;
}


// Two sides hold the same text: the one snapshot, or equal bytes.
bool same_text(const PairSide& a, const PairSide& b) {
  return a.snapshot == b.snapshot ||
         a.text().source_bytes() == b.text().source_bytes();
}

// The check of a pair. Its plan of the line is kept as drawn (a few runs,
// no array of metres): the formatter compares the plan of the formatted
// sources with it. A check that cannot finish (memory ran out) is said at
// the top of the line source, and the server goes on.
tools::CheckResult checked(std::string_view line, std::string_view train,
                           std::string_view line_name,
                           std::string_view train_number,
                           const tools::CheckOptions& options) {
  tools::CheckResult result;
  try {
    result =
        tools::check_sources(line, train, line_name, train_number, options);
  } catch (const std::exception& e) {
    result = tools::CheckResult();
    tools::AuthorDiagnostic d;
    d.check = "check-failed";
    d.message = std::string("the check could not finish: ") + e.what();
    result.diagnostics.push_back(std::move(d));
  }
  if (!result.model.line_profile.is_drawn()) {
    result.model.line_profile.release();
  }
  return result;
}

}  // namespace

std::string_view CheckedPair::bytes(SourceKind kind) const {
  const PairSide& s = side(kind);
  if (!s.uri.empty()) return s.text().source_bytes();
  return kind == SourceKind::kLine ? kStandInLine : kStandInTrain;
}

tools::CheckResult run_recovery(const RecoveryJob& job, std::stop_token stop) {
  tools::CheckOptions options;
  options.stop = std::move(stop);
  const CheckedPair& pair = *job.pair;
  return checked(pair.bytes(SourceKind::kLine), pair.bytes(SourceKind::kTrain), pair.line_name,
                 pair.train_number, options);
}

const TextDocument& PairSide::text() const {
  static const TextDocument kNone;
  return snapshot ? *snapshot : kNone;
}

std::optional<std::string> DiskFiles::read(const fs::path& path) {
  std::string reason;
  return tools::read_source(path, reason);
}

std::optional<FileStamp> DiskFiles::stamp(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    return std::nullopt;
  }
  const auto ns = [](const timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
  };
  return FileStamp{st.st_dev, st.st_ino, st.st_size, ns(st.st_mtim),
                   ns(st.st_ctim)};
}

std::vector<std::string> DiskFiles::names_in(const fs::path& dir) {
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end;
       it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

DocumentName DocumentName::parse(const std::string& uri) {
  DocumentName n;
  const std::size_t slash = uri.rfind('/');
  n.directory_uri = slash == std::string::npos ? "" : uri.substr(0, slash);
  n.name = percent_decoded(slash == std::string::npos
                               ? std::string_view(uri)
                               : std::string_view(uri).substr(slash + 1));
  constexpr std::string_view kFile = "file://";
  if (uri.starts_with(kFile)) {
    std::string_view rest = std::string_view(uri).substr(kFile.size());
    const std::size_t path_start = rest.find('/');
    const std::string_view host = rest.substr(0, path_start);
    if (path_start != std::string_view::npos &&
        (host.empty() || host == "localhost")) {
      n.path = fs::path(percent_decoded(rest.substr(path_start)));
    }
  }
  return n;
}

std::string file_uri(const fs::path& path) {
  std::string uri = "file://";
  for (const fs::path& part : path.relative_path()) {
    uri += "/" + percent_encoded(part.string());
  }
  return uri;
}

std::string DocumentName::sibling_uri(const std::string& file_name) const {
  return directory_uri + "/" + percent_encoded(file_name);
}

std::string DocumentName::directory_key() const {
  if (path) return "file:" + path->parent_path().lexically_normal().string();
  return directory_uri;
}

void Workspace::open(const std::string& uri, std::int64_t version,
                     std::string text) {
  pending_ = true;
  too_large_.erase(uri);
  if (text.size() > tools::kLargestSource) {
    documents_.erase(uri);
    too_large_.insert(uri);
    return;
  }
  Document doc;
  doc.uri = uri;
  doc.name = DocumentName::parse(uri);
  doc.version = version;
  // The editor writes the text back as it read it: when the file on disk
  // holds this very text in one encoding, that is the editor's.
  FileEncoding encoding = default_encoding_;
  if (doc.name.path) {
    if (const auto disk = files_.read(*doc.name.path)) {
      const bool beyond_ascii = std::any_of(disk->begin(), disk->end(), [](char c) {
        return static_cast<unsigned char>(c) >= 0x80;
      });
      if (beyond_ascii && *disk == text) {
        encoding = FileEncoding::kUtf8;
      } else if (beyond_ascii &&
                 *disk == TextDocument(text, FileEncoding::kWindows1252)
                              .source_bytes()) {
        encoding = FileEncoding::kWindows1252;
      }
    }
  }
  doc.text = std::make_shared<TextDocument>(std::move(text), encoding);
  documents_[uri] = std::move(doc);
}

const Document* Workspace::find(const std::string& uri) const {
  const auto it = documents_.find(uri);
  return it == documents_.end() ? nullptr : &it->second;
}

void Workspace::edit(const std::string& uri, std::span<const TextEdit> edits,
                     std::optional<std::int64_t> version) {
  const auto it = documents_.find(uri);
  if (it == documents_.end()) return;
  Document& doc = it->second;
  pending_ = true;
  if (doc.text.use_count() > 1) {
    doc.text = std::make_shared<TextDocument>(*doc.text);
  }
  for (const TextEdit& e : edits) {
    if (e.range) {
      doc.text->replace(*e.range, e.text, units_);
    } else {
      doc.text->set_text(e.text);
    }
    if (doc.text->text().size() > tools::kLargestSource) {
      documents_.erase(it);
      too_large_.insert(uri);
      return;
    }
  }
  if (version) doc.version = *version;
}

void Workspace::close(const std::string& uri) {
  documents_.erase(uri);
  too_large_.erase(uri);
  pending_ = true;
}

const Document* Workspace::open_document(const DocumentName& name) const {
  const std::string key = name.directory_key();
  for (const auto& [uri, doc] : documents_) {
    if (doc.name.name == name.name && doc.name.directory_key() == key) {
      return &doc;
    }
  }
  return nullptr;
}

Workspace::PairKey Workspace::resolve(const Document& doc) {
  const std::string& name = doc.name.name;
  const std::string key = doc.name.directory_key();
  std::vector<std::string> on_disk;
  if (doc.name.path) on_disk = files_.names_in(doc.name.path->parent_path());
  const auto on_disk_has = [&](const std::string& n) {
    return std::binary_search(on_disk.begin(), on_disk.end(), n);
  };

  PairKey pair;
  if (tools::source_kind_of_name(name) == SourceKind::kLine) {
    pair.line_uri = doc.uri;
    const std::string line_name = tools::default_line_name(name);
    for (const auto& [uri, other] : documents_) {
      if (other.name.directory_key() == key &&
          tools::is_train_of(other.name.name, line_name)) {
        pair.train_uri = uri;
        return pair;
      }
    }
    for (const std::string& n : on_disk) {
      if (tools::is_train_of(n, line_name)) {
        pair.train_uri = doc.name.sibling_uri(n);
        return pair;
      }
    }
    return pair;
  }
  pair.train_uri = doc.uri;
  for (const std::string& line_name : tools::line_names_of_train(name)) {
    DocumentName line = doc.name;
    line.name = tools::line_source_name(line_name);
    if (line.path) line.path = line.path->parent_path() / line.name;
    if (const Document* open = open_document(line)) {
      pair.line_uri = open->uri;
      return pair;
    }
    if (on_disk_has(line.name)) {
      pair.line_uri = doc.name.sibling_uri(line.name);
      return pair;
    }
  }
  return pair;
}

PairSide Workspace::side_of(const std::string& uri) {
  PairSide side;
  if (uri.empty()) return side;
  const DocumentName name = DocumentName::parse(uri);
  side.file_name = name.name;
  if (const Document* doc = find(uri)) {
    side.uri = uri;
    side.open = true;
    side.version = doc->version;
    side.snapshot = doc->text;
    return side;
  }
  if (!name.path) return side;
  // The stamp is taken before the file is read: a file that changes in
  // between has a new stamp at the next check.
  side.stamp = files_.stamp(*name.path);
  if (side.stamp) {
    for (const auto& [key, pair] : pairs_) {
      for (const PairSide* known : {&pair->line, &pair->train}) {
        if (known->uri == uri && !known->open && known->stamp == side.stamp) {
          side.uri = uri;
          side.snapshot = known->snapshot;
          return side;
        }
      }
    }
  }
  if (auto bytes = files_.read(*name.path)) {
    side.uri = uri;
    side.snapshot = std::make_shared<const TextDocument>(
        TextDocument::from_disk(std::move(*bytes)));
  }
  return side;
}

std::shared_ptr<CheckedPair> Workspace::checked_pair(const PairKey& key,
                                                     const Document& doc) {
  auto pair = std::make_shared<CheckedPair>();
  pair->line = side_of(key.line_uri);
  pair->train = side_of(key.train_uri);
  pair->line_name = line_name_of(*pair, doc.name.name);
  pair->train_number = pair->train.uri.empty()
                           ? ""
                           : tools::default_train_number(
                                 pair->train.file_name, pair->line_name);

  const auto old = pairs_.find(key);
  if (old != pairs_.end() && old->second->line.uri == pair->line.uri &&
      old->second->train.uri == pair->train.uri &&
      same_text(old->second->line, pair->line) &&
      same_text(old->second->train, pair->train) &&
      old->second->line.version == pair->line.version &&
      old->second->train.version == pair->train.version) {
    return nullptr;
  }
  // The first compile answers at once; recovery past a fault that ends a
  // stage, which compiles again once per such fault, comes after.
  tools::CheckOptions options;
  options.recover = false;
  pair->check =
      checked(pair->bytes(SourceKind::kLine), pair->bytes(SourceKind::kTrain),
              pair->line_name, pair->train_number, options);
  pair->complete = !pair->check.recovery_left;
  return pair;
}

std::vector<Publication> Workspace::publish() {
  pending_ = false;
  std::map<PairKey, std::shared_ptr<CheckedPair>> next;
  std::set<PairKey> fresh;
  // The pair whose diagnostics each file shows: an open document its own,
  // a partner on disk the first pair it belongs to.
  std::map<std::string, PairKey> owner;
  std::vector<std::string> unnamed;

  pair_of_document_.clear();
  for (const auto& [uri, doc] : documents_) {
    if (tools::source_kind_of_name(doc.name.name) == SourceKind::kNone) {
      unnamed.push_back(uri);
      continue;
    }
    const PairKey key = resolve(doc);
    pair_of_document_[uri] = key;
    owner[uri] = key;
    if (next.count(key)) continue;
    std::shared_ptr<CheckedPair> pair = checked_pair(key, doc);
    if (pair != nullptr) {
      fresh.insert(key);
    } else {
      pair = pairs_.at(key);
    }
    next[key] = std::move(pair);
  }
  for (const auto& [key, pair] : next) {
    for (const std::string* uri : {&pair->line.uri, &pair->train.uri}) {
      if (!uri->empty() && too_large_.count(*uri) == 0)
        owner.emplace(*uri, key);
    }
  }

  std::vector<Publication> out;
  const auto publication = [&](const std::string& uri, json diagnostics) {
    out.push_back(publication_of(uri, std::move(diagnostics)));
  };
  for (const auto& [uri, key] : owner) {
    const auto last = last_owner_.find(uri);
    if (fresh.count(key) == 0 && last != last_owner_.end() &&
        last->second == key) {
      continue;
    }
    const CheckedPair& pair = *next.at(key);
    publication(uri, diagnostics_for(pair, kind_in(pair, uri)));
  }
  // Files that are not checked say why, once.
  std::map<std::string, PairKey> now = owner;
  const auto not_checked = [&](const std::string& uri, const Range& range,
                               int severity, const std::string& code,
                               const std::string& message) {
    now[uri] = PairKey{uri, uri};
    if (last_owner_.count(uri)) return;
    publication(uri, json::array({protocol::diagnostic(range, severity, code, message)}));
  };
  for (const std::string& uri : unnamed) {
    not_checked(uri, {{0, 0}, find(uri)->text->line_end(1, units_)}, 3,
                "not-a-source-name",
                "scenarioc pairs sources by their names: a line source is "
                "NAME" +
                    std::string(file_ending::kLineSource) +
                    ", a train source NAME_NUMBER" +
                    std::string(file_ending::kTrainSource) +
                    "; this file is neither and is not checked");
  }
  for (const std::string& uri : too_large_) {
    not_checked(uri, {{0, 0}, {0, 0}}, 1, "source-too-large",
                "this file has grown past " +
                    std::to_string(tools::kLargestSource >> 20) +
                    " MiB, the largest a source may be: it is no longer "
                    "followed or checked; close it and open it again once "
                    "it is smaller");
  }
  for (const auto& [uri, key] : last_owner_) {
    if (now.count(uri) == 0) publication(uri, json::array());
  }
  last_owner_ = std::move(now);
  pairs_ = std::move(next);
  return out;
}

json Workspace::diagnostics_for(const CheckedPair& pair,
                                SourceKind kind) const {
  const PairSide& side = pair.side(kind);
  const PairSide& other = pair.side(kind == SourceKind::kLine
                                        ? SourceKind::kTrain
                                        : SourceKind::kLine);
  json list = json::array();
  if (other.uri.empty()) {
    const std::string message =
        kind == SourceKind::kLine
            ? "no train source " + pair.line_name + "_NUMBER" +
                  std::string(file_ending::kTrainSource) +
                  " beside this line source: the line is checked alone"
            : "no line source " + tools::line_source_name(pair.line_name) +
                  " beside this train source: it is checked against a "
                  "stand-in line of " +
                  std::to_string(kLongestLine) +
                  " m, so nothing that depends on the line is reported";
    list.push_back(protocol::diagnostic({{0, 0}, side.text().line_end(1, units_)}, 2,
                              kind == SourceKind::kLine ? "missing-train-source"
                                                        : "missing-line-source",
                              message));
  }
  for (const tools::AuthorDiagnostic& f : pair.check.diagnostics) {
    // Findings of the build as a whole stand at the top of the line source.
    const SourceKind source =
        f.source == SourceKind::kNone ? SourceKind::kLine : f.source;
    if (source != kind) continue;
    json d = protocol::diagnostic(
        field_range(side.text(), f.line, f.column, f.end_column, units_),
        protocol::severity(f.severity), f.check, f.message);
    json related = json::array();
    for (const tools::DiagnosticNote& note : f.notes) {
      const PairSide& at =
          pair.side(note.source == SourceKind::kNone ? kind : note.source);
      // A note without a place of its own stands at its diagnostic's.
      const bool placed = note.line > 0 && !at.uri.empty();
      related.push_back(
          {{"location",
            {{"uri", placed ? at.uri : side.uri},
             {"range",
              placed ? protocol::range(field_range(at.text(), note.line, note.column,
                                              note.end_column, units_))
                     : d["range"]}}},
           {"message", note.message}});
    }
    if (!related.empty()) d["relatedInformation"] = std::move(related);
    list.push_back(std::move(d));
  }
  return list;
}

Publication Workspace::publication_of(const std::string& uri,
                                      json diagnostics) {
  Publication p{{"uri", uri}, {"diagnostics", std::move(diagnostics)}};
  if (const Document* doc = find(uri)) p["version"] = doc->version;
  return p;
}

std::optional<RecoveryJob> Workspace::recovery_job() {
  for (const auto& [key, pair] : pairs_) {
    if (pair->complete || pair->recovering) continue;
    pair->recovering = true;
    return RecoveryJob{pair};
  }
  return std::nullopt;
}

bool Workspace::stale(const RecoveryJob& job) const {
  const bool current =
      std::any_of(pairs_.begin(), pairs_.end(),
                  [&](const auto& p) { return p.second == job.pair; });
  if (!current) return true;
  for (const PairSide* side : {&job.pair->line, &job.pair->train}) {
    if (!side->open) continue;
    const Document* doc = find(side->uri);
    if (doc == nullptr || doc->version != side->version ||
        doc->text != side->snapshot) {
      return true;
    }
  }
  return false;
}

std::vector<Publication> Workspace::recovered(
    const RecoveryJob& job, std::optional<tools::CheckResult> check) {
  std::vector<Publication> out;
  const auto it =
      std::find_if(pairs_.begin(), pairs_.end(),
                   [&](const auto& p) { return p.second == job.pair; });
  if (it == pairs_.end()) return out;  // checked anew since
  const PairKey& key = it->first;
  CheckedPair& pair = *it->second;
  pair.complete = true;
  // What the first compile found stands when the check failed; a source
  // edited since the job began gets its check when it is published, and
  // until then keeps what it shows.
  if (!check || stale(job)) return out;
  std::map<std::string, json> before;
  for (const auto& [uri, owner] : last_owner_) {
    if (owner == key) before[uri] = diagnostics_for(pair, kind_in(pair, uri));
  }
  pair.check = std::move(*check);
  for (auto& [uri, shown] : before) {
    json now = diagnostics_for(pair, kind_in(pair, uri));
    if (now != shown) out.push_back(publication_of(uri, std::move(now)));
  }
  return out;
}

const CheckedPair* Workspace::pair_of(const std::string& uri) const {
  const auto key = pair_of_document_.find(uri);
  if (key == pair_of_document_.end()) return nullptr;
  const auto pair = pairs_.find(key->second);
  return pair == pairs_.end() ? nullptr : pair->second.get();
}

}  // namespace scenc::lsp
