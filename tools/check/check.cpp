#include "tools/check/check.h"

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <utility>

#include "compiler/memorizza_dati.h"
#include "compiler/source_store.h"
#include "scenario/build_run.h"
#include "tools/check/fault_words.h"
#include "tools/check/lint.h"

namespace scenc::tools {
namespace {

std::string num(std::int64_t v) { return std::to_string(v); }

// A fault's place and numbers, to tell a fault found again after recovery
// from a new one (one slow order may raise one fault at several cells).
using FaultKey = std::tuple<std::int32_t, SourceKind, std::int64_t,
                            std::int64_t, std::int64_t, std::int64_t>;
FaultKey key_of(const FaultRecord& f) {
  return {f.code,        f.field.source,           f.field.line,
          f.field.column, f.position.value_or(-1), f.cell.value_or(-1)};
}

bool ends_a_stage(const FaultRecord& f) {
  return f.ending == FaultEnding::kEndsCompile ||
         f.ending == FaultEnding::kSkipsRestOfSource;
}

// The compile of two sources, as a build runs it or recovering, with its
// account kept in `account`. The compile reads views of the caller's
// bytes: however many compiles a check runs, the sources are held once.
struct Compiled {
  Model model;
  BuildOutcome outcome;
};
void compile(Compiled& c, std::string_view line, std::string_view train,
             std::string_view line_name, std::string_view train_number,
             const CheckOptions& options, CompileAccountData& account,
             CompileMode mode) {
  c.model.line_name = line_name;
  c.model.train_number = train_number;
  SourceViews sources{line, train};
  AccountKeeper keeper(account);
  c.outcome = compile_scenario(c.model, options.write_line_file, sources,
                               &keeper, mode);
}

int severity_rank(Severity s) {
  return s == Severity::kError ? 0 : s == Severity::kWarning ? 1 : 2;
}

// Whether the compile whose faults are `log` read `source` to its end: no
// fault of it ended its stage where a recovering compile could not go on.
bool read_whole(const std::vector<FaultRecord>& log, SourceKind source,
                bool recovered) {
  return std::none_of(log.begin(), log.end(), [&](const FaultRecord& f) {
    return ends_a_stage(f) && f.field.source == source &&
           (!recovered || !can_go_on_past(f));
  });
}

// The errors of a check, gathered fault by fault: each once, those of one
// root in the first with a count of the others, up to the cap.
class Errors {
 public:
  Errors(const FaultContext& context, const CheckOptions& options)
      : context_(context), options_(options) {}

  // Adds a fault of the compile that left `model`; false once the cap is
  // reached.
  bool add(const FaultRecord& f, const Model& model, bool after_recovery) {
    if (!seen_.insert(key_of(f)).second) return true;
    const std::optional<FaultRootKey> root = root_of(f);
    if (root) {
      const auto first = roots_.find(*root);
      if (first != roots_.end()) {
        Root& r = first->second;
        if (r.more++ == 0) r.second = f.field;
        for (const SourcePlace& p : places_told(f, context_)) told_.insert(p);
        return true;
      }
    }
    if (options_.max_errors > 0 &&
        static_cast<int>(errors_.size()) >= options_.max_errors) {
      return false;
    }
    AuthorDiagnostic d = fault_diagnostic(f, model, context_);
    if (after_recovery) {
      d.after_recovery = true;
      d.message += " (found after recovery)";
    }
    if (root) roots_.emplace(*root, Root{errors_.size(), 0, {}});
    for (const SourcePlace& p : places_told(f, context_)) told_.insert(p);
    errors_.push_back(std::move(d));
    return true;
  }

  // The errors, each root's first with a note that counts the rest.
  std::vector<AuthorDiagnostic> take() {
    for (const auto& [key, r] : roots_) {
      if (r.more == 0) continue;
      AuthorDiagnostic& d = errors_[r.first];
      DiagnosticNote n;
      n.message = num(r.more) +
                  (r.more == 1 ? " more row raises" : " more rows raise") +
                  " this fault for the same cause, the first here";
      n.source = r.second.source;
      n.line = r.second.line;
      n.column = r.second.column;
      n.end_column = r.second.column + 1;
      d.notes.push_back(std::move(n));
    }
    return std::move(errors_);
  }

  // Whether a warning stands where a fault already speaks.
  bool told(const AuthorDiagnostic& w) const {
    return told_.count(SourcePlace{w.source, w.line, w.column}) != 0;
  }

