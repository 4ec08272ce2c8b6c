#include "tools/decompile/decompile.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "model/cp1252.h"
#include "output/output_directory.h"
#include "output/scenario_files.h"
#include "scenario/build_run.h"
#include "tools/decompile/recovery.h"

namespace scenc::tools {
namespace {

using Severity = DecompileNote::Severity;

// The finishing pass marks this value; an abbattimento row may too.
constexpr std::int16_t kFinishingMark = 180;
// Rounds of compiling again to tell the finishing pass's marks from rows.
constexpr int kMarkRounds = 16;
// Records that differ, named one by one before the rest are counted.
constexpr int kNamedDifferences = 8;

struct Compiled {
  Model model;
  BuildOutcome outcome;
};

std::unique_ptr<Compiled> compile(const std::string& line_source,
                                  const std::string& train_source,
                                  const std::string& line_name,
                                  const std::string& train_number,
                                  std::int32_t write_line_file) {
  auto c = std::make_unique<Compiled>();
  c->model.line_name = line_name;
  c->model.train_number = train_number;
  MemorySources sources(line_source, train_source);
  c->outcome = compile_scenario(c->model, write_line_file, sources);
  return c;
}

// Files kept in memory, each string taken once at the size the file can
// reach, so that the megabytes of a plan are not copied as they grow.
class FilesInMemory final : public OutputDirectory {
 public:
  explicit FilesInMemory(const Model& m) : model_(m) {}
  void write(const std::string& name, const Fill& fill) override {
    StringSink sink;
    if (name == ScenarioFileNames::line_geometry(model_)) {
      sink.bytes.reserve(
          2 * static_cast<std::size_t>(model_.line_profile.metre_count()) *
          kLongestTaggedValue);
    }
    ByteWriter out(sink);
    fill(out);
    out.flush();
    files[name] = std::move(sink.bytes);
  }
  std::map<std::string, std::string> files;

 private:
  const Model& model_;
};

// Takes a file's bytes as a compile writes them, at their place or in
// order, and compares them with the bytes a file holds, keeping none.
class ComparingSink final : public ByteSink {
 public:
  explicit ComparingSink(std::string_view held) : held_(held) {}
  void append(const char* data, std::size_t size) override {
    compare(appended_, data, size);
    appended_ += size;
  }
  bool write_at(std::uint64_t offset, const char* data,
                std::size_t size) override {
    compare(offset, data, size);
    return true;
  }
  // Where the compiled bytes first differ from the held ones, or where the
  // shorter of the two ends; nothing when they agree.
  std::optional<std::uint64_t> first_difference() const {
    if (end_ == held_.size()) return first_;
    return std::min({first_.value_or(end_), end_, std::uint64_t{held_.size()}});
  }

 private:
  void compare(std::uint64_t offset, const char* data, std::size_t size) {
    end_ = std::max<std::uint64_t>(end_, offset + size);
    if (offset >= held_.size()) {
      note(offset);
      return;
    }
    const std::size_t n = std::min<std::uint64_t>(size, held_.size() - offset);
    if (std::memcmp(held_.data() + offset, data, n) != 0) {
      std::size_t at = 0;
      while (held_[offset + at] == data[at]) ++at;
      note(offset + at);
    }
  }
  void note(std::uint64_t at) {
    if (!first_ || at < *first_) first_ = at;
  }

