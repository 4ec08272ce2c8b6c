#include "compiler/compile_run.h"

namespace scenc {
namespace {

char lower_ascii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

}  // namespace

bool contains_ignoring_case(std::string_view field, std::string_view word) {
  if (word.size() > field.size()) return false;
  const char first = lower_ascii(word[0]);
  for (std::size_t i = 0; i + word.size() <= field.size(); ++i) {
    if (lower_ascii(field[i]) != first) continue;
    std::size_t k = 1;
    while (k < word.size() && lower_ascii(field[i + k]) == lower_ascii(word[k])) ++k;
    if (k == word.size()) return true;
  }
  return false;
}

void CompileRun::begin_source(SourceKind which, std::string text) {
  bytes = std::move(text);
  reader = FieldReader(bytes);
  source = which;
}

std::string_view CompileRun::read_keyword() {
  const std::string_view field = reader.read_text_field();
  row = SourcePlace{source, reader.field_line(), reader.field_column()};
  m.input_line.assign(field);
  return field;
}

bool CompileRun::next_body_keyword(std::string_view& keyword) {
  for (int comments = 0;; ++comments) {
    if (reader.at_end()) return false;
    keyword = read_keyword();
    if (reader.at_end()) return false;
    if (comments == 2 || !is_comment(keyword)) return true;
  }
}

void CompileRun::remove_source(SourceKind which) {
  bool& removed = which == SourceKind::kLine ? line_removed : train_removed;
  removed = true;
  if (!sources.remove(which)) throw GeneralFailure{};
}

std::int64_t CompileRun::last_cell() const {
  if (!m.has_track_cells()) throw GeneralFailure{};
  return m.last_cell();
}

TrackCell& CompileRun::cell(std::int64_t i) {
  if (i < 0 || i > last_cell()) throw GeneralFailure{};
  return m.track_cells[static_cast<std::size_t>(i)];
}

std::string slot_text(std::string_view text) {
  if (text.size() > kLongestSlotName) throw GeneralFailure{};
  return std::string(text);
}

}  // namespace scenc
