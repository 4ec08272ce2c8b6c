#include "tools/author_lint.h"

namespace scenc::tools {

void LintTrace::source_begins(SourceKind source, std::string_view) {
  current_ = source == SourceKind::kTrain ? &train : &line;
  *current_ = TracedSource{};
  current_->begun = true;
  part_ = SourcePart::kPreamble;
}

void LintTrace::part_begins(SourcePart part) {
  part_ = part;
  if (current_ == nullptr) return;
  if (part == SourcePart::kGeneral) current_->reached_general = true;
  if (part == SourcePart::kBody) current_->reached_body = true;
}

void LintTrace::keyword_read(const ReadSpan& field, bool at_end) {
  if (current_ == nullptr) return;
  current_->keywords.push_back({field, part_, at_end, false});
}

void LintTrace::keyword_examined(std::span<const scenc::Keyword>) {
  if (current_ == nullptr || current_->keywords.empty()) return;
  current_->keywords.back().examined = true;
}

void LintTrace::row_begins(const scenc::Keyword& keyword) {
  if (current_ == nullptr) return;
  TracedSource::Row row;
  row.keyword = &keyword;
  row.keyword_read = current_->keywords.empty() ? 0 : current_->keywords.size() - 1;
  row.first_field = current_->fields.size();
  current_->rows.push_back(row);
}

void LintTrace::field_read(std::size_t index, FieldType type,
                           const ReadSpan& field) {
  if (current_ == nullptr || current_->rows.empty()) return;
  current_->fields.push_back({field, type, index});
  ++current_->rows.back().field_count;
}

void LintTrace::row_ends() {
  if (current_ == nullptr || current_->rows.empty()) return;
  current_->rows.back().returned = true;
}

std::vector<AuthorDiagnostic> lint_sources(const LintTrace&, const SourceRows&,
                                           const SourceRows&, const Model&,
                                           const CheckOptions&) {
  return {};
}

}  // namespace scenc::tools
