// The field reader of both source files: one stream of comma-separated text
// and number fields that runs across line ends. It reads from bytes in memory
// and remembers where each field started, so that a fault can point at the
// row in the source.
#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string_view>

#include "model/faults.h"

namespace scenc {

// A failure that ends the compile with the general fault: a read past the end
// of a source, a number too large for the field it is read into, an index
// outside the grid or the slots. Thrown inside the compile only; the compile
// catches it and records the fault.
struct GeneralFailure {
  bool past_end = false;  // a read that began when no byte was left
  FaultCauseDetail cause;
  // The row and field the failure belongs to, when that is not the row being
  // read (a speed of an earlier row that does not fit its cell).
  std::optional<SourceRow> row;
  SourcePlace field;
};

// A number field's token as the reader takes it: an optional sign and digits
// are a number; an empty token reads as 0 and so does anything else.
struct NumberToken {
  enum class Kind : std::uint8_t {
    kEmpty,      // nothing before the comma, blank or line end: 0
    kNumber,     // a whole number
    kNotNumber,  // anything else: 0
    kTooLarge,   // a whole number too large for 64 bits
  };
  Kind kind = Kind::kEmpty;
  std::int64_t value = 0;  // 0 unless a number
};
NumberToken parse_number_token(std::string_view token);

inline GeneralFailure failure_of(
    FaultCause cause, std::optional<std::int64_t> value = std::nullopt,
    std::int64_t lowest = 0, std::int64_t highest = 0) {
  GeneralFailure failure;
  failure.cause = {cause, value, lowest, highest};
  return failure;
}

inline GeneralFailure past_end_failure() {
  GeneralFailure failure;
  failure.past_end = true;
  failure.cause.cause = FaultCause::kReadPastEnd;
  return failure;
}

class FieldReader {
 public:
  explicit FieldReader(std::string_view bytes) : bytes_(bytes) {}

  // True once the last field has been read together with its line end.
  bool at_end() const { return pos_ >= bytes_.size(); }

  // A text field: leading blanks skipped; a field that begins with a double
  // quote runs to the closing quote (across line ends) and whatever follows
  // it up to the next comma or line end is dropped; any other field runs to
  // the next comma or line end. The comma or line end is consumed; trailing
  // blanks stay in the field. Throws GeneralFailure at the end of the bytes.
  std::string_view read_text_field();

  // A number field: an optional sign and digits after leading blanks, ending
  // at a comma, blank or line end. A number that ends at a blank absorbs the
  // blanks after it and one comma right after them, but not a line end. An
  // empty field or one that is not a number reads as 0. The result is empty
  // when the number is too large for 64 bits. Throws GeneralFailure at the
  // end of the bytes.
  std::optional<std::int64_t> read_number_field();
  // The same field's token, unparsed: for a reader that wants where the
  // field lies and what it holds, not its value.
  std::string_view read_number_token();

  // A number read into a field of type T: one that does not fit T is the
  // general failure.
  template <typename T>
  T read_number() {
    const auto v = read_number_field();
    if (!v || *v < std::numeric_limits<T>::min() ||
        *v > std::numeric_limits<T>::max()) {
      GeneralFailure failure;
      failure.cause = {FaultCause::kNumberTooLarge, v,
                       std::numeric_limits<T>::min(),
                       std::numeric_limits<T>::max()};
      throw failure;
    }
    return static_cast<T>(*v);
  }

  // Where the last field read began (1-based line and column in bytes).
  // Both count on 64 bits: a source may hold more than 2^31 line ends, or
  // as many bytes on one line.
  std::int64_t field_line() const { return field_line_; }
  std::int64_t field_column() const { return field_column_; }
  // The byte offsets of the last field read: its first byte (a quote
  // included) and the byte after its last one, before the blanks, comma or
  // line end that close it.
  std::size_t field_begin() const { return field_begin_; }
  std::size_t field_end() const { return field_end_; }
  // Where the next read would begin.
  std::int64_t line() const { return line_; }
  std::int64_t column() const {
    return static_cast<std::int64_t>(pos_ - line_start_) + 1;
  }

 private:
  bool at_line_end() const {
    return pos_ < bytes_.size() && (bytes_[pos_] == '\r' || bytes_[pos_] == '\n');
  }
  void skip_blanks();
  void consume_line_end();
  // Consumes the comma or line end that ends a field, if any.
  void consume_separator();
  void begin_field();
  void advance_over(std::size_t end);

  std::string_view bytes_;
  std::size_t pos_ = 0;
  std::size_t line_start_ = 0;
  std::int64_t line_ = 1;
  std::int64_t field_line_ = 1;
  std::int64_t field_column_ = 1;
  std::size_t field_begin_ = 0;
  std::size_t field_end_ = 0;
};

}  // namespace scenc
