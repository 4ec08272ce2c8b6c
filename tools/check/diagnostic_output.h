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

// The unit the columns of the text and JSON diagnostics count: bytes of the
// source line, as the compiler reads it. SARIF counts characters and says
// so in its columnKind.
inline constexpr std::string_view kColumnUnit = "byte";

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
// A source named by an absolute path is a file URI; one named by a relative
// path stands on %SRCROOT%, the absolute `working_directory`.
nlohmann::ordered_json sarif_log(const CheckResult& result,
                                 const CheckedFiles& files,
                                 std::string_view tool_version,
                                 const std::string& working_directory);

// Text from a source or a path made safe to show on a terminal, as
// compilers show it: well-formed UTF-8 is kept, but a control character
// (which could move the cursor, retitle the window or write the clipboard)
// is shown escaped, \t, \n, \r or \x1b, a C1 control as \u009b, a
// character that turns the direction of the text around it as \u202e, and
// a byte that is no UTF-8 as \xe0. The text stays on one line.
std::string terminal_text(std::string_view text);

}  // namespace scenc::tools