  std::string_view held_;
  std::uint64_t appended_ = 0;
  std::uint64_t end_ = 0;
  std::optional<std::uint64_t> first_;
};

template <typename Write>
std::string encoded(Write write) {
  StringSink sink;
  ByteWriter out(sink);
  write(out);
  out.flush();
  return std::move(sink.bytes);
}

// A plan's runs with the neighbours that turn alike joined: two plans draw
// the same metres when these agree.
std::vector<LineProfile::Run> joined(
    const std::vector<LineProfile::Run>& runs) {
  std::vector<LineProfile::Run> out;
  for (const LineProfile::Run& run : runs) {
    if (!out.empty() && std::bit_cast<std::uint64_t>(out.back().turn) ==
                            std::bit_cast<std::uint64_t>(run.turn)) {
      out.back().last = run.last;
    } else {
      out.push_back(run);
    }
  }
  return out;
}

// The first metre the two plans draw with other turns, or where one of them
// ends; nothing when they draw alike.
std::optional<std::int64_t> first_other_turn(
    const std::vector<LineProfile::Run>& a,
    const std::vector<LineProfile::Run>& b) {
  std::int64_t from = 2;
  for (std::size_t i = 0; i < a.size() || i < b.size(); ++i) {
    if (i >= a.size() || i >= b.size()) return from;
    if (std::bit_cast<std::uint64_t>(a[i].turn) !=
        std::bit_cast<std::uint64_t>(b[i].turn)) {
      return from;
    }
    if (a[i].last != b[i].last) return std::min(a[i].last, b[i].last) + 1;
    from = a[i].last + 1;
  }
  return std::nullopt;
}

// A name as a file name carries it: UTF-8, which the compile turns back
// into the slot's Windows-1252. A name no file can carry is noted.
std::string file_name_of(Recovery& r, int slot) {
  const std::string& name = r.slot(slot).name;
  if (name.find_first_of(std::string_view("/\0", 2)) != std::string::npos) {
    r.on_slot(Severity::kWarning, slot,
              "its name holds a '/' or a NUL byte, which no file name of a "
              "source can carry; they are written as '_'");
  }
  std::string utf8 = cp1252_to_utf8(name);
  std::replace(utf8.begin(), utf8.end(), '/', '_');
  std::replace(utf8.begin(), utf8.end(), '\0', '_');
  return utf8;
}

// The kind 12 cells that hold another value than the finishing pass's, and
// the kind 13 ones: abbattimento rows, whatever else.
std::vector<std::int64_t> certain_abbattimenti(const ScenarioSet& set) {
  std::vector<std::int64_t> cells;
  for (std::size_t c = 0; c < set.cells.size(); ++c) {
    const TrackCell& cell = set.cells[c];
    if (cell.kind == cell_kind::kAbbattimentoZero ||
        (cell.kind == cell_kind::kAbbattimento &&
         cell.value1 != kFinishingMark)) {
      cells.push_back(static_cast<std::int64_t>(c));
    }
  }
  return cells;
}

// Adds to `rows` the cells the files mark with 180 where the compile of the
// sources as they stand places nothing: an abbattimento row's marks. False
// when there is none.
bool rows_for_marks(const Recovery& r, const Model& compiled,
                    std::vector<std::int64_t>& rows) {
  bool added = false;
  for (std::size_t i = 0; i < r.set.cells.size(); ++i) {
    const TrackCell& held = r.set.cells[i];
    const auto cell = static_cast<std::int64_t>(i);
    if (held.kind == cell_kind::kAbbattimento &&
        held.value1 == kFinishingMark &&
        compiled.track_cells[i].kind != cell_kind::kAbbattimento &&
        kCellLength * cell <= r.last_position()) {
      rows.push_back(cell);
      added = true;
    }
  }
  std::sort(rows.begin(), rows.end());
  return added;
}

// ---- Naming what differs -------------------------------------------------

struct NamedField {
  const char* name;
  std::function<std::int64_t(const TrackCell&)> of;
};

const std::vector<NamedField>& cell_fields() {
  static const std::vector<NamedField> fields{
      {"kind", [](const TrackCell& c) { return c.kind; }},
      {"value1", [](const TrackCell& c) { return c.value1; }},
      {"value2", [](const TrackCell& c) { return c.value2; }},
      {"value3", [](const TrackCell& c) { return c.value3; }},
      {"value4", [](const TrackCell& c) { return c.value4; }},
      {"signal_time", [](const TrackCell& c) { return c.signal_time; }},
      {"approach", [](const TrackCell& c) { return c.approach; }},
      {"mountain", [](const TrackCell& c) { return c.mountain; }},
      {"speed_limit", [](const TrackCell& c) { return c.speed_limit; }},
      {"gradient", [](const TrackCell& c) { return c.gradient; }},
      {"adhesion", [](const TrackCell& c) { return c.adhesion; }}};
  return fields;
}

std::string slot_difference(const ScenarioSlot& held,
                            const ScenarioSlot& compiled) {
  const std::pair<const char*, std::pair<std::int64_t, std::int64_t>>
      numbers[] = {{"kind", {held.kind, compiled.kind}},
                   {"num1", {held.num1, compiled.num1}},
                   {"num2", {held.num2, compiled.num2}},
                   {"num3", {held.num3, compiled.num3}},
                   {"flag", {held.flag, compiled.flag}},
                   {"word1", {held.word1, compiled.word1}},
                   {"word2", {held.word2, compiled.word2}},
                   {"word3", {held.word3, compiled.word3}},
                   {"word4", {held.word4, compiled.word4}},
                   {"word5", {held.word5, compiled.word5}},
                   {"byte1", {held.byte1, compiled.byte1}},
                   {"byte2", {held.byte2, compiled.byte2}},
                   {"byte3", {held.byte3, compiled.byte3}},
                   {"byte4", {held.byte4, compiled.byte4}},
                   {"num4", {held.num4, compiled.num4}}};
  std::string out;
  if (held.name != compiled.name) {
    out = "name \"" + cp1252_to_utf8(held.name) + "\" against \"" +
          cp1252_to_utf8(compiled.name) + "\"";
  }
  for (const auto& [name, v] : numbers) {
    if (v.first == v.second) continue;
    out += (out.empty() ? "" : ", ") + std::string(name) + " " +
           std::to_string(v.first) + " against " + std::to_string(v.second);
  }
  return out;
}

class Comparison {
 public:
  Comparison(Recovery& r, const Compiled& c) : r_(r), c_(c) {}

