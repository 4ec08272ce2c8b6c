// The lint layer of the author check: what the compile read, traced as it
// read it, set beside the rows as the author wrote them, and the warnings
// where the two part ways. Internal to the author check.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "compiler/compile_observer.h"
#include "model/track_model.h"
#include "tools/check/check.h"
#include "tools/check/source_rows.h"

namespace scenc::tools {

// A span the compile read, in 32 bits: only sources of at most
// kLargestCheckedSource bytes are traced, and their lines, columns and byte
// offsets all fit. A trace holds one for every field of a source: half the
// size is half the memory to fault in.
struct TracedSpan {
  std::int32_t line = 0;
  std::int32_t column = 0;
  std::uint32_t begin = 0;
  std::uint32_t end = 0;

  TracedSpan() = default;
  TracedSpan(const ReadSpan& s)  // NOLINT: a ReadSpan of a traced source
      : line(static_cast<std::int32_t>(s.line)),
        column(static_cast<std::int32_t>(s.column)),
        begin(static_cast<std::uint32_t>(s.begin)),
        end(static_cast<std::uint32_t>(s.end)) {}
  operator ReadSpan() const {  // NOLINT
    return ReadSpan{line, column, begin, end};
  }
};
static_assert(kLargestCheckedSource < (std::size_t{1} << 31));

// What the compile read from one source.
struct TracedSource {
  struct Keyword {
    TracedSpan span;
    SourcePart part = SourcePart::kPreamble;
    bool at_end = false;    // reached the end of the source: not examined
    bool examined = false;  // tested against the keywords of its part
  };
  struct Field {
    TracedSpan span;
    FieldType type = FieldType::kText;
    std::uint32_t index = 0;  // in its keyword's list
  };
  struct Row {
    const scenc::Keyword* keyword = nullptr;
    std::uint32_t keyword_read = 0;  // index into `keywords`
    std::uint32_t first_field = 0;   // index into `fields`
    std::uint32_t field_count = 0;
    bool returned = false;  // the handler returned (no general failure)
  };

  bool begun = false;
  std::vector<Keyword> keywords;
  std::vector<Field> fields;
  std::vector<Row> rows;
  // The parts the compile reached (a train source without "[generale]"
  // never reaches its body).
  bool reached_general = false;
  bool reached_body = false;

  std::span<const Field> fields_of(const Row& r) const {
    return std::span<const Field>(fields).subspan(r.first_field, r.field_count);
  }

  // Empties it for a compile that begins to read its source, keeping the
  // room its lists have.
  void restart() {
    begun = true;
    keywords.clear();
    fields.clear();
    rows.clear();
    reached_general = false;
    reached_body = false;
  }
};

class LintTrace final : public CompileObserver {
 public:
  // Sources larger than kLargestCheckedSource are not traced.
  explicit LintTrace(std::size_t line_size = 0, std::size_t train_size = 0)
      : skip_line(line_size > kLargestCheckedSource),
        skip_train(train_size > kLargestCheckedSource) {}

  bool skip_line = false;
  bool skip_train = false;
  TracedSource line;
  TracedSource train;

  // Makes room for the trace of two sources of these rows: a compile reads
  // about as many fields as their authors wrote, and a keyword field on
  // each line, so that the lists do not grow by copying themselves as the
  // compile reads.
  void expect(const SourceRows& line_rows, const SourceRows& train_rows);

  void source_begins(SourceKind source, std::string_view bytes) override;
  void part_begins(SourcePart part) override;
  void keyword_read(const ReadSpan& field, bool at_end) override;
  void keyword_examined(std::span<const scenc::Keyword> table) override;
  void row_begins(const scenc::Keyword& keyword) override;
  void field_read(std::size_t index, FieldType type,
                  const ReadSpan& field) override;
  void row_ends() override;

 private:
  TracedSource* current_ = nullptr;
  SourcePart part_ = SourcePart::kPreamble;
  // Keyword fields are kept up to kMostFieldsOfALine a line, as the rows
  // are; one beyond that is kept only when it begins a row.
  std::int64_t line_ = 0;
  std::size_t on_line_ = 0;
  std::optional<TracedSource::Keyword> unkept_;
};

// `s` with its capitals A to Z in small letters, as the keyword tests fold
// them.
std::string lowered(std::string_view s);

// Text for a message: single-byte text shown as a terminal shows UTF-8,
// blanks around it dropped, a long text shortened, a tab shown as \t.
std::string shown(std::string_view s);

// The fewest edits (insertions, deletions, substitutions, swaps of two
// neighbours) after which `text` contains `word`, as the compiler's keyword
// tests ask: 0 when it already does.
int edits_to_contain(std::string_view text, std::string_view word);

// The warnings on two sources, from the trace of their compile and the model
// of the sources as given, as `options` enables them. `faulted_rows`: the
// keyword fields of the rows that raised a fault, about which the fault says
// what there is to say.
std::vector<AuthorDiagnostic> lint_sources(
    const LintTrace& trace, const SourceRows& line, const SourceRows& train,
    const Model& model, const std::vector<SourcePlace>& faulted_rows,
    const CheckOptions& options);

}  // namespace scenc::tools
