// The keywords of the two sources, one table per part of a source: for each
// row, the words its keyword field must contain, whether their case matters,
// the fields its handler reads after the keyword (in order, with name, unit
// and the type each is stored as) and the handler. Both stages walk these
// tables, and so can anything else that reads a source as the compiler does.
//
// Adding a keyword is a row here, its field list and its handler in the
// stage's file. A handler reads its fields in order through CompileRun, which
// notes each one's place and type, so that a test holds every handler to its
// list.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

namespace scenc {

struct CompileRun;

// What a row handler tells the loop that called it.
enum class Flow : std::uint8_t {
  kGoOn,      // next row
  kStopRows,  // the rest of the source is skipped, the closing steps still run
  kEndCall,   // a fault that ends the compile at once
};

using RowHandler = Flow (*)(CompileRun&);

// The type a field is read as: a number that does not fit it is the general
// failure.
enum class FieldType : std::uint8_t { kInt32, kInt16, kUint8, kText };

struct Field {
  std::string_view name;
  std::string_view unit;  // empty for codes and counts
  FieldType type;
};

// The part of a source whose rows a table holds.
enum class Section : std::uint8_t { kLineGeneral, kLineBody, kTrain };

enum class CaseRule : std::uint8_t { kIgnoreCase, kExactCase };

// True when `field` holds `word` anywhere, ignoring the case of letters.
bool contains_ignoring_case(std::string_view field, std::string_view word);
inline bool contains(std::string_view field, std::string_view word) {
  return field.find(word) != std::string_view::npos;
}

struct Keyword {
  std::string_view row;  // what the row is, in an author's words
  std::string_view word;
  std::string_view also;  // a second word the field must hold, or empty
  CaseRule case_rule;
  Section section;
  std::span<const Field> fields;
  RowHandler compile;

