#include "tools/check/diagnostic_output.h"

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "model/cp1252.h"

namespace scenc::tools {
namespace {

using Json = nlohmann::ordered_json;

// Finds the lines of a source by number. It scans forward from the nearest
// line it has met, keeping the start of every 64th line, so diagnostics in
// source order cost one pass over the text, and a note that points back
// costs at most 64 lines: printing stays linear however many there are.
class LineFinder {
 public:
  explicit LineFinder(std::string_view text) : text_(text) {}

  // The bytes of a 1-based line, without its line end.
  std::string_view line(std::int64_t n) {
    if (n < 1) return {};
    const auto block = static_cast<std::size_t>((n - 1) / kEvery);
    const std::size_t known = std::min(block, starts_.size() - 1);
    const auto known_line = static_cast<std::int64_t>(known * kEvery) + 1;
    if (n < line_ || line_ < known_line) {
      line_ = known_line;
      at_ = starts_[known];
    }
    while (line_ < n) {
      const std::size_t end = text_.find_first_of("\r\n", at_);
      if (end == std::string_view::npos) return {};
      at_ = end + ((text_[end] == '\r' && end + 1 < text_.size() &&
                    text_[end + 1] == '\n')
                       ? 2
                       : 1);
      ++line_;
      if ((line_ - 1) % static_cast<std::int64_t>(kEvery) == 0 &&
          static_cast<std::size_t>((line_ - 1) / kEvery) == starts_.size()) {
        starts_.push_back(at_);
      }
    }
    if (at_ > text_.size()) return {};
    const std::size_t end = text_.find_first_of("\r\n", at_);
    return text_.substr(at_, end == std::string_view::npos
                                 ? std::string_view::npos
                                 : end - at_);
  }

