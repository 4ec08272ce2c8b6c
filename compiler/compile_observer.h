// A read-only view of a compile as it reads the sources, for tools that set
// what the compiler read beside what an author wrote: which fields it took as
// keyword fields, which rows it compiled and which fields each row read, and
// in which part of a source. The compile calls an observer only when one is
// given, and nothing an observer does reaches the compile.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

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
  // The handler read its field `index` as `type`.
  virtual void field_read(std::size_t /*index*/, FieldType /*type*/,
                          const ReadSpan& /*field*/) {}
  // The handler returned (a handler that fails with the general failure
  // does not return).
  virtual void row_ends() {}
};

}  // namespace scenc