  bool matches(std::string_view field) const {
    const auto has = [&](std::string_view w) {
      return w.empty() || (case_rule == CaseRule::kExactCase
                               ? contains(field, w)
                               : contains_ignoring_case(field, w));
    };
    return has(word) && has(also);
  }
};

// The index of the field `name` in `fields`; a name that is not there does
// not compile.
template <std::size_t N>
consteval int field_index(const Field (&fields)[N], std::string_view name) {
  for (std::size_t i = 0; i < N; ++i) {
    if (fields[i].name == name) return static_cast<int>(i);
  }
  throw "no field of that name";
}

// ---- Fields of each row -------------------------------------------------

// clang-format off
namespace fields {
using enum FieldType;

// Line source, general section.
inline constexpr Field kLength[] = {{"length", "m", kInt32}};
inline constexpr Field kProgressive[] = {
    {"first", "m", kInt32}, {"second", "m", kInt32}, {"third", "", kInt32}};
inline constexpr Field kBackground[] = {{"background", "", kInt32}};
inline constexpr Field kSignalRepetition[] = {
    {"start", "m", kInt32}, {"end", "m", kInt32}};

// Line source, body.
inline constexpr Field kGradient[] = {
    {"position", "m", kInt32}, {"gradient", "per mille", kInt32}};
inline constexpr Field kCurve[] = {
    {"start", "m", kInt32}, {"length", "m", kInt32}};
inline constexpr Field kMountain[] = {
    {"inizio", "m", kInt32}, {"fine", "m", kInt32}, {"tipo", "", kInt32}};
inline constexpr Field kSpeedBoard[] = {
    {"posizione", "m", kInt32},
    {"vas", "km/h", kInt32}, {"vbs", "km/h", kInt32}, {"vcs", "km/h", kInt32},
    {"strisces", "", kInt32},
    {"vad", "km/h", kInt32}, {"vbd", "km/h", kInt32}, {"vcd", "km/h", kInt32},
    {"strisced", "", kInt32}};
inline constexpr Field kSignboard[] = {
    {"position", "m", kInt32}, {"text", "", kText}};

// Train source.
inline constexpr Field kBrakedMass[] = {{"braked mass", "%", kInt32}};
inline constexpr Field kCars[] = {{"cars", "", kInt32}};
inline constexpr Field kSpeedLimit[] = {
    {"position", "m", kInt32}, {"speed", "km/h", kInt32}};
inline constexpr Field kAdhesion[] = {
    {"position", "m", kInt32}, {"adhesion", "", kInt32}};
inline constexpr Field kClock[] = {
    {"hours", "h", kInt16}, {"minutes", "min", kInt16}, {"seconds", "s", kInt16}};
inline constexpr Field kSand[] = {{"sand", "", kInt16}};
inline constexpr Field kSignal[] = {
    {"posizione", "m", kInt32},
    {"sx", "", kInt32}, {"s1", "", kInt32}, {"s2", "", kInt32}, {"s3", "", kInt32},
    {"rapp", "", kInt32},
    {"dx", "", kInt32}, {"d1", "", kInt32}, {"d2", "", kInt32}, {"d3", "", kInt32},
    {"tempo", "", kInt32}};
inline constexpr Field kSlowOrder[] = {
    {"x", "m", kInt32}, {"v", "km/h", kInt32}, {"l", "m", kInt32},
    {"f_tt", "", kInt32}, {"f_ta", "", kInt32}, {"d_v", "", kInt32}};
inline constexpr Field kAbbattimento[] = {
    {"position", "m", kInt32}, {"value", "", kInt32}};
// The station's columns, by the legend of the source where it has one.
inline constexpr Field kStation[] = {
    {"position", "m", kInt32}, {"kind", "", kUint8}, {"length", "m", kInt32},
    {"tps", "", kUint8}, {"tab", "", kUint8}, {"mar", "", kUint8},
    {"d2 (first group)", "", kInt16}, {"d3 (first group)", "", kInt16},
    {"rap", "", kUint8},
    {"d1", "", kInt16}, {"d2", "", kInt16}, {"d3", "", kInt16},
    {"ac", "", kUint8},
    {"hours", "h", kInt32}, {"minutes", "min", kInt32}, {"seconds", "s", kInt32},
    {"name", "", kText}};
}  // namespace fields
// clang-format on

// The most fields any row reads.
inline constexpr std::size_t kMostFields = std::size(fields::kStation);

// ---- Handlers (line_stage.cpp, train_stage.cpp) -------------------------

Flow length_row(CompileRun& run);
Flow progressive_three_row(CompileRun& run);
Flow progressive_two_row(CompileRun& run);
Flow progressive_one_row(CompileRun& run);
Flow background_one_row(CompileRun& run);
Flow background_two_row(CompileRun& run);
Flow background_three_row(CompileRun& run);
Flow signal_repetition_row(CompileRun& run);

Flow gradient_row(CompileRun& run);
Flow curve_row(CompileRun& run);
Flow mountain_row(CompileRun& run);
Flow speed_board_row(CompileRun& run);
Flow signboard_row(CompileRun& run);

Flow braked_mass_row(CompileRun& run);
Flow cars_row(CompileRun& run);
Flow speed_limit_row(CompileRun& run);
Flow adhesion_row(CompileRun& run);
Flow clock_row(CompileRun& run);
Flow sand_row(CompileRun& run);
Flow signal_row(CompileRun& run);
Flow slow_order_row(CompileRun& run);
Flow abbattimento_row(CompileRun& run);
Flow station_row(CompileRun& run);

// ---- The tables ---------------------------------------------------------

// Tested in this order on every field of the line source's general section;
// every row that matches is compiled. The progressive and background rows
// share words ("uno", "due", "tre") and are told apart by their second
// word; the case of those words matters.
// clang-format off
inline constexpr Keyword kLineGeneralKeywords[] = {
    {"length",            "percorso", "lunghezza",   CaseRule::kIgnoreCase, Section::kLineGeneral, fields::kLength,           length_row},
    {"progressive three", "tre",      "progressiva", CaseRule::kExactCase,  Section::kLineGeneral, fields::kProgressive,      progressive_three_row},
    {"progressive two",   "due",      "progressiva", CaseRule::kExactCase,  Section::kLineGeneral, fields::kProgressive,      progressive_two_row},
    {"progressive one",   "uno",      "progressiva", CaseRule::kExactCase,  Section::kLineGeneral, fields::kProgressive,      progressive_one_row},
    {"background one",    "sfondo",   "uno",         CaseRule::kExactCase,  Section::kLineGeneral, fields::kBackground,       background_one_row},
    {"background two",    "sfondo",   "due",         CaseRule::kExactCase,  Section::kLineGeneral, fields::kBackground,       background_two_row},
    {"background three",  "sfondo",   "tre",         CaseRule::kExactCase,  Section::kLineGeneral, fields::kBackground,       background_three_row},
    {"signal repetition", "segnali",  "ripetizione", CaseRule::kExactCase,  Section::kLineGeneral, fields::kSignalRepetition, signal_repetition_row},
};
// clang-format on

// Tested in this order on every field of the line source's body, ignoring
// case, not exclusively. A speed board ("indicatori_vmax") contains "indicat"
// but not "cartello", so it is never also a signboard. A curve row is
// recognised only while the plan is drawn (its handler reads nothing
// otherwise).
// clang-format off
inline constexpr Keyword kLineBodyKeywords[] = {
    {"gradient",              "pendenza",     "",        CaseRule::kIgnoreCase, Section::kLineBody, fields::kGradient,   gradient_row},
    {"curve",                 "curva",        "",        CaseRule::kIgnoreCase, Section::kLineBody, fields::kCurve,      curve_row},
    {"mountain",              "montagna",     "",        CaseRule::kIgnoreCase, Section::kLineBody, fields::kMountain,   mountain_row},
    {"speed-indicator board", "indicatori_v", "",        CaseRule::kIgnoreCase, Section::kLineBody, fields::kSpeedBoard, speed_board_row},
    {"signboard",             "cartello",     "indicat", CaseRule::kIgnoreCase, Section::kLineBody, fields::kSignboard,  signboard_row},
};
// clang-format on

// Tested in this order on every field of the train source's body, ignoring
// case and not exclusively: a field that holds several keywords compiles one
// row for each, each reading its own numbers. No section header holds a
// keyword.
// clang-format off
inline constexpr Keyword kTrainKeywords[] = {
    {"braked mass",  "frenata",       "massa", CaseRule::kIgnoreCase, Section::kTrain, fields::kBrakedMass,   braked_mass_row},
    {"cars",         "vetture",       "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kCars,         cars_row},
    {"speed limit",  "velocit",       "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kSpeedLimit,   speed_limit_row},
    {"adhesion",     "aderenza",      "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kAdhesion,     adhesion_row},
    {"clock",        "orologio",      "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kClock,        clock_row},
    {"sand",         "sabbia",        "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kSand,         sand_row},
    {"signal",       "segnale",       "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kSignal,       signal_row},
    {"slow order",   "rallentamento", "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kSlowOrder,    slow_order_row},
    {"abbattimento", "abbattimento",  "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kAbbattimento, abbattimento_row},
    {"station",      "stazione",      "",      CaseRule::kIgnoreCase, Section::kTrain, fields::kStation,      station_row},
};
// clang-format on

// Every table, for a walk over all keywords.
inline constexpr std::span<const Keyword> kKeywordTables[] = {
    kLineGeneralKeywords, kLineBodyKeywords, kTrainKeywords};

namespace keyword_table_checks {
constexpr bool holds_only(std::span<const Keyword> table, Section section) {
  for (const Keyword& k : table) {
    if (k.section != section || k.word.empty() || k.fields.empty() ||
        k.fields.size() > kMostFields) {
      return false;
    }
  }
  return true;
}
}  // namespace keyword_table_checks
static_assert(keyword_table_checks::holds_only(kLineGeneralKeywords,
                                               Section::kLineGeneral));
static_assert(keyword_table_checks::holds_only(kLineBodyKeywords,
                                               Section::kLineBody));
static_assert(keyword_table_checks::holds_only(kTrainKeywords,
                                               Section::kTrain));

}  // namespace scenc