  // Notes every record the compile writes otherwise than the files hold;
  // true when all three agree byte for byte.
  bool same(const ScenarioBytes& held) {
    const Model& m = c_.model;
    if (c_.outcome.error_exit != 0) {
      r_.notes.push_back({Severity::kError, FileKind::kSlots, "the build", 0,
                          "compiled again, the sources end at the error exit " +
                              std::to_string(c_.outcome.error_exit) +
                              " and write no file"});
      return false;
    }
    bool same = true;
    same =
        compare_slots(held.slots,
                      encoded([&](ByteWriter& w) { write_slot_file(m, w); })) &&
        same;
    same =
        compare_cells(held.cells,
                      encoded([&](ByteWriter& w) { write_cell_file(m, w); })) &&
        same;
    if (held.geometry) {
      same = (r_.plan.complete
                  ? compare_plan(m.line_profile)
                  : compare_geometry(m.line_profile, *held.geometry)) &&
             same;
    }
    return same;
  }

 private:
  void differs(FileKind kind, std::string record, std::size_t offset,
               const std::string& what) {
    if (named_ < kNamedDifferences) {
      r_.notes.push_back({Severity::kError, kind, std::move(record), offset,
                          what + " (in the file, then as the decompiled "
                                 "sources compile)"});
    }
    ++named_;
  }

  void count_rest(FileKind kind) {
    if (named_ > kNamedDifferences) {
      r_.notes.push_back({Severity::kError, kind, "and more", 0,
                          std::to_string(named_ - kNamedDifferences) +
                              " more records differ"});
    }
    named_ = 0;
  }

  bool compare_slots(const std::string& held, const std::string& compiled) {
    if (held == compiled) return true;
    SlotTable slots;
    if (read_slot_file(compiled, slots)) return false;
    for (int k = 0; k < kSlotCount; ++k) {
      const std::string d =
          slot_difference(r_.slot(k), slots[static_cast<std::size_t>(k)]);
      if (!d.empty())
        differs(FileKind::kSlots, slot_record(k), r_.slot_offset(k), d);
    }
    count_rest(FileKind::kSlots);
    return false;
  }

  bool compare_cells(const std::string& held, const std::string& compiled) {
    if (held == compiled) return true;
    std::vector<TrackCell> cells;
    if (read_cell_file(compiled, cells) ||
        cells.size() != r_.set.cells.size()) {
      differs(FileKind::kCells, "the file", 0,
              "cells 0 to " + std::to_string(r_.last_cell) + " against " +
                  std::to_string(static_cast<std::int64_t>(cells.size()) - 1));
      count_rest(FileKind::kCells);
      return false;
    }
    for (std::size_t c = 0; c < cells.size(); ++c) {
      if (cells[c] == r_.set.cells[c]) continue;
      std::string d;
      for (const NamedField& f : cell_fields()) {
        const std::int64_t a = f.of(r_.set.cells[c]);
        const std::int64_t b = f.of(cells[c]);
        if (a != b) {
          d += (d.empty() ? "" : ", ") + std::string(f.name) + " " +
               std::to_string(a) + " against " + std::to_string(b);
        }
      }
      const auto i = static_cast<std::int64_t>(c);
      differs(FileKind::kCells, cell_record(i), Recovery::cell_offset(i), d);
    }
    count_rest(FileKind::kCells);
    return false;
  }

  // A plan read whole, turn by turn, is drawn again from the same runs,
  // each metre from the two before it as the file's metres were: the same
  // runs draw the same doubles.
  bool compare_plan(const LineProfile& compiled) {
    const auto first =
        first_other_turn(joined(r_.plan.runs), joined(compiled.runs()));
    if (!first) return true;
    plan_differs(*first, 0);
    return false;
  }

  // A plan not read whole is compared byte for byte as it is written.
  bool compare_geometry(const LineProfile& compiled, std::string_view held) {
    ComparingSink sink(held);
    ByteWriter out(sink);
    write_line_geometry_file(compiled, out);
    out.flush();
    const auto first = sink.first_difference();
    if (!first) return true;
    const auto [m, coordinate] = r_.metre_at(*first);
    plan_differs(m, coordinate);
    return false;
  }

