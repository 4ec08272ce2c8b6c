// The fmt subcommand: each source formatted against its partner beside it
// (a stand-in where there is none), written back in place under a
// temporary name, or shown as a diff with --check.
#include "tools/fmt_command.h"

#include <filesystem>
#include <iostream>
#include <optional>
#include <vector>
#include <memory>

#include "model/cp1252.h"
#include "output/file_system.h"
#include "scenario/exit_status.h"
#include "tools/check/stand_ins.h"
#include "tools/commands.h"
#include "tools/format/format.h"
#include "tools/decode/scenario_set.h"
#include "tools/decode/source_names.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;

struct Source {
  std::string name;  // as given
  std::string bytes;
  SourceKind kind = SourceKind::kNone;
  std::string partner;  // the other source's bytes
  std::string line_name = "LINE";
  std::string train_number = "0";
};

std::string read_or_fail(const fs::path& path) {
  std::string reason;
  std::optional<std::string> bytes = tools::read_source(path, reason);
  if (!bytes) {
    throw ToolError{exit_status::kFileFailed, path.string() + ": " + reason};
  }
  return std::move(*bytes);
}

// A source whose name does not tell: a line source holds its length row.
SourceKind kind_of(const std::string& word, const std::string& file_name,
                   std::string_view bytes) {
  if (word == "line") return SourceKind::kLine;
  if (word == "train") return SourceKind::kTrain;
  const SourceKind by_name = source_kind_of_name(file_name);
  if (by_name != SourceKind::kNone) return by_name;
  const std::string lower = cp1252_lower(bytes);
  return lower.find("lunghezza") != std::string::npos &&
                 lower.find("percorso") != std::string::npos
             ? SourceKind::kLine
             : SourceKind::kTrain;
}

// The partner beside a source on disk, by the file-naming rule; the
// stand-in where none is found.
void find_partner(Source& s, const fs::path& path) {
  const fs::path dir = path.has_parent_path() ? path.parent_path() : ".";
  std::error_code ec;
  if (s.kind == SourceKind::kLine) {
    s.line_name = default_line_name(path);
    s.partner = std::string(kStandInTrain);
    std::vector<fs::path> trains;
    for (const auto& e : fs::directory_iterator(dir, ec)) {
      if (is_train_of(e.path().filename().string(), s.line_name)) {
        trains.push_back(e.path());
      }
    }
    if (trains.empty()) return;
    std::sort(trains.begin(), trains.end());
    s.partner = read_or_fail(trains.front());
    s.train_number = default_train_number(trains.front(), s.line_name);
    return;
  }
  s.partner = std::string(kStandInLine);
  for (const std::string& line :
       line_names_of_train(path.filename().string())) {
    const fs::path candidate = dir / line_source_name(line);
    if (fs::exists(candidate, ec)) {
      s.partner = read_or_fail(candidate);
      s.line_name = line;
      break;
    }
  }
  s.train_number = default_train_number(path, s.line_name);
}

Source source_of(const std::string& name, const std::string& kind,
                 std::istream& in) {
  Source s;
  s.name = name;
  if (name == "-") {
    // No more than the largest source, as from a file.
    std::vector<char> chunk(1 << 16);
    while (in.read(chunk.data(), static_cast<std::streamsize>(chunk.size())) ||
           in.gcount() > 0) {
      s.bytes.append(chunk.data(), static_cast<std::size_t>(in.gcount()));
      if (s.bytes.size() > kLargestSource) {
        throw ToolError{exit_status::kFileFailed,
                        "standard input: larger than " +
                            std::to_string(kLargestSource >> 20) +
                            " MiB, the largest a source may be"};
      }
    }
    s.kind = kind_of(kind, "", s.bytes);
    s.partner = std::string(s.kind == SourceKind::kLine ? kStandInTrain
                                                        : kStandInLine);
    return s;
  }
  const fs::path path(name);
  s.bytes = read_or_fail(path);
  s.kind = kind_of(kind, path.filename().string(), s.bytes);
  find_partner(s, path);
  return s;
}

// A text for the terminal: UTF-8 as it stands, Windows-1252 converted.
std::string shown(std::string_view bytes) {
  return holds_utf8(bytes) ? std::string(bytes) : cp1252_to_utf8(bytes);
}

