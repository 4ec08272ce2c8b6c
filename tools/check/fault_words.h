// Each fault the compile raised, told in an author's words: the template of
// its number and cause (model/fault_messages.def) filled from the record the
// compile made and from its account of the row, the field's text when it
// read as 0, and notes at the rows it meets. Internal to the author check.
#pragma once

#include <cstdint>
#include <optional>
#include <tuple>
#include <vector>

#include "model/track_model.h"
#include "tools/check/account.h"
#include "tools/check/check.h"
#include "tools/check/source_rows.h"

namespace scenc::tools {

// Which faults of one number are one mistake (model/fault_messages.def).
enum class FaultRoot : std::uint8_t {
  kEachRow,
  kSameCause,
  kSameSource,
  kSameRelatedRow,
};

// What a fault is said with: the compile's account of both sources and the
// author's rows (for where a row began on its line).
struct FaultContext {
  const CompileAccountData& account;
  const SourceRows& line_rows;
  const SourceRows& train_rows;

  const SourceRows& rows_of(SourceKind s) const {
    return s == SourceKind::kTrain ? train_rows : line_rows;
  }
};

// One fault as a diagnostic, with `model` the compile that raised it.
AuthorDiagnostic fault_diagnostic(const FaultRecord& f, const Model& model,
                                  const FaultContext& context);

// The mistake a fault belongs to: faults with one key are told once, the
// first with a note that counts the others. None for a fault that is a
// mistake of its own row.
using FaultRootKey =
    std::tuple<std::int32_t, SourceKind, FaultCause, std::int64_t,
               std::int64_t, std::int64_t, std::size_t>;
std::optional<FaultRootKey> root_of(const FaultRecord& f);

// The places of the fields a fault speaks of (its own field, and those of
// its row that read as 0 from text): a warning there says nothing more.
std::vector<SourcePlace> places_told(const FaultRecord& f,
                                     const FaultContext& context);

}  // namespace scenc::tools
