// The compile's own account of two sources, as the author check keeps it:
// every keyword field the compile read, every row it compiled with the
// fields it took (and how each number's text read), what each row stored,
// what it decided and whether a fault undid it. The check, the language
// server and the plot word what the compiler did from this, never from a
// second reading of the sources.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "compiler/compile_observer.h"

namespace scenc::tools {

// The largest source whose every row the account keeps. An author's sources
// are far smaller (a line of 1,000,000 m with a row every 500 m takes about
// 100 KB); of a larger one only the rows that raised a fault are kept, so
// that the account never costs memory many times the source's size.
inline constexpr std::size_t kLargestCheckedSource = std::size_t{1} << 20;

// A span the compile read.
struct AccountSpan {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::size_t begin = 0;
  std::size_t end = 0;

  AccountSpan() = default;
  AccountSpan(const ReadSpan& s)  // NOLINT: the same span
      : line(s.line), column(s.column), begin(s.begin), end(s.end) {}
  operator ReadSpan() const {  // NOLINT
    return ReadSpan{line, column, begin, end};
  }
};

// What the compile read and decided in one source.
struct SourceAccount {
  struct KeywordField {
    AccountSpan span;
    SourcePart part = SourcePart::kPreamble;
    bool at_end = false;    // reached the end of the source: not examined
    bool examined = false;  // tested against the keywords of its part
  };
  struct Field {
    AccountSpan span;
    std::int64_t value = 0;  // a number as read (0 unless a whole number)
    std::uint32_t index = 0;  // in its keyword's list
    FieldType type = FieldType::kText;
    NumberToken::Kind reading = NumberToken::Kind::kEmpty;
  };
  struct Row {
    const Keyword* keyword = nullptr;
    AccountSpan keyword_span;
    SourcePart part = SourcePart::kBody;
    // Index into `keywords`, where every keyword field is kept.
    std::uint32_t keyword_read = 0;
    std::uint32_t first_field = 0;
    std::uint32_t field_count = 0;
    std::uint32_t first_store = 0;
    std::uint32_t store_count = 0;
    std::uint32_t first_decision = 0;
    std::uint32_t decision_count = 0;
    bool returned = false;  // the handler returned (no general failure)
    bool faulted = false;   // the row raised a fault
    bool undone = false;    // a recovering compile went on as if it were not
  };

  bool begun = false;
  // Every row and keyword field kept (the source is no larger than
  // kLargestCheckedSource), or only the rows that raised a fault.
  bool whole = true;
  std::string_view bytes;
  bool reached_general = false;
  bool reached_body = false;
  std::vector<KeywordField> keywords;
  std::vector<Row> rows;
  std::vector<Field> fields;
  std::vector<Store> stores;
  std::vector<Decision> decisions;

  std::span<const Field> fields_of(const Row& r) const {
    return std::span<const Field>(fields).subspan(r.first_field,
                                                  r.field_count);
  }
  std::span<const Store> stores_of(const Row& r) const {
    return std::span<const Store>(stores).subspan(r.first_store,
                                                  r.store_count);
  }
  std::span<const Decision> decisions_of(const Row& r) const {
    return std::span<const Decision>(decisions)
        .subspan(r.first_decision, r.decision_count);
  }
  // The bytes a span covers.
  std::string_view bytes_of(const ReadSpan& s) const {
    return bytes.substr(std::min(s.begin, bytes.size()),
                        s.end > s.begin ? s.end - s.begin : 0);
  }
  // A text field as the reader returned it: a quoted one without its quotes
  // and what follows the closing one.
  std::string_view text_of(const ReadSpan& s) const;
  // The rows compiled on the keyword field that begins at byte `begin` (a
  // fault's or a placement's row), the last first; empty when not kept.
  const Row* row_at(std::size_t begin) const;
  // The row's field that begins at (line, column), or null.
  const Field* field_at(const Row& r, std::int64_t line,
                        std::int64_t column) const;
  // The name of a row's field (the keyword field's for kKeywordField).
  static std::string_view field_name(const Row& r, std::size_t index);
};

struct CompileAccountData {
  SourceAccount line;
  SourceAccount train;
  const SourceAccount& of(SourceKind s) const {
    return s == SourceKind::kTrain ? train : line;
  }
};

// The observer that keeps the account of one compile.
class AccountKeeper final : public CompileObserver {
 public:
  explicit AccountKeeper(CompileAccountData& account) : account_(account) {}

  void source_begins(SourceKind source, std::string_view bytes) override;
  void part_begins(SourcePart part) override;
  void keyword_read(const ReadSpan& field, bool at_end) override;
  void keyword_examined(std::span<const Keyword> table) override;
  void row_begins(const Keyword& keyword) override;
  void field_read(std::size_t index, FieldType type, const ReadSpan& field,
                  const NumberToken& number) override;
  void stored(const Store& store) override;
  void decided(const Decision& decision) override;
  void fault_raised(const FaultRecord& fault) override;
  void row_ends() override;
  void rows_undone() override;

  // Makes room for a compile of sources of about this many rows and fields,
  // so that the lists do not grow by copying themselves as it reads.
  void expect(SourceKind source, std::size_t rows, std::size_t fields);

 private:
  // Lets go of what a row of a source kept only in part needs no more.
  void drop_unless_faulted();

  CompileAccountData& account_;
  SourceAccount* current_ = nullptr;
  SourcePart part_ = SourcePart::kPreamble;
  ReadSpan keyword_;
  bool keyword_examined_ = false;
  // The rows begun on the keyword field read last.
  std::size_t first_row_on_keyword_ = 0;
};

}  // namespace scenc::tools
