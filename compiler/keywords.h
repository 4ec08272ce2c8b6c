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

#include "model/curve_classes.h"

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

// What a field stands for, for whatever checks rows against the line: a
// position, a distance (length) from the row's position, the place where the
// row's extent ends, a text shown to the driver, or any other value.
enum class FieldRole : std::uint8_t {
  kValue,
  kPosition,
  kDistance,
  kEnd,
  kLabel
};

// A number field's type range, or the narrower range its row keeps as
// written (a gradient is stored plus 100 in a byte, signal codes are packed
// as digits); `step` > 0: the files keep only multiples of it.
struct Field {
  std::string_view name;
  std::string_view unit;  // empty for codes and counts
  FieldType type;
  FieldRole role = FieldRole::kValue;
  std::int64_t lowest = type_lowest(type);
  std::int64_t highest = type_highest(type);
  std::int64_t step = 0;

  static constexpr std::int64_t type_lowest(FieldType t) {
    switch (t) {
      case FieldType::kInt16:
        return -32768;
      case FieldType::kUint8:
        return 0;
      default:
        return -2147483648LL;
    }
  }
  static constexpr std::int64_t type_highest(FieldType t) {
    switch (t) {
      case FieldType::kInt16:
        return 32767;
      case FieldType::kUint8:
        return 255;
      default:
        return 2147483647LL;
    }
  }
};

// The part of a source whose rows a table holds.
enum class Section : std::uint8_t { kLineGeneral, kLineBody, kTrain };

// The parts of a source in the order they come: everything up to the first
// field holding "[generale]" is its preamble, which nothing reads; the line
// source then has a general section up to its first section header; the
// rest is the body.
enum class SourcePart : std::uint8_t { kPreamble, kGeneral, kBody };

enum class CaseRule : std::uint8_t { kIgnoreCase, kExactCase };

// True when `field` holds `word` anywhere, ignoring the case of letters.
bool contains_ignoring_case(std::string_view field, std::string_view word);
inline bool contains(std::string_view field, std::string_view word) {
  return field.find(word) != std::string_view::npos;
}

// Where a row may stand among the rows of its keyword: once in a source (a
// second replaces the first), in ascending order along the line (each row
// ends the stretch of the one before it), or anywhere.
enum class RowOrder : std::uint8_t { kAnywhere, kOnce, kAscending };

// A comment is a keyword field with a "-" anywhere.
inline bool is_comment(std::string_view field) { return contains(field, "-"); }

// A section header is a keyword field with "[" and "]" that, its leading
// blanks left out, does not begin with "-". The reader skips the blanks
// before a field, but a quoted field keeps those inside its quotes.
inline bool is_section_header(std::string_view field) {
  const std::size_t first = field.find_first_not_of(' ');
  return contains(field, "[") && contains(field, "]") &&
         (first == std::string_view::npos || field[first] != '-');
}

// What a row is, one value for each row of the tables below, so that
// whatever reads rows can tell them apart without knowing their handlers.
enum class RowType : std::uint8_t {
  kLength,
  kProgressiveThree,
  kProgressiveTwo,
  kProgressiveOne,
  kBackgroundOne,
  kBackgroundTwo,
  kBackgroundThree,
  kSignalRepetition,
  kGradient,
  kCurve,
  kMountain,
  kSpeedBoard,
  kSignboard,
  kBrakedMass,
  kCars,
  kSpeedLimit,
  kAdhesion,
  kClock,
  kSand,
  kSignal,
  kSlowOrder,
  kAbbattimento,
  kStation,
  kCount
};