// The lines of `text`, without their line ends.
std::vector<std::string_view> lines_of(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t at = 0;
  while (true) {
    const std::size_t end = text.find_first_of("\r\n", at);
    lines.push_back(text.substr(at, end == std::string_view::npos ? end : end - at));
    if (end == std::string_view::npos) return lines;
    at = end + ((text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') ? 2 : 1);
  }
}

// A unified diff without context: edits on lines next to each other make
// one hunk.
void print_diff(const Source& s, const std::vector<SourceEdit>& edits,
                std::ostream& out) {
  out << "--- " << s.name << "\n+++ " << s.name << " (formatted)\n";
  const std::string_view bytes = s.bytes;
  std::int64_t shift = 0;
  for (std::size_t i = 0; i < edits.size();) {
    std::size_t j = i + 1;
    while (j < edits.size() &&
           lines_of(bytes.substr(edits[j - 1].end,
                                 edits[j].begin - edits[j - 1].end))
                   .size() == 2 &&
           edits[j].begin - edits[j - 1].end <= 2) {
      ++j;
    }
    std::vector<std::string_view> old_lines;
    std::vector<std::string_view> new_lines;
    for (std::size_t k = i; k < j; ++k) {
      for (const auto l : lines_of(bytes.substr(edits[k].begin,
                                                edits[k].end - edits[k].begin))) {
        old_lines.push_back(l);
      }
      for (const auto l : lines_of(edits[k].text)) new_lines.push_back(l);
    }
    const auto first = static_cast<std::int64_t>(
        lines_of(bytes.substr(0, edits[i].begin)).size());
    const auto old_count = static_cast<std::int64_t>(old_lines.size());
    const auto new_count = static_cast<std::int64_t>(new_lines.size());
    out << "@@ -" << first << "," << old_count << " +" << first + shift << ","
        << new_count << " @@\n";
    for (const auto l : old_lines) out << "-" << shown(l) << "\n";
    for (const auto l : new_lines) out << "+" << shown(l) << "\n";
    shift += new_count - old_count;
    i = j;
  }
}

// Formats one source; returns whether it was formatted already.
bool format_one(const Source& s, bool check, std::ostream& out,
                std::ostream& err) {
  const bool line = s.kind == SourceKind::kLine;
  const FormatResult r =
      format_sources(line ? s.bytes : s.partner, line ? s.partner : s.bytes,
                     s.line_name, s.train_number);
  const FormattedSource& f = r.of(s.kind);
  for (const LeftAsItStands& l : f.left) {
    err << s.name << ":";
    if (l.line > 0) err << l.line << ":";
    err << " left as it stands: " << l.reason << "\n";
  }
  if (check) {
    if (!f.already_formatted()) print_diff(s, f.edits, out);
  } else if (s.name == "-") {
    out << apply_edits(s.bytes, f.edits);
  } else if (!f.already_formatted()) {
    const fs::path path(s.name);
    DiskDirectory dir(path.has_parent_path() ? path.parent_path() : ".");
    const std::string after = apply_edits(s.bytes, f.edits);
    dir.write(path.filename().string(),
              [&](ByteWriter& w) { w.bytes(after); });
  }
  return f.already_formatted();
}

}  // namespace

int run_fmt(const FmtRequest& request, std::istream& in, std::ostream& out,
            std::ostream& err) {
  bool all_formatted = true;
  for (const std::string& name : request.files) {
    try {
      const Source s = source_of(name, request.kind, in);
      all_formatted = format_one(s, request.check, out, err) && all_formatted;
    } catch (const ToolError& e) {
      err << "scenarioc fmt: " << e.message << "\n";
      return e.status;
    } catch (const FileError& e) {
      err << "scenarioc fmt: " << e.file << ": " << e.reason << "\n";
      return exit_status::kFileFailed;
    }
  }
  return request.check && !all_formatted ? 1 : exit_status::kClean;
}

void register_fmt_command(CLI::App& app, int& status) {
  auto o = std::make_shared<FmtRequest>();
  CLI::App* fmt = app.add_subcommand(
      "fmt",
      "Lay sources out as the embedded sources are, without changing what the "
      "compiler reads");
  fmt->add_option("FILE", o->files,
                  "line or train sources, formatted in place; - reads "
                  "standard input and writes standard output")
      ->required();
  fmt->add_flag("--check", o->check,
                "change nothing: print the diff of each source not formatted "
                "and exit 1 if there is one");
  fmt->add_option("--kind", o->kind,
                  "which source a file is when its name does not tell")
      ->check(CLI::IsMember({"line", "train"}));
  fmt->footer(
      "Examples:\n"
      "  scenarioc fmt mywork/Firenze_Pisa_linea.txt mywork/Firenze_Pisa_11711-.txt\n"
      "  scenarioc fmt --check mywork/*.txt\n"
      "  scenarioc fmt --kind train - < mine.txt\n"
      "Exit status: 0 formatted (or already so); 1 with --check, a source is "
      "not formatted; 3 a file could not be read or written; 64 usage "
      "error.\n");
  fmt->callback([o, &status] {
    status = run_fmt(*o, std::cin, std::cout, std::cerr);
  });
}

}  // namespace scenc::tools
