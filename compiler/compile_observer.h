// A read-only account of a compile as it reads the sources and decides, for
// tools that tell an author what the compiler did: which fields it took as
// keyword fields, which rows it compiled and which fields each row read (and
// how each number's text read), what each row stored and where, the
// decisions a row's fields do not state outright, and each fault as it is
// raised. The compile calls an observer only when one is given, and nothing
// an observer does reaches the compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "compiler/field_reader.h"
#include "compiler/keywords.h"
#include "model/faults.h"

namespace scenc {

// A field as the reader took it: where it begins, and its bytes in the
// source (a quoted field's quotes and what the reader dropped after the
// closing quote included; the separator after it excluded).
struct ReadSpan {
  std::int64_t line = 0;
  std::int64_t column = 0;
  std::size_t begin = 0;
  std::size_t end = 0;
};

// A field of the current row: its index in the keyword's list, or the
// keyword field itself.
inline constexpr int kKeywordField = -1;

// A value the current row stored: into the fields `field` of the cells
// `first` to `last`, or of the slot `first`, or into the metres `first` to
// `last` of the plan. `from` is the row's field it was computed from (the
// first of several), or kKeywordField.
struct Store {
  enum class Target : std::uint8_t { kCells, kSlot, kPlan };
  Target target = Target::kCells;
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::string_view field;  // "value1", "gradient", "num3", "name", "turn"
  std::int64_t value = 0;  // as stored (a text's length for a name)
  int from = kKeywordField;
};

// Something the current row decided that its fields do not state outright.
struct Decision {
  enum class Kind : std::uint8_t {
    // The mountain starts at most 150 m after the previous mountain
    // (`earlier`, whose end is `limit`) and becomes type 3, not `written`.
    kMountainJoined,
    // The curve takes class `value`, from the digit at byte `step` of its
    // keyword field, and turns left when `left` (an "s" in the field).
    kCurveClass,
    // The field `field`'s value, `written` / `step`, is kept as `value`.
    kRounded,
    // A signal time `written` from 1 to 100 is raised to `value` (101).
    kRaised,
  };
  Kind kind = Kind::kRounded;
  int field = kKeywordField;
  std::int64_t written = 0;
  std::int64_t value = 0;
  std::int64_t step = 0;
  std::int64_t limit = 0;
  bool left = false;
  SourceRow earlier;
};

class CompileObserver {
 public:
  virtual ~CompileObserver() = default;

  // The compile begins to read `bytes` as `source`.
  virtual void source_begins(SourceKind /*source*/,
                             std::string_view /*bytes*/) {}
  // The fields read from here on belong to `part` of the source.
  virtual void part_begins(SourcePart /*part*/) {}
  // A keyword field was read; `at_end`: it reached the end of the source,
  // and is never examined.
  virtual void keyword_read(const ReadSpan& /*field*/, bool /*at_end*/) {}
  // The keyword field read last is tested against the rows of `table`.
  virtual void keyword_examined(std::span<const Keyword> /*table*/) {}
  // The handler of `keyword` begins on the keyword field read last.
  virtual void row_begins(const Keyword& /*keyword*/) {}
  // The handler read its field `index` as `type`; `number` is how a number
  // field's text read (a text field's is empty).
  virtual void field_read(std::size_t /*index*/, FieldType /*type*/,
                          const ReadSpan& /*field*/,
                          const NumberToken& /*number*/) {}
  // The current row stored a value.
  virtual void stored(const Store& /*store*/) {}
  // The current row decided something.
  virtual void decided(const Decision& /*decision*/) {}
  // A fault was raised: by the current row when the record's row is the
  // row being compiled, else by the closing steps for an earlier row.
  virtual void fault_raised(const FaultRecord& /*fault*/) {}
  // The handler returned (a handler that fails with the general failure
  // does not return).
  virtual void row_ends() {}
  // A recovering compile goes on past the fault of the rows compiled on
  // the keyword field read last, as if they were not there: what they
  // stored is undone.
  virtual void rows_undone() {}
};

}  // namespace scenc
