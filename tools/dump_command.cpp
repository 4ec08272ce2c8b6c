#include "tools/dump_command.h"

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>

#include "model/cp1252.h"
#include "tools/check/diagnostic_output.h"
#include "tools/commands.h"
#include "tools/decode/describe.h"
#include "tools/decode/scenario_set.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// Paths and names may hold bytes that are not UTF-8; JSON replaces them
// rather than failing.
std::string dump_json(const json& j) {
  return j.dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string format(const char* pattern, auto... values) {
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, pattern, values...);
  return buffer;
}

std::string trimmed(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

// Streams `{"file": ..., <head>, "<array>": [rows...]}` one row at a time,
// so that even the geometry of the longest line never sits in memory as
// JSON objects.
class JsonRows {
 public:
  JsonRows(std::ostream& out, const json& head, const std::string& array)
      : out_(out) {
    std::string h = dump_json(head);
    h.pop_back();  // the closing brace; rows follow inside the object
    out_ << h << (head.empty() ? "" : ",") << dump_json(array) << ":[";
  }
  void row(const json& j) {
    out_ << (first_ ? "\n" : ",\n") << dump_json(j);
    first_ = false;
  }
  ~JsonRows() { out_ << "\n]}\n"; }

 private:
  std::ostream& out_;
  bool first_ = true;
};

json length_json(std::optional<std::int64_t> length) {
  return length ? json(*length) : json(nullptr);
}

// The line length for a cell or geometry file, from the slot file beside it.
std::optional<std::int64_t> length_beside(const fs::path& file, FileKind kind,
                                          std::optional<SlotFileBeside>& beside,
                                          std::ostream& err) {
  beside = slot_file_beside(file, kind);
  if (!beside) {
    err << terminal_text("scenarioc dump: note: no slot file beside " +
                         file.string() +
                         " gives the line length; a file cut between two "
                         "records would not be seen")
        << "\n";
    return std::nullopt;
  }
  return line_length_of(beside->slots);
}

void check(const std::optional<DecodeError>& e, const fs::path& file,
           const std::optional<SlotFileBeside>& beside) {
  if (!e) return;
  std::string message = file.string() + ": " + e->message;
  if (beside) message += " (line length from " + beside->path.string() + ")";
  throw ToolError{exit_status::kMalformedFile, message};
}

void dump_cells(const DumpRequest& req, const std::string& bytes,
                std::ostream& out, std::ostream& err) {
  std::optional<SlotFileBeside> beside;
  const auto length = length_beside(req.file, FileKind::kCells, beside, err);
  std::vector<TrackCell> cells;
  check(read_cell_file(bytes, cells, length), req.file, beside);
  const SlotTable* slots = beside ? &beside->slots : nullptr;
  const auto count = static_cast<std::int64_t>(cells.size());

  if (req.json) {
    JsonRows rows(out,
                  {{"file", "cells"},
                   {"path", req.file.string()},
                   {"line_length", length_json(length)},
                   {"cell_count", count}},
                  "cells");
    for (std::int64_t i = 0; i < count; ++i) {
      const TrackCell& c = cells[static_cast<std::size_t>(i)];
      if (!req.all && is_empty(c)) continue;
      rows.row({{"index", i},
                {"kind", c.kind},
                {"value1", c.value1},
                {"value2", c.value2},
                {"value3", c.value3},
                {"value4", c.value4},
                {"signal_time", c.signal_time},
                {"approach", c.approach},
                {"mountain", c.mountain},
                {"speed_limit", c.speed_limit},
                {"gradient", c.gradient},
                {"adhesion", c.adhesion},
                {"kind_name", cell_kind_name(c.kind)},
                {"position_m", cell_position(i)},
                {"gradient_per_mille", gradient_per_mille(c)},
                {"speed_limit_kmh", speed_limit_kmh(c)},
                {"details", details_json(describe_cell(i, c, slots))}});
    }
    return;
  }
  out << "cells of " << terminal_text(req.file.string()) << ": " << count
      << " cells (0 to " << count - 1 << ")";
  if (length) out << ", line of " << *length << " m";
  out << "\n  cell     at m  grad\u2030  km/h  adh  mtn  appr  kind            "
         "     "
         "values\n";
  for (std::int64_t i = 0; i < count; ++i) {
    const TrackCell& c = cells[static_cast<std::size_t>(i)];
    if (!req.all && is_empty(c)) continue;
    // A signboard's text is the author's: shown escaped.
    out << terminal_text(trimmed(
               format("%6lld %8lld  %+5d  %4d  %3d  %3d  %4d  %-20s ",
                      static_cast<long long>(i),
                      static_cast<long long>(cell_position(i)),
                      gradient_per_mille(c), speed_limit_kmh(c), c.adhesion,
                      c.mountain, c.approach, cell_kind_name(c.kind).c_str()) +
               details_text(describe_cell(i, c, slots))))
        << "\n";
  }
}

void dump_slots(const DumpRequest& req, const std::string& bytes,
                std::ostream& out) {
  SlotTable slots;
  check(read_slot_file(bytes, slots), req.file, std::nullopt);
  if (req.json) {
    JsonRows rows(out,
                  {{"file", "slots"},
                   {"path", req.file.string()},
                   {"line_length", length_json(line_length_of(slots))}},
                  "slots");
    for (int k = 0; k < kSlotCount; ++k) {
      const ScenarioSlot& s = slots[static_cast<std::size_t>(k)];
      if (!req.all && is_empty(s)) continue;
      rows.row({{"index", k},
                {"kind", s.kind},
                {"num1", s.num1},
                {"num2", s.num2},
                {"num3", s.num3},
                {"flag", s.flag},
                {"name", cp1252_to_utf8(s.name)},
                {"word1", s.word1},
                {"word2", s.word2},
                {"word3", s.word3},
                {"word4", s.word4},
                {"word5", s.word5},
                {"byte1", s.byte1},
                {"byte2", s.byte2},
                {"byte3", s.byte3},
                {"byte4", s.byte4},
                {"num4", s.num4},
                {"role", role_name(slot_role(k, s))},
                {"details", details_json(describe_slot(k, s))}});
    }
    return;
  }
  out << "slots of " << terminal_text(req.file.string()) << ": " << kSlotCount
      << " slots (0 to " << kSlotCount - 1 << ")\n"
      << "  slot  role                    values\n";
  for (int k = 0; k < kSlotCount; ++k) {
    const ScenarioSlot& s = slots[static_cast<std::size_t>(k)];
    if (!req.all && is_empty(s)) continue;
    // Station names and signboard texts are the author's: shown escaped.
    out << terminal_text(trimmed(
               format("%6d  %-22s  ", k, role_name(slot_role(k, s)).c_str()) +
               details_text(describe_slot(k, s))))
        << "\n";
  }
}

const char* tag_name(LineProfile::Tag tag) {
  switch (tag) {
    case LineProfile::Tag::kEmpty:
      return "empty";
    case LineProfile::Tag::kInt16:
      return "integer";
    case LineProfile::Tag::kDouble:
      return "double";
  }
  return "?";
}

json coordinate_json(const LineProfile& p, int coordinate, std::int64_t m) {
  switch (p.tag(coordinate, m)) {
    case LineProfile::Tag::kEmpty:
      return nullptr;
    case LineProfile::Tag::kInt16:
      return static_cast<std::int64_t>(p.value(coordinate, m));
    case LineProfile::Tag::kDouble:
      return p.value(coordinate, m);
  }
  return nullptr;
}

std::string coordinate_text(const LineProfile& p, int coordinate,
                            std::int64_t m) {
  switch (p.tag(coordinate, m)) {
    case LineProfile::Tag::kEmpty:
      return format("%15s", "(empty)");
    case LineProfile::Tag::kInt16:
      return format("%15.0f", p.value(coordinate, m));
    case LineProfile::Tag::kDouble:
      return format("%15.3f", p.value(coordinate, m));
  }
  return {};
}

void dump_geometry(const DumpRequest& req, const std::string& bytes,
                   std::ostream& out, std::ostream& err) {
  std::optional<SlotFileBeside> beside;
  const auto length = length_beside(req.file, FileKind::kGeometry, beside, err);
  LineProfile p;
  check(read_line_geometry_file(bytes, p, length), req.file, beside);
  const std::int64_t metres = p.metre_count();
  // Without --all: every kilometre, and every metre where the kind of value
  // changes, so that the seeds and the empty end show.
  const auto shown = [&](std::int64_t m) {
    return req.all || m % 1000 == 0 || m == metres - 1 ||
           (m > 0 &&
            (p.tag(0, m) != p.tag(0, m - 1) || p.tag(1, m) != p.tag(1, m - 1)));
  };
  if (req.json) {
    JsonRows rows(out,
                  {{"file", "geometry"},
                   {"path", req.file.string()},
                   {"line_length", length_json(length)},
                   {"metre_count", metres}},
                  "metres");
    for (std::int64_t m = 0; m < metres; ++m) {
      if (!shown(m)) continue;
      rows.row({{"metre", m},
                {"x_tag", static_cast<int>(p.tag(0, m))},
                {"x", coordinate_json(p, 0, m)},
                {"y_tag", static_cast<int>(p.tag(1, m))},
                {"y", coordinate_json(p, 1, m)}});
    }
    return;
  }
  std::int64_t counts[3] = {0, 0, 0};
  double low[2] = {0, 0}, high[2] = {0, 0};
  for (int c = 0; c < 2; ++c) {
    for (std::int64_t m = 0; m < metres; ++m) {
      const auto tag = p.tag(c, m);
      ++counts[tag == LineProfile::Tag::kEmpty   ? 0
               : tag == LineProfile::Tag::kInt16 ? 1
                                                 : 2];
      if (tag == LineProfile::Tag::kEmpty) continue;
      low[c] = std::min(low[c], p.value(c, m));
      high[c] = std::max(high[c], p.value(c, m));
    }
  }
  out << "line geometry of " << terminal_text(req.file.string())
      << ": metres 0 to " << metres - 1 << " in x and in y";
  if (length) out << ", line of " << *length << " m";
  out << "\n"
      << format("x from %.3f to %.3f km, y from %.3f to %.3f km; ",
                low[0] / 1000, high[0] / 1000, low[1] / 1000, high[1] / 1000)
      << counts[1] << " integer, " << counts[2] << " double, " << counts[0]
      << " empty values\n"
      << "   metre            x m            y m\n";
  for (std::int64_t m = 0; m < metres; ++m) {
    if (!shown(m)) continue;
    out << format("%8lld", static_cast<long long>(m))
        << coordinate_text(p, 0, m) << coordinate_text(p, 1, m);
    if (p.tag(0, m) != LineProfile::Tag::kDouble ||
        p.tag(1, m) != LineProfile::Tag::kDouble) {
      out << "  (" << tag_name(p.tag(0, m)) << ", " << tag_name(p.tag(1, m))
          << ")";
    }
    out << "\n";
  }
}

// A dump shows one file; a directory holds a scenario's three, or several
// scenarios'. Names the files in it that dump decodes.
std::string directory_refused(const fs::path& dir) {
  std::vector<std::string> files;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (entry.is_regular_file(ec) && kind_of_name(entry.path())) {
      files.push_back(entry.path().string());
    }
  }
  std::sort(files.begin(), files.end());
  std::string message = dir.string() +
                        " is a directory; dump decodes one file of a "
                        "scenario: its cell, slot or line geometry file";
  for (std::size_t i = 0; i < files.size() && i < 6; ++i) {
    message += (i == 0 ? ", such as " : ", ") + files[i];
  }
  return message + " (plot draws a whole directory)";
}

}  // namespace