 private:
  struct Root {
    std::size_t first = 0;  // in errors_
    std::int64_t more = 0;
    SourcePlace second;
  };
  struct PlaceLess {
    bool operator()(const SourcePlace& a, const SourcePlace& b) const {
      return std::tie(a.source, a.line, a.column) <
             std::tie(b.source, b.line, b.column);
    }
  };
  const FaultContext& context_;
  const CheckOptions& options_;
  std::vector<AuthorDiagnostic> errors_;
  std::set<FaultKey> seen_;
  std::map<FaultRootKey, Root> roots_;
  std::set<SourcePlace, PlaceLess> told_;
};

}  // namespace

std::string severity_name(Severity severity) {
  switch (severity) {
    case Severity::kError:
      return "error";
    case Severity::kWarning:
      return "warning";
    case Severity::kNote:
      return "note";
  }
  return "error";
}

std::string fault_check_name(std::int32_t code) {
  return "fault-" + std::to_string(code);
}

const WarningInfo* find_warning(std::string_view name) {
  for (const WarningInfo& w : kWarnings) {
    if (w.name == name) return &w;
  }
  return nullptr;
}

bool warning_enabled(const WarningInfo& w, const CheckOptions& options) {
  const std::string name(w.name);
  if (options.disabled.count(name) != 0) return false;
  return w.on_by_default || options.enabled.count(name) != 0;
}

int CheckResult::errors() const {
  return static_cast<int>(std::count_if(diagnostics.begin(), diagnostics.end(),
                                        [](const AuthorDiagnostic& d) {
                                          return d.severity == Severity::kError;
                                        }));
}

int CheckResult::warnings() const {
  return static_cast<int>(std::count_if(
      diagnostics.begin(), diagnostics.end(), [](const AuthorDiagnostic& d) {
        return d.severity == Severity::kWarning;
      }));
}

CheckResult check_sources(std::string_view line_text,
                          std::string_view train_text,
                          std::string_view line_name,
                          std::string_view train_number,
                          const CheckOptions& options) {
  CheckResult result;
  // The author's rows, line by line, for what is about their layout. A
  // source too large to keep its account whole is known by its faults.
  // The fields after a row's keyword field are read for the few rows whose
  // fields a diagnostic looks at.
  const auto rows_of = [](std::string_view text, SourceKind source) {
    return read_source_rows(
        text.size() > kLargestCheckedSource ? std::string_view{} : text, source,
        KeptFields::kKeywordField);
  };
  const SourceRows line_rows = rows_of(line_text, SourceKind::kLine);
  const SourceRows train_rows = rows_of(train_text, SourceKind::kTrain);

  // The sources as given: the model a build writes its files from.
  CompileAccountData first_account;
  Compiled first;
  compile(first, line_text, train_text, line_name, train_number, options,
          first_account, CompileMode::kBuild);
  result.model = std::move(first.model);
  result.error_exit = first.outcome.error_exit;
  const std::vector<FaultRecord>& log = result.model.fault_log;
  const bool behind = std::any_of(log.begin(), log.end(), [](const auto& f) {
    return ends_a_stage(f) && can_go_on_past(f);
  });

  // Recovery: a fault that ended a stage hid the rows behind it. One more
  // compile goes on past each such fault as if its row were not there, and
  // finds the faults behind them all, in time linear in the sources.
  Compiled recovered;
  CompileAccountData recovered_account;
  // A check made stale (the language server's newer edit) stops before it.
  const bool stopped = options.stop.stop_requested();
  const bool recovering = options.recover && behind && !stopped;
  if (recovering) {
    compile(recovered, line_text, train_text, line_name, train_number, options,
            recovered_account, CompileMode::kRecover);
    result.recovery_compiles = 1;
  }
  // What the compile read up to each fault it read the same way
  // recovering, and on past it: the diagnostics are worded from the
  // furthest account.
  const CompileAccountData& account =
      recovering ? recovered_account : first_account;
  result.recovery_left = (!options.recover || stopped) && behind;

  const FaultContext context{account, line_rows, train_rows};
  Errors errors(context, options);
  bool open = true;
  // Each compile's faults, then the error exit it stopped at.
  const auto add_all = [&](const Model& model, bool after_recovery) {
    for (const FaultRecord& f : model.fault_log) {
      if (!(open = errors.add(f, model, after_recovery))) return;
    }
    if (model.error_exit) open = errors.add(*model.error_exit, model, after_recovery);
  };
  add_all(result.model, false);
  if (recovering && open) add_all(recovered.model, true);
  result.truncated = !open;

  const std::vector<FaultRecord>& last =
      recovering ? recovered.model.fault_log : log;
  LintContext lint{account, line_rows, train_rows, result.model, options};
  lint.line_read_whole = read_whole(last, SourceKind::kLine, recovering);
  lint.train_read_whole = read_whole(last, SourceKind::kTrain, recovering);
  lint.line_size = line_text.size();
  lint.train_size = train_text.size();
  std::vector<AuthorDiagnostic> warnings = lint_sources(lint);

  result.diagnostics = errors.take();
  for (AuthorDiagnostic& w : warnings) {
    // A fault that speaks of the field says what the warning would.
    if (errors.told(w)) continue;
    result.diagnostics.push_back(std::move(w));
  }
  result.account = std::move(first_account);
  result.account.line.bytes = {};
  result.account.train.bytes = {};
  // Source order: the line source, then the train source, each by line and
  // column; diagnostics without a place last.
  std::stable_sort(result.diagnostics.begin(), result.diagnostics.end(),
                   [](const AuthorDiagnostic& a, const AuthorDiagnostic& b) {
                     const auto rank = [](const AuthorDiagnostic& d) {
                       const int source = d.line == 0                      ? 3
                                          : d.source == SourceKind::kTrain ? 2
                                                                           : 1;
                       return std::make_tuple(source, d.line, d.column,
                                              severity_rank(d.severity));
                     };
                     return rank(a) < rank(b);
                   });
  return result;
}

}  // namespace scenc::tools