struct Keyword {
  RowType type;
  std::string_view row;  // what the row is, in an author's words
  std::string_view word;
  std::string_view also;  // a second word the field must hold, or empty
  CaseRule case_rule;
  Section section;
  std::span<const Field> fields;
  RowHandler compile;
  RowOrder order;
  std::string_view example;  // a whole row, as an author writes it

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
using enum FieldRole;

// Line source, general section.
inline constexpr Field kLength[] = {{"length", "m", kInt32}};
inline constexpr Field kProgressive[] = {
    {"first", "m", kInt32}, {"second", "m", kInt32}, {"third", "", kInt32}};
inline constexpr Field kBackground[] = {{"background", "", kInt32}};
inline constexpr Field kSignalRepetition[] = {
    {"start", "m", kInt32, kPosition}, {"end", "m", kInt32, kPosition}};

// Line source, body. The gradient is stored plus 100 in a byte; a mountain
// type above 10 is stored less 10 in a byte; a board packs each speed / 5
// with its pair and its stripes as digits.
inline constexpr Field kGradient[] = {
    {"position", "m", kInt32, kPosition},
    {"gradient", "per mille", kInt32, kValue, -100, 155}};
inline constexpr Field kCurve[] = {
    {"start", "m", kInt32, kPosition}, {"length", "m", kInt32, kDistance}};
inline constexpr Field kMountain[] = {
    {"inizio", "m", kInt32, kPosition}, {"fine", "m", kInt32, kEnd},
    {"tipo", "", kInt32, kValue, 0, 265}};
inline constexpr Field kSpeedBoard[] = {
    {"posizione", "m", kInt32, kPosition},
    {"vas", "km/h", kInt32, kValue, 0, 1635, 5},
    {"vbs", "km/h", kInt32, kValue, 0, 1635, 5},
    {"vcs", "km/h", kInt32, kValue, 0, 1635, 5},
    {"strisces", "", kInt32, kValue, 0, 3276},
    {"vad", "km/h", kInt32, kValue, 0, 495, 5},
    {"vbd", "km/h", kInt32, kValue, 0, 495, 5},
    {"vcd", "km/h", kInt32, kValue, 0, 495, 5},
    {"strisced", "", kInt32, kValue, 0, 9}};
inline constexpr Field kSignboard[] = {
    {"position", "m", kInt32, kPosition}, {"text", "", kText, kLabel}};

// Train source. A signal packs its codes as digits (s × 10 + d, sx × 3 +
// dx) and keeps the low byte of its time; the adhesion keeps its low byte;
// a slow order's values go into 16-bit cell fields.
inline constexpr Field kBrakedMass[] = {{"braked mass", "%", kInt32}};
inline constexpr Field kCars[] = {{"cars", "", kInt32}};
// A speed limit is kept as round(speed / 5) in a byte: -2 to 1277 km/h fit,
// each kept as the nearest multiple of 5 from 0 to 1275.
inline constexpr Field kSpeedLimit[] = {
    {"position", "m", kInt32, kPosition},
    {"speed", "km/h", kInt32, kValue, -2, 1277, 5}};
inline constexpr Field kAdhesion[] = {
    {"position", "m", kInt32, kPosition},
    {"adhesion", "", kInt32, kValue, 0, 255}};
inline constexpr Field kClock[] = {
    {"hours", "h", kInt16, kValue, 0, 23},
    {"minutes", "min", kInt16, kValue, 0, 59},
    {"seconds", "s", kInt16, kValue, 0, 59}};
inline constexpr Field kSand[] = {{"sand", "", kInt16}};
inline constexpr Field kSignal[] = {
    {"posizione", "m", kInt32, kPosition},
    {"sx", "", kInt32, kValue, 0, 2}, {"s1", "", kInt32, kValue, 0, 9},
    {"s2", "", kInt32, kValue, 0, 9}, {"s3", "", kInt32, kValue, 0, 9},
    {"rapp", "", kInt32, kValue, 0, 9},
    {"dx", "", kInt32, kValue, 0, 2}, {"d1", "", kInt32, kValue, 0, 9},
    {"d2", "", kInt32, kValue, 0, 9}, {"d3", "", kInt32, kValue, 0, 9},
    {"tempo", "", kInt32, kValue, 0, 255}};
inline constexpr Field kSlowOrder[] = {
    {"x", "m", kInt32, kPosition}, {"v", "km/h", kInt32, kValue, 0, 32767},
    {"l", "m", kInt32, kDistance},
    {"f_tt", "", kInt32, kValue, -32768, 32767}, {"f_ta", "", kInt32},
    {"d_v", "", kInt32, kValue, -32768, 32767}};
inline constexpr Field kAbbattimento[] = {
    {"position", "m", kInt32, kPosition},
    {"value", "", kInt32, kValue, -32768, 32767}};
// The station's columns, by the legend of the source where it has one.
inline constexpr Field kStation[] = {
    {"position", "m", kInt32, kPosition}, {"kind", "", kUint8},
    {"length", "m", kInt32, kDistance},
    {"tps", "", kUint8}, {"tab", "", kUint8}, {"mar", "", kUint8},
    {"d2 (first group)", "", kInt16}, {"d3 (first group)", "", kInt16},
    {"rap", "", kUint8},
    {"d1", "", kInt16}, {"d2", "", kInt16}, {"d3", "", kInt16},
    {"ac", "", kUint8},
    {"hours", "h", kInt32, kValue, 0, 23},
    {"minutes", "min", kInt32, kValue, 0, 59},
    {"seconds", "s", kInt32, kValue, 0, 59},
    {"name", "", kText, kLabel}};
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
    {RowType::kLength, "length", "percorso", "lunghezza", CaseRule::kIgnoreCase, Section::kLineGeneral,
     fields::kLength, length_row, RowOrder::kOnce,
     "lunghezza percorso, 82000"},
    {RowType::kProgressiveThree, "progressive three", "tre", "progressiva", CaseRule::kExactCase, Section::kLineGeneral,
     fields::kProgressive, progressive_three_row, RowOrder::kOnce,
     "progressiva chilometrica tre, 0, 0, 0"},
    {RowType::kProgressiveTwo, "progressive two", "due", "progressiva", CaseRule::kExactCase, Section::kLineGeneral,
     fields::kProgressive, progressive_two_row, RowOrder::kOnce,
     "progressiva chilometrica due, 0, 0, 0"},
    {RowType::kProgressiveOne, "progressive one", "uno", "progressiva", CaseRule::kExactCase, Section::kLineGeneral,
     fields::kProgressive, progressive_one_row, RowOrder::kOnce,
     "progressiva chilometrica uno, 0, 0, 0"},
    {RowType::kBackgroundOne, "background one", "sfondo", "uno", CaseRule::kExactCase, Section::kLineGeneral,
     fields::kBackground, background_one_row, RowOrder::kOnce,
     "sfondo uno, 1"},
    {RowType::kBackgroundTwo, "background two", "sfondo", "due", CaseRule::kExactCase, Section::kLineGeneral,
     fields::kBackground, background_two_row, RowOrder::kOnce,
     "sfondo due, 0"},
    {RowType::kBackgroundThree, "background three", "sfondo", "tre", CaseRule::kExactCase, Section::kLineGeneral,
     fields::kBackground, background_three_row, RowOrder::kOnce,
     "sfondo tre, 0"},
    {RowType::kSignalRepetition, "signal repetition", "segnali", "ripetizione", CaseRule::kExactCase, Section::kLineGeneral,
     fields::kSignalRepetition, signal_repetition_row, RowOrder::kOnce,
     "ripetizione segnali 4 codici, 4650, 79150"},
};
// clang-format on

