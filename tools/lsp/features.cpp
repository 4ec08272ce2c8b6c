#include "tools/lsp/features.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "compiler/field_reader.h"
#include "model/cp1252.h"
#include "tools/decode/describe.h"
#include "tools/check/source_rows.h"
#include "tools/lsp/protocol.h"

namespace scenc::lsp {
namespace {

using json = nlohmann::json;
using tools::AuthorRow;
using tools::RowField;
using tools::RowKind;
using tools::SourceRows;

// ---- Reading a row ---------------------------------------------------------

// A source larger than the check reads row by row is not read so here
// either: its rows would cost many times its size, for every request. The
// check's source-too-large warning says so.
bool read_by_rows(const TextDocument& text) {
  return text.source_bytes().size() <= tools::kLargestCheckedSource;
}

// Bytes of a source as the editor shows them.
std::string shown(const TextDocument& text, std::string_view bytes) {
  return text.encoding() == FileEncoding::kUtf8 ? std::string(bytes)
                                                : cp1252_to_utf8(bytes);
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

// The number a field holds as the compiler reads it (0 for anything that is
// not a whole number), or nothing when it is too large for any field.
std::optional<std::int64_t> number_in(const RowField& f) {
  const NumberToken t = parse_number_token(f.text);
  if (t.kind == NumberToken::Kind::kTooLarge) return std::nullopt;
  return t.value;
}

// The field of `k` at `index` in the row, when the row holds it.
const RowField* field_of(const AuthorRow& row, const Keyword& k,
                         std::size_t index) {
  for (const RowField& f : row.fields) {
    if (f.keyword == &k && f.index() == index) return &f;
  }
  return nullptr;
}
std::optional<std::int64_t> number_of(const AuthorRow& row, const Keyword& k,
                                      std::string_view name) {
  for (std::size_t i = 0; i < k.fields.size(); ++i) {
    if (k.fields[i].name == name) {
      const RowField* f = field_of(row, k, i);
      return f ? number_in(*f) : std::nullopt;
    }
  }
  return std::nullopt;
}
// The first field of `k` with `role`, as read from the row.
const RowField* field_with_role(const AuthorRow& row, const Keyword& k,
                                FieldRole role) {
  for (std::size_t i = 0; i < k.fields.size(); ++i) {
    if (k.fields[i].role == role) return field_of(row, k, i);
  }
  return nullptr;
}

std::string metres(std::int64_t m) { return std::to_string(m) + " m"; }

std::string cell_words(std::int64_t cell) {
  return "cell " + std::to_string(cell) + " (" +
         metres(tools::cell_position(cell)) + ")";
}

// ---- What a row becomes ------------------------------------------------------

// The slot fields each general row sets, by the keys the dump shows them
// with. The kilometric progressives go to slots 81 to 83, ordered by their
// first numbers.
struct SlotFields {
  RowType type;
  int slot;
  std::array<std::string_view, 3> keys;
};
constexpr SlotFields kSlotFieldsOfRows[] = {
    {RowType::kLength, kConsistSlot, {"line_length"}},
    {RowType::kBackgroundOne, kLineSlot, {"background_one"}},
    {RowType::kBackgroundTwo, kLineSlot, {"background_two"}},
    {RowType::kBackgroundThree, kLineSlot, {"background_three"}},
    {RowType::kSignalRepetition,
     kTrainSlot,
     {"signal_repetition_from", "signal_repetition_to",
      "signal_repetition_codes"}},
    {RowType::kBrakedMass, kConsistSlot, {"braked_mass"}},
    {RowType::kCars, kConsistSlot, {"cars"}},
    {RowType::kClock, kTrainSlot, {"orologio"}},
    {RowType::kSand, kTrainSlot, {"sabbia"}},
};

std::string slot_fields(const Model& model, int slot,
                        std::span<const std::string_view> keys) {
  const ScenarioSlot& s = model.scenario_slots[static_cast<std::size_t>(slot)];
  tools::Details chosen;
  for (const tools::Detail& d : tools::describe_slot(slot, s)) {
    if (keys.empty() ||
        std::find(keys.begin(), keys.end(), d.key) != keys.end()) {
      chosen.push_back(d);
    }
  }
  return "slot " + std::to_string(slot) + " (" +
         tools::role_name(tools::slot_role(slot, s)) +
         "): " + tools::details_text(chosen);
}

class RowHover {
 public:
  RowHover(const CheckedPair& pair, SourceKind kind, const AuthorRow& row)
      : model_(pair.check.model),
        account_(pair.check.account.of(kind)),
        kind_(kind),
        row_(row),
        text_(pair.side(kind).text()) {}

  std::string describe(const Keyword& k) {
    out_.clear();
    last_was_item_ = false;
    std::string title = "**" + std::string(k.row) + "**";
    if (const RowField* label = field_with_role(row_, k, FieldRole::kLabel)) {
      title += " " + shown(text_, trimmed(label->text));
    }
    add(title);
    if (k.type == RowType::kStation) {
      station(k);
    } else if (k.type == RowType::kCurve) {
      curve(k);
    } else if (k.type == RowType::kMountain) {
      mountain(k);
    } else if (k.type == RowType::kGradient || k.type == RowType::kSpeedLimit ||
               k.type == RowType::kAdhesion) {
      fill(k);
    } else if (k.type == RowType::kProgressiveOne ||
               k.type == RowType::kProgressiveTwo ||
               k.type == RowType::kProgressiveThree) {
      add("sets a kilometric progressive; the three are ordered by their "
          "first numbers into slots 81 to 83:");
      for (int slot = 81; slot <= 83; ++slot) {
        add("- " + slot_fields(model_, slot, {}));
      }
    } else {
      for (const SlotFields& s : kSlotFieldsOfRows) {
        if (s.type != k.type) continue;
        std::vector<std::string_view> keys;
        for (const std::string_view key : s.keys) {
          if (!key.empty()) keys.push_back(key);
        }
        add("sets " + slot_fields(model_, s.slot, keys));
      }
    }
    placements();
    if (k.type == RowType::kSignal) signal_approach();
    return out_ + "\n\n";
  }

 private:
  // Paragraphs apart by an empty line, list items ("- ") one per line.
  void add(const std::string& line) {
    const bool item = line.starts_with("- ");
    if (!out_.empty()) out_ += item && last_was_item_ ? "\n" : "\n\n";
    out_ += line;
    last_was_item_ = item;
  }

  bool grid_has(std::int64_t cell) const {
    return model_.has_track_cells() && cell >= 0 && cell <= model_.last_cell();
  }
  const TrackCell& cell(std::int64_t i) const {
    return model_.track_cells[static_cast<std::size_t>(i)];
  }

  // The cells this row placed a mark on, as the compile recorded them.
  std::vector<const CellPlacement*> placed() const {
    std::vector<const CellPlacement*> out;
    for (const CellPlacement& p : model_.row_of_cell) {
      if (p.row.keyword.source == kind_ && p.row.keyword.line == row_.line) {
        out.push_back(&p);
      }
    }
    return out;
  }

  void placements() {
    for (const CellPlacement* p : placed()) {
      if (!grid_has(p->cell)) continue;
      const TrackCell& c = cell(p->cell);
      const CellPlacement* last = model_.placement_of(p->cell);
      if (last != nullptr && last->row.keyword != p->row.keyword) {
        add("- " + cell_words(p->cell) + ": placed, then taken by the row at "
            "line " + std::to_string(last->row.keyword.line) +
            (last->row.keyword.source == kind_
                 ? ""
                 : last->row.keyword.source == SourceKind::kLine
                       ? " of the line source"
                       : " of the train source"));
        continue;
      }
      const std::string details = tools::details_text(
          tools::describe_cell(p->cell, c, &model_.scenario_slots));
      add("- " + cell_words(p->cell) + ": " + cell_kind_name(c.kind) +
          (details.empty() ? "" : ", " + details));
    }
  }

  void signal_approach() {
    for (const CellPlacement* p : placed()) {
      std::string codes;
      for (int k = 1; k <= 4; ++k) {
        const std::int64_t i = p->cell - 2 * k;
        if (!grid_has(i)) continue;
        if (!codes.empty()) codes += ", ";
        codes += "cell " + std::to_string(i) + ": " +
                 std::to_string(cell(i).approach);
      }
      if (!codes.empty()) add("- approach codes: " + codes);
    }
  }

  // The row the compile of the sources as given compiled for `k` on this
  // row's keyword field, as its account tells; null where it did not reach
  // it (or kept only the rows of a source too large to keep whole).
  const tools::SourceAccount::Row* compiled(const Keyword& k) const {
    const std::size_t begin = row_.fields.front().begin;
    for (const tools::SourceAccount::Row& r : account_.rows) {
      if (r.keyword == &k && r.keyword_span.begin == begin) return &r;
    }
    return nullptr;
  }

  void station(const Keyword& k) {
    // The station's slot: the one the compile stored its position into.
    std::optional<int> slot;
    const tools::SourceAccount::Row* r = compiled(k);
    if (r != nullptr && !r->faulted) {
      for (const Store& st : account_.stores_of(*r)) {
        if (st.target == Store::Target::kSlot && st.field == "num3") {
          slot = static_cast<int>(st.first);
        }
      }
    }
    if (!slot) {
      add("not in the slots: the compile did not reach this row, or did not "
          "keep it (see the diagnostics)");
      return;
    }
    const ScenarioSlot& s = model_.scenario_slots[static_cast<std::size_t>(*slot)];
    add("slot " + std::to_string(*slot) + "; extent " + metres(s.num1) +
        " to " + metres(s.num2) + ", timetable " + tools::clock_text(s.num4));
    add("- " + slot_fields(model_, *slot, {}));
    bool marker = false;
    for (const CellPlacement* p : placed()) marker = marker || grid_has(p->cell);
    if (!marker) add("- no marker cell: a station of kind 25 or more places none");
  }

  void curve(const Keyword& k) {
    const auto start = number_of(row_, k, "start");
    const auto length = number_of(row_, k, "length");
    if (start && length) {
      add("from " + metres(*start) + " to " + metres(*start + *length));
    }
    // The class and side the compile gave it.
    const tools::SourceAccount::Row* r = compiled(k);
    if (r == nullptr) {
      if (account_.whole) {
        add("not compiled: the compile did not reach this row (see the "
            "diagnostics)");
      }
      return;
    }
    for (const Decision& d : account_.decisions_of(*r)) {
      if (d.kind != Decision::Kind::kCurveClass) continue;
      add("class " + std::to_string(d.value) + ": radius about " +
          metres(
              std::lround(1.0 / curve_class_turn(static_cast<int>(d.value)))) +
          ", turning " + (d.left ? "left" : "right"));
      return;
    }
    if (r->faulted) {
      add("the compile ends at this row: see its diagnostic");
    }
  }

  void mountain(const Keyword& k) {
    const auto from = number_of(row_, k, "inizio");
    const auto to = number_of(row_, k, "fine");
    if (!from || !to || !model_.has_track_cells()) return;
    add("from " + metres(*from) + " to " + metres(*to));
    // The cells between the two positions, as the model holds them.
    std::string runs;
    const std::int64_t first = std::max<std::int64_t>(cell_index(*from) - 1, 0);
    const std::int64_t last =
        std::min<std::int64_t>(cell_index(*to), model_.last_cell());
    for (std::int64_t i = first; i <= last;) {
      const std::uint8_t type = cell(i).mountain;
      std::int64_t j = i;
      while (j + 1 <= last && cell(j + 1).mountain == type) ++j;
      if (type != 0) {
        if (!runs.empty()) runs += "; ";
        runs += "cells " + std::to_string(i) + " to " + std::to_string(j) +
                ": type " + std::to_string(type);
      }
      i = j + 1;
    }
    if (!runs.empty()) add("- mountain " + runs);
  }

  void fill(const Keyword& k) {
    const RowField* p = field_with_role(row_, k, FieldRole::kPosition);
    const auto position = p ? number_in(*p) : std::nullopt;
    if (!position) return;
    const std::string what = k.type == RowType::kGradient     ? "gradient"
                             : k.type == RowType::kSpeedLimit ? "speed limit"
                                                              : "adhesion";
    add("sets the " + what + " from " + metres(*position) +
        " on, up to the next such row");
    const std::int64_t i = cell_index(*position);
    if (!grid_has(i)) return;
    const TrackCell& c = cell(i);
    add("- " + cell_words(i) + ": gradient " +
        std::to_string(tools::gradient_per_mille(c)) + " per mille, speed limit " +
        std::to_string(tools::speed_limit_kmh(c)) + " km/h, adhesion " +
        std::to_string(c.adhesion));
  }

  const Model& model_;
  const tools::SourceAccount& account_;
  SourceKind kind_;
  bool last_was_item_ = false;
  const AuthorRow& row_;
  const TextDocument& text_;
  std::string out_;
};

std::string type_words(const Field& f) {
  switch (f.type) {
    case FieldType::kInt32:
      return "a 32-bit number";
    case FieldType::kInt16:
      return "a 16-bit number";
    case FieldType::kUint8:
      return "a byte";
    case FieldType::kText:
      return "text";
  }
  return "";
}

std::string describe_field(const RowField& f, const Model& model,
                           const TextDocument& text) {
  const Field& field = *f.field;
  std::string out = "**" + std::string(field.name) + "**";
  if (!field.unit.empty()) out += " (" + std::string(field.unit) + ")";
  if (field.type == FieldType::kText) {
    return out + ": text \"" + shown(text, f.text) + "\"";
  }
  const NumberToken t = parse_number_token(f.text);
  out += ", read as " + type_words(field);
  // Where the row keeps less than its type holds, what it keeps.
  if (field.lowest != Field::type_lowest(field.type) ||
      field.highest != Field::type_highest(field.type)) {
    out += ", kept from " + std::to_string(field.lowest) + " to " +
           std::to_string(field.highest);
  }
  if (field.step > 0) out += " in steps of " + std::to_string(field.step);
  switch (t.kind) {
    case NumberToken::Kind::kTooLarge:
      return out + ": too large for any field";
    case NumberToken::Kind::kEmpty:
    case NumberToken::Kind::kNotNumber:
      return out + ": not a whole number, read as 0";
    case NumberToken::Kind::kNumber:
      break;
  }
  out += ": " + std::to_string(t.value);
  if (field.role == FieldRole::kPosition || field.role == FieldRole::kEnd) {
    const std::int64_t cell = cell_index(t.value);
    out += " m, the position of cell " + std::to_string(cell);
    if (model.has_track_cells() && (cell < 0 || cell > model.last_cell())) {
      out += ", outside the grid of cells 0 to " +
             std::to_string(model.last_cell());
    }
  }
  return out;
}

json range_json(const TextDocument& text, std::int64_t line,
                std::int64_t from, std::int64_t to, PositionEncoding units) {
  return protocol::range(
      {text.to_client(line, from, units), text.to_client(line, to, units)});
}

// The field whose bytes hold `column`, or that ends just before it.
const RowField* field_at(const AuthorRow& row, std::int64_t column) {
  const RowField* touching = nullptr;
  for (const RowField& f : row.fields) {
    if (column >= f.column && column < f.end_column()) return &f;
    if (column == f.end_column()) touching = &f;
  }
  return touching;
}

// ---- Outline -----------------------------------------------------------------

int symbol_kind(const Keyword& k) {
  constexpr int kProperty = 7, kField = 8, kString = 15, kStruct = 23,
                kEvent = 24;
  bool labelled = false;
  for (const Field& f : k.fields) labelled = labelled || f.role == FieldRole::kLabel;
  if (k.type == RowType::kStation) return kStruct;
  if (labelled) return kString;
  switch (k.order) {
    case RowOrder::kOnce:
      return kProperty;
    case RowOrder::kAscending:
      return kField;
    case RowOrder::kAnywhere:
      break;
  }
  return kEvent;
}

std::string row_detail(const AuthorRow& row, const Keyword& k,
                       const TextDocument& text) {
  const RowField* at = field_with_role(row, k, FieldRole::kPosition);
  const RowField* end = field_with_role(row, k, FieldRole::kEnd);
  std::string detail(k.row);
  if (at != nullptr) {
    const auto p = number_in(*at);
    detail += " at " + (p ? metres(*p) : shown(text, at->text));
    if (end != nullptr) {
      const auto e = number_in(*end);
      detail += " to " + (e ? metres(*e) : shown(text, end->text));
    }
    return detail;
  }
  // A general row: its values.
  for (std::size_t i = 0; i < k.fields.size(); ++i) {
    const RowField* f = field_of(row, k, i);
    if (f == nullptr) break;
    detail += (i == 0 ? " " : ", ") + shown(text, trimmed(f->text));
    if (!k.fields[i].unit.empty()) detail += " " + std::string(k.fields[i].unit);
  }
  return detail;
}

json symbol(const std::string& name, const std::string& detail, int kind,
            const json& range, const json& selection) {
  return {{"name", name.empty() ? "(unnamed)" : name},
          {"detail", detail},
          {"kind", kind},
          {"range", range},
          {"selectionRange", selection}};
}

// ---- Completion ------------------------------------------------------------

// `text` with the characters a snippet treats specially escaped.
std::string snippet_text(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '$' || c == '}' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// The keyword field of a keyword's example row: how an author writes it.
std::string_view written_keyword(const Keyword& k) {
  return trimmed(k.example.substr(0, k.example.find(',')));
}

json keyword_item(const Keyword& k, std::size_t order, const json& range,
                  const TextDocument& text, bool snippets) {
  std::string snippet = snippet_text(written_keyword(k));
  std::string columns;
  for (std::size_t i = 0; i < k.fields.size(); ++i) {
    const Field& f = k.fields[i];
    snippet += ", ${" + std::to_string(i + 1) + ":" + snippet_text(f.name) + "}";
    columns += "- " + std::string(f.name) +
               (f.unit.empty() ? "" : " (" + std::string(f.unit) + ")") + "\n";
  }
  const std::string label(written_keyword(k));
  // A client without snippets inserts the keyword and its comma alone.
  if (!snippets) snippet = label + ", ";
  char sort[8];
  std::snprintf(sort, sizeof sort, "%03zu", order);
  return {{"label", shown(text, label)},
          {"kind", 14},  // Keyword
          {"detail", std::string(k.row)},
          {"documentation",
           {{"kind", "markdown"},
            {"value", "```\n" + std::string(k.example) + "\n```\n" + columns}}},
          {"sortText", sort},
          {"filterText", label},
          {"insertTextFormat", snippets ? 2 : 1},  // Snippet, PlainText
          {"textEdit", {{"range", range}, {"newText", snippet}}}};
}

json header_item(std::string_view header, std::size_t order, const json& range) {
  char sort[8];
  std::snprintf(sort, sizeof sort, "%03zu", order);
  return {{"label", std::string(header)},
          {"kind", 9},  // Module
          {"detail", "section header"},
          {"sortText", sort},
          {"filterText", std::string(header)},
          {"textEdit", {{"range", range}, {"newText", std::string(header)}}}};
}

}  // namespace

json hover(const CheckedPair& pair, SourceKind kind, const Position& at,
           PositionEncoding units) {
  const TextDocument& text = pair.side(kind).text();
  if (!read_by_rows(text)) return nullptr;
  const auto [line, column] = text.to_source(at, units);
  const SourceRows rows = tools::read_source_rows(text.source_bytes(), kind);
  const AuthorRow* row = rows.row(static_cast<std::int32_t>(line));
  if (row == nullptr || row->kind != RowKind::kRow) return nullptr;

  RowHover describer(pair, kind, *row);
  std::string value;
  for (const Keyword* k : row->keywords) value += describer.describe(*k);
  const RowField* field = field_at(*row, column);
  if (field != nullptr && field->field != nullptr) {
    value += "---\n\n" + describe_field(*field, pair.check.model, text);
  }
  const RowField& shown_field =
      field != nullptr ? *field : row->fields.front();
  return {{"contents", {{"kind", "markdown"}, {"value", value}}},
          {"range", range_json(text, line, shown_field.column,
                               std::max(shown_field.end_column(),
                                        shown_field.column + 1),
                               units)}};
}

json document_symbols(const TextDocument& text, SourceKind kind,
                      PositionEncoding units) {
  if (!read_by_rows(text)) return json::array();
  const SourceRows rows = tools::read_source_rows(text.source_bytes(), kind);
  json sections = json::array();
  json* section = nullptr;
  std::int32_t section_end = 0;
  const auto close_section = [&] {
    if (section == nullptr) return;
    (*section)["range"]["end"] =
        protocol::position(text.line_end(section_end, units));
  };
  for (const AuthorRow& row : rows.rows) {
    const json whole =
        range_json(text, row.line, 1, static_cast<std::int64_t>(row.end - row.begin) + 1, units);
    const RowField& first = row.fields.front();
    const json keyword =
        range_json(text, row.line, first.column,
                   std::max(first.end_column(), first.column + 1), units);
    if (row.kind == RowKind::kHeader) {
      close_section();
      sections.push_back(symbol(shown(text, trimmed(first.text)), "section",
                                3 /* Namespace */, whole, keyword));
      sections.back()["children"] = json::array();
      section = &sections.back();
      section_end = row.line;
      continue;
    }
    if (row.kind != RowKind::kRow || section == nullptr) continue;
    section_end = row.line;
    for (const Keyword* k : row.keywords) {
      const RowField* label = field_with_role(row, *k, FieldRole::kLabel);
      const std::string name =
          label != nullptr ? shown(text, trimmed(label->text)) : std::string(k->row);
      (*section)["children"].push_back(
          symbol(name, row_detail(row, *k, text), symbol_kind(*k), whole, keyword));
    }
  }
  close_section();
  return sections;
}

json completion(const TextDocument& text, SourceKind kind, const Position& at,
                PositionEncoding units, bool snippets) {
  json items = json::array();
  const json none = {{"isIncomplete", false}, {"items", items}};
  if (!read_by_rows(text)) return none;
  const auto [line, column] = text.to_source(at, units);
  const SourceRows rows = tools::read_source_rows(text.source_bytes(), kind);
  // The part of the source the cursor stands in: that of its row, or of the
  // last row when it stands beyond them.
  const AuthorRow* row = rows.row(static_cast<std::int32_t>(line));
  SourcePart part = SourcePart::kPreamble;
  if (row != nullptr) {
    part = row->part;
  } else if (!rows.rows.empty()) {
    part = rows.rows.back().part;
  }
  // Only the keyword field is completed: from its first byte to the cursor.
  std::int64_t from = 1;
  if (row != nullptr) {
    const std::string_view bytes =
        rows.text.substr(row->begin, row->end - row->begin);
    const std::size_t comma = bytes.find(',');
    if (comma != std::string_view::npos &&
        column > static_cast<std::int64_t>(comma)) {
      return none;
    }
    from = static_cast<std::int64_t>(
               std::min(bytes.find_first_not_of(' '), bytes.size())) +
           1;
    from = std::min(from, column);
  }
  const json range = range_json(text, line, from, column, units);

  std::size_t order = 0;
  for (const Keyword& k : tools::keywords_of(kind, part)) {
    items.push_back(keyword_item(k, order++, range, text, snippets));
  }
  const std::span<const std::string_view> headers =
      kind == SourceKind::kTrain ? std::span<const std::string_view>(kTrainSectionHeaders)
                                 : std::span<const std::string_view>(kLineSectionHeaders);
  for (const std::string_view h : headers) {
    // Before "[generale]" nothing but it counts; after it, it is not
    // written again.
    if ((part == SourcePart::kPreamble) == (h == kGeneralHeader)) {
      items.push_back(header_item(h, order++, range));
    }
  }
  return {{"isIncomplete", false}, {"items", items}};
}

}  // namespace scenc::lsp
