#include "tools/decompile/recovery.h"

#include "output/scenario_files.h"

namespace scenc::tools {

Recovery::Recovery(const ScenarioSet& s)
    : set(s),
      cells(s.cells),
      last_cell(static_cast<std::int64_t>(s.cells.size()) - 1) {
  // The stamps go where the compile left zeros, or the build ends at its
  // error exit.
  if (cells.size() > 1) {
    cells[1].value1 = 0;
    cells[1].value2 = 0;
  }
}

namespace {

bool holds_numbers(const ScenarioSlot& s) {
  ScenarioSlot numbers = s;
  numbers.name.clear();
  return !(numbers == ScenarioSlot{});
}

}  // namespace

int Recovery::station_count() const {
  int n = 0;
  while (n + 1 <= kFirstSignboardSlot && holds_numbers(slot(n + 1))) ++n;
  return n;
}

int Recovery::lowest_signboard_slot() const {
  int lowest = kFirstSignboardSlot + 1;
  for (const TrackCell& c : cells) {
    if (c.kind == cell_kind::kSignboard && c.value1 >= 1 && c.value1 < lowest) {
      lowest = c.value1;
    }
  }
  for (int k = station_count() + 1; k < lowest; ++k) {
    if (!slot(k).name.empty() || holds_numbers(slot(k))) return k;
  }
  return lowest;
}

std::string cell_record(std::int64_t c) { return "cell " + std::to_string(c); }
std::string slot_record(int k) { return "slot " + std::to_string(k); }

std::size_t Recovery::cell_offset(std::int64_t c) {
  return static_cast<std::size_t>(c) * kCellRecordSize;
}

std::size_t Recovery::slot_offset(int k) const {
  std::size_t at = 0;
  for (int i = 0; i < k; ++i) at += kSlotRecordBaseSize + slot(i).name.size();
  return at;
}

namespace {

// Values of 2, 4 and 10 bytes follow one another, x values first.
std::size_t value_size(LineProfile::Tag t) {
  return t == LineProfile::Tag::kEmpty   ? 2
         : t == LineProfile::Tag::kInt16 ? 4
                                         : kLongestTaggedValue;
}

}  // namespace

std::pair<std::int64_t, int> Recovery::metre_at(std::uint64_t offset) const {
  const LineProfile& p = set.profile;
  std::uint64_t at = 0;
  for (int c = 0; c < 2; ++c) {
    for (std::int64_t m = 0; m < p.metre_count(); ++m) {
      at += value_size(p.tag(c, m));
      if (offset < at) return {m, c};
    }
  }
  return {std::max<std::int64_t>(p.metre_count() - 1, 0), 1};
}

std::size_t Recovery::metre_offset(std::int64_t m, int coordinate) const {
  const LineProfile& p = set.profile;
  const auto size = value_size;
  std::size_t at = 0;
  for (int c = 0; c <= coordinate; ++c) {
    const std::int64_t end = c < coordinate ? p.metre_count() : m;
    for (std::int64_t i = 0; i < end; ++i) at += size(p.tag(c, i));
  }
  return at;
}

void Recovery::on_cell(DecompileNote::Severity s, std::int64_t c,
                       std::string message) {
  notes.push_back({s, FileKind::kCells, cell_record(c), cell_offset(c),
                   std::move(message)});
}

void Recovery::on_slot(DecompileNote::Severity s, int k, std::string message) {
  notes.push_back({s, FileKind::kSlots, slot_record(k), slot_offset(k),
                   std::move(message)});
}

void Recovery::on_metre(DecompileNote::Severity s, std::int64_t m,
                        int coordinate, std::string message) {
  notes.push_back(
      {s, FileKind::kGeometry,
       "metre " + std::to_string(m) + (coordinate == 0 ? " (x)" : " (y)"),
       metre_offset(m, coordinate), std::move(message)});
}

std::vector<std::string> preamble_of(const std::string& what,
                                     const std::string& name,
                                     const std::vector<std::string>& unknown) {
  // Nothing here may hold a double quote, which would open a field running
  // over the lines after it, nor the header that ends the preamble.
  const bool plain_name = name.find_first_of("\"[]") == std::string::npos;
  std::vector<std::string> lines{
      what + (plain_name && !name.empty() ? " " + name : "") +
          ", decompiled by scenarioc from its compiled files",
      "",
      "What the compiled files do not keep, and these rows cannot give back:"};
  for (const std::string& u : unknown) lines.push_back("  " + u);
  return lines;
}

}  // namespace scenc::tools