 private:
  static constexpr std::size_t kEvery = 64;
  std::string_view text_;
  std::vector<std::size_t> starts_{0};  // of lines 1, 65, 129, ...
  std::int64_t line_ = 1;               // the line last found, at `at_`
  std::size_t at_ = 0;
};

// A line finder for each of the two sources.
struct SourceLines {
  explicit SourceLines(const CheckedFiles& files)
      : line(files.line_text), train(files.train_text) {}
  LineFinder line;
  LineFinder train;
  LineFinder& of(SourceKind s) { return s == SourceKind::kTrain ? train : line; }
};

// How many characters the first `bytes` bytes of a line show as.
std::int64_t characters_in(std::string_view line, std::int64_t bytes) {
  const std::string_view prefix = line.substr(
      0, std::min<std::size_t>(
             line.size(),
             static_cast<std::size_t>(std::max<std::int64_t>(bytes, 0))));
  if (!holds_utf8(line)) return static_cast<std::int64_t>(prefix.size());
  std::int64_t n = 0;
  for (const char c : prefix) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

// A byte column of a line as a column of characters, 1-based; bytes past
// the end of the line count one each.
std::int64_t character_column(std::string_view line, std::int64_t column) {
  if (column <= 0) return column;
  const auto size = static_cast<std::int64_t>(line.size());
  const std::int64_t inside = std::min(column - 1, size);
  return characters_in(line, inside) + (column - 1 - inside) + 1;
}

struct Colours {
  bool on = false;
  std::string bold() const { return on ? "\033[1m" : ""; }
  std::string reset() const { return on ? "\033[0m" : ""; }
  std::string of(Severity s) const {
    if (!on) return "";
    switch (s) {
      case Severity::kError:
        return "\033[1;31m";
      case Severity::kWarning:
        return "\033[1;35m";
      case Severity::kNote:
        return "\033[1;36m";
    }
    return "";
  }
  std::string caret() const { return on ? "\033[1;32m" : ""; }
};

// A line of a source, or its first bytes, as shown: UTF-8 when the whole
// line is, else Windows-1252; a tab as one blank, so that the caret below
// it stays in place.
std::string shown_line(std::string_view bytes, bool utf8) {
  std::string line = utf8 ? std::string(bytes) : cp1252_to_utf8(bytes);
  std::replace(line.begin(), line.end(), '\t', ' ');
  return terminal_text(line);
}

// A byte column of a line as the column it is shown at, 1-based: escaped
// control bytes take their escape's width; bytes past the end of the line
// count one each.
std::int64_t shown_column(std::string_view line, std::int64_t column) {
  if (column <= 0) return column;
  const auto size = static_cast<std::int64_t>(line.size());
  const std::int64_t inside = std::min(column - 1, size);
  const std::string shown = shown_line(
      line.substr(0, static_cast<std::size_t>(inside)), holds_utf8(line));
  const auto characters = std::count_if(shown.begin(), shown.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
  });
  return characters + (column - 1 - inside) + 1;
}

// "FILE:LINE:COLUMN: " or "FILE: " for a diagnostic without a line.
std::string where(const std::string& file, std::int64_t line,
                  std::int64_t column) {
  std::string s = terminal_text(file);
  if (line > 0) {
    s += ':';
    s += std::to_string(line);
    if (column > 0) {
      s += ':';
      s += std::to_string(column);
    }
  }
  return s + ": ";
}

// The most characters of a source line an excerpt shows: a longer line is
// shown around the field, cut where "..." stands.
constexpr std::int64_t kExcerptWidth = 120;

// Of a line shown as `text`, the characters from `first` (1-based) on, at
// most `count` of them.
std::string characters_of(const std::string& text, std::int64_t first,
                          std::int64_t count) {
  std::string out;
  std::int64_t n = 0;
  for (const char ch : text) {
    const bool starts = (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
    if (starts) ++n;
    if (n >= first && n < first + count) out.push_back(ch);
  }
  return out;
}

// The source line and a caret under the field, ~ under the rest of it.
void print_excerpt(std::ostream& out, LineFinder& lines, std::int64_t line,
                   std::int64_t column, std::int64_t end_column,
                   const Colours& c) {
  if (line <= 0) return;
  const std::string_view bytes = lines.line(line);
  const std::string number = std::to_string(line);
  const std::string gutter(std::max<std::size_t>(number.size(), 4), ' ');
  std::string shown = shown_line(bytes, holds_utf8(bytes));
  std::int64_t from = 0;
  std::int64_t to = 0;
  if (column > 0) {
    from = shown_column(bytes, column);
    to = std::max(from + 1,
                  shown_column(bytes, std::max(end_column, column + 1)));
  }
  const std::int64_t width = std::count_if(shown.begin(), shown.end(), [](char ch) {
    return (static_cast<unsigned char>(ch) & 0xC0) != 0x80;
  });
  if (width > kExcerptWidth) {
    // Around the field: a third of the width before it.
    to = std::min(to, from + kExcerptWidth - 8);
    const std::int64_t first = std::clamp<std::int64_t>(
        from - kExcerptWidth / 3, 1, std::max<std::int64_t>(1, width - kExcerptWidth + 1));
    const std::string before = first > 1 ? "..." : "";
    const std::string after = first + kExcerptWidth <= width ? "..." : "";
    shown = before + characters_of(shown, first, kExcerptWidth) + after;
    if (column > 0) {
      const std::int64_t shift = first - 1 - static_cast<std::int64_t>(before.size());
      from -= shift;
      to -= shift;
    }
  }
  out << std::string(gutter.size() - number.size(), ' ') << number << " | "
      << shown << '\n';
  if (column <= 0) return;
  out << gutter << " | " << std::string(static_cast<std::size_t>(from - 1), ' ')
      << c.caret() << '^'
      << std::string(static_cast<std::size_t>(to - from - 1), '~') << c.reset()
      << '\n';
}

Json or_null(std::int32_t v) { return v > 0 ? Json(v) : Json(nullptr); }

// A path as a relative URI reference: unreserved bytes and "/" as they are,
// every other byte percent-encoded.
std::string uri_of(std::string_view path) {
  std::string uri;
  for (const char ch : path) {
    const auto b = static_cast<unsigned char>(ch);
    if ((b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
        (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' ||
        b == '~' || b == '/') {
      uri.push_back(ch);
    } else {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", b);
      uri += hex;
    }
  }
  return uri;
}

// The base that relative paths stand on: the working directory.
constexpr const char* kSourceRoot = "%SRCROOT%";

// Where a source lies: an absolute path as a file URI, a relative one as a
// reference from the working directory.
Json artifact_location(const std::string& path) {
  if (path.starts_with('/')) return {{"uri", "file://" + uri_of(path)}};
  return {{"uri", uri_of(path)}, {"uriBaseId", kSourceRoot}};
}

Json physical_location(const CheckedFiles& files, SourceLines& lines,
                       SourceKind source, std::int64_t line,
                       std::int64_t column, std::int64_t end_column) {
  Json location{{"artifactLocation", artifact_location(files.file_of(source))}};
  if (line > 0) {
    Json region{{"startLine", line}};
    if (column > 0) {
      const std::string_view bytes = lines.of(source).line(line);
      const std::int64_t from = character_column(bytes, column);
      region["startColumn"] = from;
      region["endColumn"] = std::max(
          from + 1, character_column(bytes, std::max(end_column, column + 1)));
    }
    location["region"] = std::move(region);
  }
  return location;
}

// The embeddings, overrides and isolates that reorder the text around them:
// a name holding one could show its row, or the line after it, backwards.
bool is_bidirectional_control(char32_t cp) {
  return (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069);
}

}  // namespace

std::string terminal_text(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  char escape[16];
  for (std::size_t i = 0; i < text.size();) {
    const Utf8Character c = decode_utf8(text.substr(i));
    const char32_t cp = c.code_point;
    if (c.size == 0) {
      std::snprintf(escape, sizeof escape, "\\x%02x",
                    static_cast<unsigned char>(text[i]));
      out += escape;
      ++i;
      continue;
    }
    if (cp == '\t') {
      out += "\\t";
    } else if (cp == '\n') {
      out += "\\n";
    } else if (cp == '\r') {
      out += "\\r";
    } else if (cp < 0x20 || cp == 0x7F) {
      std::snprintf(escape, sizeof escape, "\\x%02x",
                    static_cast<unsigned>(cp));
      out += escape;
    } else if ((cp >= 0x80 && cp < 0xA0) || is_bidirectional_control(cp)) {
      std::snprintf(escape, sizeof escape, "\\u%04x",
                    static_cast<unsigned>(cp));
      out += escape;
    } else {
      out.append(text.substr(i, c.size));
    }
    i += c.size;
  }
  return out;
}

void print_diagnostics(std::ostream& to, const CheckResult& result,
                       const CheckedFiles& files, bool colour) {
  const Colours c{colour};
  SourceLines lines(files);
  // Standard error writes each insertion at once; thousands of diagnostics
  // go out in blocks instead.
  std::ostringstream out;
  const auto hand_over = [&] {
    to << out.view();
    out.str({});
  };
  for (const AuthorDiagnostic& d : result.diagnostics) {
    if (out.tellp() > std::streamoff{1} << 16) hand_over();
    const std::string& file = d.source == SourceKind::kNone
                                  ? files.line_file
                                  : files.file_of(d.source);
    out << c.bold() << where(file, d.line, d.column) << c.reset()
        << c.of(d.severity) << severity_name(d.severity) << ':' << c.reset()
        << ' ' << c.bold() << terminal_text(d.message) << c.reset() << " ["
        << d.check << "]\n";
    print_excerpt(out, lines.of(d.source), d.line, d.column, d.end_column, c);
    for (const DiagnosticNote& n : d.notes) {
      out << c.bold() << where(files.file_of(n.source), n.line, n.column)
          << c.reset() << c.of(Severity::kNote) << "note:" << c.reset() << ' '
          << terminal_text(n.message) << '\n';
      print_excerpt(out, lines.of(n.source), n.line, n.column, n.end_column,
                    c);
    }
  }
  if (result.truncated) {
    out << "scenarioc: too many errors; stopped after the first "
        << result.errors() << " (--max-errors 0 shows them all)\n";
  }
  const int errors = result.errors();
  const int warnings = result.warnings();
  if (errors + warnings > 0) {
    std::string summary;
    if (warnings > 0) {
      summary =
          std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
    }
    if (errors > 0) {
      if (!summary.empty()) summary += " and ";
      summary += std::to_string(errors) + (errors == 1 ? " error" : " errors");
    }
    out << summary << ".\n";
  }
  hand_over();
}

Json diagnostics_json(const CheckResult& result, const CheckedFiles& files) {
  Json list = Json::array();
  for (const AuthorDiagnostic& d : result.diagnostics) {
    Json notes = Json::array();
    for (const DiagnosticNote& n : d.notes) {
      notes.push_back({{"message", n.message},
                       {"file", files.file_of(n.source)},
                       {"line", or_null(n.line)},
                       {"column", or_null(n.column)},
                       {"end_column", or_null(n.end_column)}});
    }
    list.push_back(
        {{"code", d.code ? Json(*d.code) : Json(nullptr)},
         {"position", d.position ? Json(*d.position) : Json(nullptr)},
         {"file", d.source == SourceKind::kNone ? files.line_file
                                                : files.file_of(d.source)},
         {"line", or_null(d.line)},
         {"column", or_null(d.column)},
         {"message", d.message},
         {"severity", severity_name(d.severity)},
         {"check", d.check},
         {"end_column", or_null(d.end_column)},
         {"after_recovery", d.after_recovery},
         {"notes", std::move(notes)}});
  }
  return list;
}

Json sarif_log(const CheckResult& result, const CheckedFiles& files,
               std::string_view tool_version,
               const std::string& working_directory) {
  Json rules = Json::array();
  std::vector<std::string> ids;
  for (const FaultInfo& f : kFaults) {
    ids.push_back(fault_check_name(f.code));
    rules.push_back({{"id", ids.back()},
                     {"name", f.name},
                     {"shortDescription", {{"text", f.message}}},
                     {"fullDescription",
                      {{"text", std::string(f.message) + "; points at " +
                                    std::string(f.points_at)}}},
                     {"defaultConfiguration", {{"level", "error"}}},
                     {"properties", {{"faultNumber", f.code}}}});
  }
  for (const WarningInfo& w : kWarnings) {
    ids.push_back(std::string(w.name));
    rules.push_back({{"id", ids.back()},
                     {"name", w.name},
                     {"shortDescription", {{"text", w.description}}},
                     {"help", {{"text", "Fix: " + std::string(w.fix)}}},
                     {"defaultConfiguration",
                      {{"enabled", w.on_by_default}, {"level", "warning"}}}});
  }

  SourceLines lines(files);
  Json results = Json::array();
  for (const AuthorDiagnostic& d : result.diagnostics) {
    Json r{{"ruleId", d.check}};
    const auto at = std::find(ids.begin(), ids.end(), d.check);
    if (at != ids.end()) r["ruleIndex"] = at - ids.begin();
    r["level"] = severity_name(d.severity);
    r["message"] = {{"text", d.message}};
    const SourceKind source =
        d.source == SourceKind::kNone ? SourceKind::kLine : d.source;
    r["locations"] = Json::array(
        {{{"physicalLocation",
           physical_location(files, lines, source, d.line, d.column,
                             d.end_column)}}});
    if (!d.notes.empty()) {
      Json related = Json::array();
      int id = 1;
      for (const DiagnosticNote& n : d.notes) {
        related.push_back(
            {{"id", id++},
             {"physicalLocation",
              physical_location(files, lines, n.source, n.line, n.column,
                                n.end_column)},
             {"message", {{"text", n.message}}}});
      }
      r["relatedLocations"] = std::move(related);
    }
    Json properties = Json::object();
    if (d.code) properties["faultNumber"] = *d.code;
    if (d.position) properties["position"] = *d.position;
    if (d.after_recovery) properties["afterRecovery"] = true;
    if (!properties.empty()) r["properties"] = std::move(properties);
    results.push_back(std::move(r));
  }

  // The run itself: it ran to its end whatever it found, in the directory
  // the relative paths start from.
  const Json directory = {
      {"uri", "file://" + uri_of(working_directory.ends_with('/')
                                     ? working_directory
                                     : working_directory + "/")}};
  Json invocation{{"executionSuccessful", true},
                  {"workingDirectory", directory}};
  if (result.truncated) {
    invocation["toolExecutionNotifications"] =
        Json::array({{{"level", "note"},
                      {"message",
                       {{"text", "too many errors; stopped after the first " +
                                     std::to_string(result.errors())}}}}});
  }
  Json run{{"tool",
            {{"driver",
              {{"name", "scenarioc"},
               {"version", tool_version},
               {"rules", std::move(rules)}}}}},
           {"invocations", Json::array({std::move(invocation)})},
           {"originalUriBaseIds", {{kSourceRoot, directory}}},
           {"columnKind", "unicodeCodePoints"},
           {"results", std::move(results)}};
  return Json{{"$schema", "https://json.schemastore.org/sarif-2.1.0.json"},
              {"version", "2.1.0"},
              {"runs", Json::array({std::move(run)})}};
}

}  // namespace scenc::tools
