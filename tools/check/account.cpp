#include "tools/check/account.h"

namespace scenc::tools {

std::string_view SourceAccount::text_of(const ReadSpan& s) const {
  std::string_view t = bytes_of(s);
  if (!t.empty() && t.front() == '"') {
    t.remove_prefix(1);
    const std::size_t close = t.find('"');
    if (close != std::string_view::npos) t = t.substr(0, close);
  }
  return t;
}

const SourceAccount::Row* SourceAccount::row_at(std::size_t begin) const {
  // Rows come in the order of their keyword fields along the source.
  const auto after = std::upper_bound(
      rows.begin(), rows.end(), begin,
      [](std::size_t b, const Row& r) { return b < r.keyword_span.begin; });
  if (after == rows.begin()) return nullptr;
  const Row& r = *(after - 1);
  return r.keyword_span.begin == begin ? &r : nullptr;
}

const SourceAccount::Field* SourceAccount::field_at(const Row& r,
                                                    std::int64_t line,
                                                    std::int64_t column) const {
  for (const Field& f : fields_of(r)) {
    if (f.span.line == line && f.span.column == column) return &f;
  }
  return nullptr;
}

std::string_view SourceAccount::field_name(const Row& r, std::size_t index) {
  return index < r.keyword->fields.size() ? r.keyword->fields[index].name
                                          : std::string_view("field");
}

void AccountKeeper::expect(SourceKind source, std::size_t rows,
                           std::size_t fields) {
  SourceAccount& a = source == SourceKind::kTrain ? account_.train
                                                  : account_.line;
  a.keywords.reserve(rows + 1);
  a.rows.reserve(rows + 1);
  a.fields.reserve(fields + 1);
  // A row stores about one value per field it reads.
  a.stores.reserve(fields + 1);
}

void AccountKeeper::source_begins(SourceKind source, std::string_view bytes) {
  current_ = source == SourceKind::kTrain ? &account_.train : &account_.line;
  SourceAccount& a = *current_;
  a.begun = true;
  a.whole = bytes.size() <= kLargestCheckedSource;
  a.bytes = bytes;
  a.reached_general = false;
  a.reached_body = false;
  a.keywords.clear();
  a.rows.clear();
  a.fields.clear();
  a.stores.clear();
  a.decisions.clear();
  part_ = SourcePart::kPreamble;
  first_row_on_keyword_ = 0;
}

void AccountKeeper::part_begins(SourcePart part) {
  part_ = part;
  if (current_ == nullptr) return;
  if (part == SourcePart::kGeneral) current_->reached_general = true;
  if (part == SourcePart::kBody) current_->reached_body = true;
}

void AccountKeeper::keyword_read(const ReadSpan& field, bool at_end) {
  if (current_ == nullptr) return;
  drop_unless_faulted();
  keyword_ = field;
  keyword_examined_ = false;
  first_row_on_keyword_ = current_->rows.size();
  if (current_->whole) {
    current_->keywords.push_back({field, part_, at_end, false});
  }
}

void AccountKeeper::keyword_examined(std::span<const Keyword>) {
  if (current_ == nullptr) return;
  keyword_examined_ = true;
  if (current_->whole && !current_->keywords.empty()) {
    current_->keywords.back().examined = true;
  }
}

void AccountKeeper::row_begins(const Keyword& keyword) {
  if (current_ == nullptr) return;
  SourceAccount& a = *current_;
  drop_unless_faulted();
  SourceAccount::Row row;
  row.keyword = &keyword;
  row.keyword_span = keyword_;
  row.part = part_;
  row.keyword_read = static_cast<std::uint32_t>(
      a.keywords.empty() ? 0 : a.keywords.size() - 1);
  row.first_field = static_cast<std::uint32_t>(a.fields.size());
  row.first_store = static_cast<std::uint32_t>(a.stores.size());
  row.first_decision = static_cast<std::uint32_t>(a.decisions.size());
  a.rows.push_back(row);
}

void AccountKeeper::field_read(std::size_t index, FieldType type,
                               const ReadSpan& field,
                               const NumberToken& number) {
  if (current_ == nullptr || current_->rows.empty()) return;
  SourceAccount::Field f;
  f.span = field;
  f.value = number.value;
  f.index = static_cast<std::uint32_t>(index);
  f.type = type;
  f.reading = number.kind;
  current_->fields.push_back(f);
  ++current_->rows.back().field_count;
}

void AccountKeeper::stored(const Store& store) {
  if (current_ == nullptr || current_->rows.empty()) return;
  current_->stores.push_back(store);
  ++current_->rows.back().store_count;
}

void AccountKeeper::decided(const Decision& decision) {
  if (current_ == nullptr || current_->rows.empty()) return;
  current_->decisions.push_back(decision);
  ++current_->rows.back().decision_count;
}

void AccountKeeper::fault_raised(const FaultRecord& fault) {
  if (current_ == nullptr || current_->rows.empty()) return;
  SourceAccount::Row& r = current_->rows.back();
  if (fault.row.begin == r.keyword_span.begin && fault.row.keyword.known() &&
      !r.returned) {
    r.faulted = true;
  }
}

void AccountKeeper::row_ends() {
  if (current_ == nullptr || current_->rows.empty()) return;
  current_->rows.back().returned = true;
}

void AccountKeeper::rows_undone() {
  if (current_ == nullptr) return;
  for (std::size_t i = first_row_on_keyword_; i < current_->rows.size(); ++i) {
    current_->rows[i].undone = true;
  }
}

void AccountKeeper::drop_unless_faulted() {
  SourceAccount& a = *current_;
  if (a.whole || a.rows.empty() || a.rows.back().faulted) return;
  const SourceAccount::Row& r = a.rows.back();
  a.fields.resize(r.first_field);
  a.stores.resize(r.first_store);
  a.decisions.resize(r.first_decision);
  a.rows.pop_back();
}

}  // namespace scenc::tools