int run_dump(const DumpRequest& req, std::ostream& out, std::ostream& err) {
  try {
    std::error_code ec;
    if (fs::is_directory(req.file, ec)) {
      err << terminal_text("scenarioc dump: " + directory_refused(req.file))
          << "\n";
      return exit_status::kUsageError;
    }
    const auto kind =
        req.kind.empty() ? kind_of_name(req.file) : kind_of_word(req.kind);
    if (!kind) {
      err << terminal_text("scenarioc dump: " + req.file.string() +
                           ": cannot tell the kind of file from its name; "
                           "give --kind cells, slots or geometry")
          << "\n";
      return exit_status::kUsageError;
    }
    const std::string bytes = read_file(req.file, *kind);
    switch (*kind) {
      case FileKind::kCells:
        dump_cells(req, bytes, out, err);
        break;
      case FileKind::kSlots:
        dump_slots(req, bytes, out);
        break;
      case FileKind::kGeometry:
        dump_geometry(req, bytes, out, err);
        break;
    }
    out.flush();
    return 0;
  } catch (const ToolError& e) {
    err << terminal_text("scenarioc dump: " + e.message) << "\n";
    return e.status;
  }
}

void register_dump_command(CLI::App& app, int& status) {
  auto request = std::make_shared<DumpRequest>();
  CLI::App* dump = app.add_subcommand(
      "dump", "Decode a cell, slot or geometry file and show what it holds");
  dump->add_option("FILE", request->file,
                   "cell file (_TRAIN" + std::string(file_ending::kCellFile) +
                       "), slot file (" + std::string(file_ending::kSlotFile) +
                       ") or line geometry file (" +
                       std::string(file_ending::kLineGeometry) + ")")
      ->required();
  dump->add_flag("--json", request->json, "JSON for programs instead of text");
  dump->add_flag("--all", request->all,
                 "every record, empty ones too; every metre of the geometry");
  dump->add_option("--kind", request->kind,
                   "the kind of file, when its name does not tell")
      ->check(CLI::IsMember({"cells", "slots", "geometry"}));
  dump->callback([request, &status] {
    std::ios::sync_with_stdio(false);
    status = run_dump(*request, std::cout, std::cerr);
  });
}

}  // namespace scenc::tools