  // One note for a plan: every metre after the first that differs differs
  // as well.
  void plan_differs(std::int64_t m, int coordinate) {
    differs(FileKind::kGeometry,
            "metre " + std::to_string(m) + (coordinate == 0 ? " (x)" : " (y)"),
            r_.metre_offset(m, coordinate),
            "the plan the sources draw differs from here on");
    count_rest(FileKind::kGeometry);
  }

  Recovery& r_;
  const Compiled& c_;
  int named_ = 0;
};

}  // namespace

bool DecompiledScenario::has_doubts() const {
  return std::any_of(notes.begin(), notes.end(), [](const DecompileNote& n) {
    return n.severity != Severity::kNote;
  });
}

CompiledInMemory compile_in_memory(const std::string& line_source,
                                   const std::string& train_source,
                                   const std::string& line_name,
                                   const std::string& train_number,
                                   std::int32_t write_line_file,
                                   const std::filesystem::path& dir) {
  const auto c = compile(line_source, train_source, line_name, train_number,
                         write_line_file);
  CompiledInMemory out;
  out.error_code = c->model.error_code;
  out.error_exit = c->outcome.error_exit;
  const Model& m = c->model;
  out.files.slot_path = dir / ScenarioFileNames::slot_file(m);
  out.files.cell_path = dir / ScenarioFileNames::cell_file(m);
  if (out.error_exit != 0) return out;
  FilesInMemory files(m);
  write_scenario_files(m, files);
  out.files.slots = std::move(files.files[ScenarioFileNames::slot_file(m)]);
  out.files.cells = std::move(files.files[ScenarioFileNames::cell_file(m)]);
  const auto plan = files.files.find(ScenarioFileNames::line_geometry(m));
  if (plan != files.files.end()) {
    out.files.geometry_path = dir / plan->first;
    out.files.geometry = std::move(plan->second);
  }
  return out;
}

DecompiledScenario decompile(const ScenarioSet& set,
                             const ScenarioBytes& bytes) {
  const auto length = line_length_of(set.slots);
  if (!length || static_cast<std::int64_t>(set.cells.size()) !=
                     last_cell_for_length(*length) + 1) {
    throw ToolError{exit_status::kMalformedFile,
                    set.slot_path.string() + ": slot " +
                        std::to_string(kConsistSlot) +
                        " holds a line length of " +
                        std::to_string(set.slots[kConsistSlot].num2) +
                        " m, which no compile accepts; there are no sources to "
                        "give back"};
  }
  DecompiledScenario out;
  Recovery r(set);
  out.line_name = file_name_of(r, kLineSlot);
  out.train_number = file_name_of(r, kTrainSlot);
  Model names;
  names.line_name = out.line_name;
  names.train_number = out.train_number;
  out.line_source_name = ScenarioFileNames::line_source(names);
  out.train_source_name = ScenarioFileNames::train_source(names);
  out.with_geometry = bytes.geometry.has_value();
  const std::int32_t write_line_file = out.with_geometry ? 1 : 0;

  out.line = recover_line_source(r);
  out.line_source = source_text(out.line);

  // The finishing pass marks kind 12 with 180 around slow orders; a row may
  // place the same. Compiled again, a mark the pass does not place there is
  // a row's, and its row may move the pass's marks: so round after round,
  // until the compile places every mark the rows do not.
  std::vector<std::int64_t> rows = certain_abbattimenti(set);
  std::vector<DecompileNote> train_notes;
  std::unique_ptr<Compiled> c;
  for (int round = 0; round < kMarkRounds; ++round) {
    Recovery train(set);
    out.train = recover_train_source(train, rows);
    out.train_source = source_text(out.train);
    train_notes = std::move(train.notes);
    c = compile(out.line_source, out.train_source, out.line_name,
                out.train_number, write_line_file);
    if (!c->model.has_track_cells() ||
        c->model.track_cells.size() != set.cells.size() ||
        !rows_for_marks(r, c->model, rows)) {
      break;
    }
  }
  r.notes.insert(r.notes.end(), train_notes.begin(), train_notes.end());
  if (!out.with_geometry) {
    r.notes.push_back({Severity::kNote, FileKind::kGeometry, "no line geometry",
                       0,
                       "the sources draw the line straight; compile them with "
                       "--no-geometry to write the same files"});
  }
  out.same_bytes = Comparison(r, *c).same(bytes);
  out.notes = std::move(r.notes);
  return out;
}

}  // namespace scenc::tools