// Tested in this order on every field of the line source's body, ignoring
// case, not exclusively. A speed board ("indicatori_vmax") contains "indicat"
// but not "cartello", so it is never also a signboard. A curve row is
// recognised only while the plan is drawn (its handler reads nothing
// otherwise).
// clang-format off
inline constexpr Keyword kLineBodyKeywords[] = {
    {RowType::kGradient, "gradient", "pendenza", "", CaseRule::kIgnoreCase, Section::kLineBody,
     fields::kGradient, gradient_row, RowOrder::kAscending,
     "pendenza, 300, 4"},
    {RowType::kCurve, "curve", "curva", "", CaseRule::kIgnoreCase, Section::kLineBody,
     fields::kCurve, curve_row, RowOrder::kAscending,
     "curvas2, 700, 100"},
    {RowType::kMountain, "mountain", "montagna", "", CaseRule::kIgnoreCase, Section::kLineBody,
     fields::kMountain, mountain_row, RowOrder::kAscending,
     "montagna, 1000, 2000, 12"},
    {RowType::kSpeedBoard, "speed-indicator board", "indicatori_v", "", CaseRule::kIgnoreCase, Section::kLineBody,
     fields::kSpeedBoard, speed_board_row, RowOrder::kAnywhere,
     "indicatori_vmax, 800, 105, 115, 120, 0, 0, 0, 0, 0"},
    {RowType::kSignboard, "signboard", "cartello", "indicat", CaseRule::kIgnoreCase, Section::kLineBody,
     fields::kSignboard, signboard_row, RowOrder::kAnywhere,
     "cartello indicatore, 18550, (  Km. ) (18.600)"},
};
// clang-format on

