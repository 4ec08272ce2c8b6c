// The fixes the check gives with its diagnostics: each warning whose table
// row says it gives one, and the faults of a number off its step, mended by
// the fix as the check worked it out, and no fix where the row says none.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "testing/embedded_sources.h"
#include "tools/check/check.h"

namespace scenc::tools {
namespace {

using Pair = testing::SourceTexts;
using testing::embedded_source_texts;

CheckResult check(const Pair& p) {
  return check_sources(p.line, p.train, "Firenze_Pisa", "11711");
}

// `text` with a fix applied.
std::string fixed(std::string text, const DiagnosticFix& fix) {
  std::size_t at = 0;
  for (std::int64_t l = 1; l < fix.line; ++l) at = text.find('\n', at) + 1;
  at += static_cast<std::size_t>(fix.column - 1);
  text.replace(at, static_cast<std::size_t>(fix.end_column - fix.column),
               fix.replacement);
  return text;
}

struct FixCase {
  const char* check;
  SourceKind source;
  const char* from;  // in the embedded source
  const char* to;
  const char* replacement;  // what the fix writes
};

const FixCase kCases[] = {
    {"unknown-keyword", SourceKind::kTrain, "Stazione,   2750", "stazoine,   2750",
     "stazione"},
    {"keyword-case", SourceKind::kLine, "progressiva chilometrica uno",
     "Progressiva chilometrica uno", "progressiva chilometrica uno"},
    {"unknown-section", SourceKind::kLine, "[pendenze]", "[pendnze]",
     "[pendenze]"},
    {"header-read-as-row", SourceKind::kTrain, "[aderenze]", "[aderenza]",
     "[aderenze]"},
    {"value-rounded", SourceKind::kTrain, "velocita' limite ,   500    ,  115",
     "velocita' limite ,   500    ,  117", "115"},
    {"byte-order-mark", SourceKind::kTrain, "                  Treno",
     "\xEF\xBB\xBF                  Treno", ""},
    {"comment-hides-row", SourceKind::kTrain, "velocita' limite , 15000",
     "velocita'-limite , 15000", "velocita' limite"},
    {"not-a-comment", SourceKind::kTrain, "[codici]", "[codici]\r\n# nota",
     "- nota"},
    {"fault-8", SourceKind::kTrain, "Stazione,   2750", "Stazione,   2775",
     "2800"},
    {"fault-9", SourceKind::kTrain, "Stazione,   2750,  2, 600",
     "Stazione,   2750,  2, 640", "600"},
    {"fault-3", SourceKind::kLine, "4650,    79150", "4675,    79150", "4700"},
};

const AuthorDiagnostic* find(const CheckResult& r, const std::string& name) {
  for (const AuthorDiagnostic& d : r.diagnostics) {
    if (d.check == name) return &d;
  }
  return nullptr;
}

TEST(DiagnosticFixes, MendWhatTheyTell) {
  std::set<std::string> tried;
  for (const FixCase& c : kCases) {
    Pair p = embedded_source_texts();
    std::string& text = c.source == SourceKind::kLine ? p.line : p.train;
    const std::size_t at = text.find(c.from);
    ASSERT_NE(at, std::string::npos) << c.check;
    text.replace(at, std::string(c.from).size(), c.to);
    const CheckResult before = check(p);
    const AuthorDiagnostic* d = find(before, c.check);
    ASSERT_NE(d, nullptr) << c.check;
    ASSERT_TRUE(d->fix) << c.check;
    EXPECT_EQ(d->fix->replacement, c.replacement) << c.check;
    EXPECT_FALSE(d->fix->title.empty());
    // A warning whose table row gives no fix carries none.
    for (const AuthorDiagnostic& other : before.diagnostics) {
      const WarningInfo* w = find_warning(other.check);
      if (w != nullptr && w->mend == WarningFix::kNone) {
        EXPECT_FALSE(other.fix) << other.check;
      }
    }
    text = fixed(text, *d->fix);
    EXPECT_EQ(find(check(p), c.check), nullptr) << c.check << ": " << text;
    tried.insert(c.check);
  }
  // Every warning that says it gives a fix is shown giving one.
  for (const WarningInfo& w : kWarnings) {
    if (w.mend == WarningFix::kGiven) {
      EXPECT_TRUE(tried.count(std::string(w.name))) << w.name;
    }
  }
}

}  // namespace
}  // namespace scenc::tools
