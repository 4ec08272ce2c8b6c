// The author check's diagnostics as scenarioc shows them: text for a
// terminal (FILE:LINE:COLUMN: error: message [check], the source line and a
// caret under the field, in colour when asked), JSON for programs, and SARIF
// 2.1.0 for code-scanning tools and editors.
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "tools/check/check.h"

namespace scenc::tools {

// The two sources as scenarioc read them: the names to print and the bytes.
struct CheckedFiles {
  std::string line_file;
  std::string train_file;
  std::string_view line_text;
  std::string_view train_text;

  const std::string& file_of(SourceKind s) const {
    return s == SourceKind::kTrain ? train_file : line_file;
  }
  std::string_view text_of(SourceKind s) const {
    return s == SourceKind::kTrain ? train_text : line_text;
  }
};

// Prints every diagnostic with its source line, caret and notes, then the
// line that says the cap on errors was reached, if it was.
void print_diagnostics(std::ostream& out, const CheckResult& result,
                       const CheckedFiles& files, bool colour);

// Each diagnostic as a JSON object: code, position, file, line, column and
// message as ever, then severity, check, end_column, after_recovery and the
// notes.
nlohmann::ordered_json diagnostics_json(const CheckResult& result,
                                        const CheckedFiles& files);

// The whole check as one SARIF 2.1.0 log: the fault and warning tables as
// the driver's rules, each diagnostic a result, its notes related locations.
nlohmann::ordered_json sarif_log(const CheckResult& result,
                                 const CheckedFiles& files,
                                 std::string_view tool_version);

// A line of a source made fit for a terminal or JSON: UTF-8 kept, any other
// byte taken as Windows-1252, a tab shown as one blank.
std::string printable_line(std::string_view bytes);

}  // namespace scenc::tools
