// The author check: every fault the compile raises on two sources, each at
// the row and field that raised it, the faults that follow a stage-ending
// fault (found by compiling again with the offending row blanked), and
// warnings where what the author wrote and what the compiler will do part
// ways. A library function over bytes in memory: it never touches the file
// system, and nothing of it reaches the compile of the sources as given.
#pragma once

#include <cstdint>
#include <iterator>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "model/faults.h"
#include "model/track_model.h"
#include "tools/check/account.h"

namespace scenc::tools {

// ---- The warnings ---------------------------------------------------------

// What a warning reads: the compile's account alone, or also the layout of
// the author's lines.
enum class WarningBasis : std::uint8_t { kAccount, kLines };

// Whether the check gives the change that mends a warning with it.
enum class WarningFix : std::uint8_t { kNone, kGiven };

struct WarningInfo {
  std::string_view name;  // stable, kebab-case
  bool on_by_default;
  WarningBasis reads;
  WarningFix mend;
  std::string_view description;  // one line
  std::string_view example;      // rows that raise it, split by '\n'
  std::string_view fix;          // one line
};

namespace warning {
enum Id : int {
#define WARNING(constant, name, on, reads, mend, description, example, fix) \
  constant,
#include "tools/check/warnings.def"
#undef WARNING
};
}  // namespace warning

inline constexpr WarningInfo kWarnings[] = {
#define WARNING(constant, name, on, reads, mend, description, example, fix) \
  {name, on, WarningBasis::reads, WarningFix::mend, description, example, fix},
#include "tools/check/warnings.def"
#undef WARNING
};

// The table's row for a warning's name, or null.
const WarningInfo* find_warning(std::string_view name);

// The check name of a fault: "fault-16".
std::string fault_check_name(std::int32_t code);

// ---- Diagnostics ----------------------------------------------------------

enum class Severity { kError, kWarning, kNote };
// "error", "warning", "note".
std::string severity_name(Severity severity);

struct DiagnosticNote {
  std::string message;
  SourceKind source = SourceKind::kNone;
  std::int64_t line = 0, column = 0;  // 1-based; 0 = unknown
  std::int64_t end_column = 0;        // just after the field; 0 = unknown
};

// The change of the source that mends what a diagnostic tells, worked out
// where the check decides it: on `line`, the bytes from `column` to just
// before `end_column` (1-based) become `replacement`, bytes as the source
// holds them.
struct DiagnosticFix {
  std::string title;  // an author's words: "Write `stazione`"
  std::int64_t line = 0, column = 0, end_column = 0;
  std::string replacement;
};

struct AuthorDiagnostic {
  Severity severity = Severity::kError;
  std::string check;    // "fault-16", "unknown-keyword", ...
  std::string message;  // one line, an author's words
  SourceKind source = SourceKind::kNone;
  // 1-based, in bytes; 0 = unknown. end_column is just after the field.
  std::int64_t line = 0, column = 0, end_column = 0;
  std::optional<std::int32_t> position;  // metres along the line
  std::optional<std::int32_t> code;      // the fault number, for faults
  std::optional<std::int32_t> cell;      // the taken cell a fault names
  bool after_recovery = false;           // found after blanking a row
  std::vector<DiagnosticNote> notes;     // related rows
  std::optional<DiagnosticFix> fix;      // in the diagnostic's source
};

struct CheckOptions {
  // At most this many errors (0: no cap); the rest are not looked for.
  int max_errors = 50;
  // Warning names silenced (-Wno-NAME) and enabled (-WNAME).
  std::set<std::string> disabled;
  std::set<std::string> enabled;
  // Warnings fail the check (-Werror, --strict); the caller decides.
  bool strict = false;
  // As a build's `write_line_file`: 0 compiles without the line profile
  // (curve rows are then not recognised).
  std::int32_t write_line_file = 1;
  // Compile again past each fault that ends a stage, to find the faults
  // of the rows behind it. Without, the check ends after one compile and
  // says whether recovery was left to do: an editor shows that much at
  // once and the rest when it has it.
  bool recover = true;
  // Once asked, no further recovery compile begins, and the check says
  // that recovery was left to do: an editor stops a check whose sources
  // have changed since.
  std::stop_token stop;
};

struct CheckResult {
  // Errors in the order found (each source's in source order, the
  // finishing pass's after them), then warnings in source order.
  std::vector<AuthorDiagnostic> diagnostics;
  // The compile of the sources as given, finished as a build finishes it:
  // exactly the model `scenarioc compile` writes its files from.
  Model model;
  // 0, or the number of the build's error exit (no files are written then).
  std::int32_t error_exit = 0;
  // The cap on errors was reached: more may follow.
  bool truncated = false;
  // How many compiles the recovery ran after the first.
  int recovery_compiles = 0;
  // Without `recover`: a fault ended a stage, and a check with recovery
  // may find more behind it.
  bool recovery_left = false;
  // The compile's own account of the sources as given: the rows it
  // compiled, what each read, stored and decided. Its views of the bytes
  // are cleared (they looked into the sources checked): spans and offsets
  // stay, for whatever holds the sources to look them up in.
  CompileAccountData account;

  int errors() const;
  int warnings() const;
};

// Whether a warning is reported under `options`.
bool warning_enabled(const WarningInfo& w, const CheckOptions& options);

// Checks a line source and a train source of the scenario named
// `line_name` / `train_number`.
CheckResult check_sources(std::string_view line_text,
                          std::string_view train_text,
                          std::string_view line_name,
                          std::string_view train_number,
                          const CheckOptions& options = {});

}  // namespace scenc::tools