// Tested in this order on every field of the train source's body, ignoring
// case and not exclusively: a field that holds several keywords compiles one
// row for each, each reading its own numbers. No section header holds a
// keyword.
// clang-format off
inline constexpr Keyword kTrainKeywords[] = {
    {RowType::kBrakedMass, "braked mass", "frenata", "massa", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kBrakedMass, braked_mass_row, RowOrder::kOnce,
     "percentuale massa frenata, 120"},
    {RowType::kCars, "cars", "vetture", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kCars, cars_row, RowOrder::kOnce,
     "numero vetture, 6"},
    {RowType::kSpeedLimit, "speed limit", "velocit", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kSpeedLimit, speed_limit_row, RowOrder::kAscending,
     "velocita' limite, 0, 30"},
    {RowType::kAdhesion, "adhesion", "aderenza", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kAdhesion, adhesion_row, RowOrder::kAscending,
     "aderenza, 0, 100"},
    {RowType::kClock, "clock", "orologio", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kClock, clock_row, RowOrder::kOnce,
     "orologio, 10 49 30"},
    {RowType::kSand, "sand", "sabbia", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kSand, sand_row, RowOrder::kOnce,
     "sabbia, 300"},
    {RowType::kSignal, "signal", "segnale", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kSignal, signal_row, RowOrder::kAnywhere,
     "segnale, 4600, 2, 4, 1, 0, 0, 2, 2, 1, 0, 250"},
    {RowType::kSlowOrder, "slow order", "rallentamento", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kSlowOrder, slow_order_row, RowOrder::kAnywhere,
     "rallentamento, 9300, 30, 50, 0, 1, 0"},
    {RowType::kAbbattimento, "abbattimento", "abbattimento", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kAbbattimento, abbattimento_row, RowOrder::kAnywhere,
     "abbattimento, 5000, 80"},
    {RowType::kStation, "station", "stazione", "", CaseRule::kIgnoreCase, Section::kTrain,
     fields::kStation, station_row, RowOrder::kAscending,
     "stazione, 0, 8, 400, 1, 0, 0, 4, 0, 0, 2, 1, 0, 1, 10, 50, 0, FIRENZE S.M.N."},
};
// clang-format on

// Every table, for a walk over all keywords.
inline constexpr std::span<const Keyword> kKeywordTables[] = {
    kLineGeneralKeywords, kLineBodyKeywords, kTrainKeywords};

namespace keyword_table_checks {
constexpr bool holds_only(std::span<const Keyword> table, Section section) {
  for (const Keyword& k : table) {
    if (k.section != section || k.word.empty() || k.fields.empty() ||
        k.fields.size() > kMostFields || k.example.empty()) {
      return false;
    }
    for (const Field& f : k.fields) {
      if (f.lowest < Field::type_lowest(f.type) ||
          f.highest > Field::type_highest(f.type) || f.lowest > f.highest ||
          (f.type == FieldType::kText) != (f.role == FieldRole::kLabel)) {
        return false;
      }
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

// Each row type is the type of exactly one row of the tables.
namespace keyword_table_checks {
constexpr bool each_type_once() {
  int seen[static_cast<int>(RowType::kCount)] = {};
  for (std::span<const Keyword> table : kKeywordTables) {
    for (const Keyword& k : table) {
      if (k.type >= RowType::kCount) return false;
      ++seen[static_cast<int>(k.type)];
    }
  }
  for (int n : seen) {
    if (n != 1) return false;
  }
  return true;
}
}  // namespace keyword_table_checks
static_assert(keyword_table_checks::each_type_once());

// The section headers of each source, in the order its author writes them.
// The compiler tests only "[generale]", and in the line source the shape of a
// header (a field with "[" and "]" that does not begin with "-"), which ends
// the general section; the others name the parts of the body for its author.
inline constexpr std::string_view kGeneralHeader = "[generale]";
inline constexpr std::string_view kLineSectionHeaders[] = {
    "[generale]", "[pendenze]",    "[curve]", "[cartelli]",
    "[montagne]", "[indicazioni]", "[fine]"};
inline constexpr std::string_view kTrainSectionHeaders[] = {
    "[generale]", "[aderenze]",      "[vel_limite]", "[stazioni]",
    "[codici]",   "[rallentamenti]", "[segnali]",    "[fine]"};

// A curve's keyword field names its class with a digit, the first of 1 to 6
// found in this order deciding; the class gives the turn per metre drawn
// (model/curve_classes.h). The letter "s" anywhere in the field, in either
// case, turns the curve left (sinistra); without it, it turns right.
struct CurveClass {
  std::string_view digit;
  int number;  // 1 to 6
  // The turn per metre, 1/m.
  constexpr double curvature() const { return curve_class_turn(number); }
};
inline constexpr CurveClass kCurveClasses[] = {{"1", 1}, {"2", 2}, {"3", 3},
                                               {"4", 4}, {"5", 5}, {"6", 6}};

// The class a curve's keyword field names, or null when it holds no digit 1
// to 6.
inline const CurveClass* curve_class_named(std::string_view keyword) {
  for (const CurveClass& c : kCurveClasses) {
    if (contains(keyword, c.digit)) return &c;
  }
  return nullptr;
}
inline bool curve_turns_left(std::string_view keyword) {
  return contains_ignoring_case(keyword, "s");
}

}  // namespace scenc
