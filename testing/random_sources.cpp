#include "testing/random_sources.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <optional>
#include <random>
#include <set>
#include <utility>

#include "compiler/distances.h"
#include "model/track_model.h"
#include "output/scenario_files.h"
#include "scenario/emitters.h"
#include "testing/generate_scenario.h"

namespace scenc::bench {
namespace {

// Uniform choices from the 64-bit Mersenne twister, whose sequence the
// language fixes for a given seed. The library's distributions are not
// fixed, so none is used: the same seed gives the same pair everywhere.
class Random {
 public:
  explicit Random(std::uint64_t seed) : engine_(seed) {}

  std::int64_t below(std::int64_t n) {
    if (n <= 1) return 0;
    return static_cast<std::int64_t>(engine_() % static_cast<std::uint64_t>(n));
  }
  std::int64_t between(std::int64_t lo, std::int64_t hi) {
    return lo + below(hi - lo + 1);
  }
  bool chance(int percent) { return below(100) < percent; }
  template <typename T>
  T pick(std::initializer_list<T> list) {
    return list.begin()[below(static_cast<std::int64_t>(list.size()))];
  }
  std::uint64_t bits() { return engine_(); }

 private:
  std::mt19937_64 engine_;
};

std::string num(std::int64_t n) { return std::to_string(n); }

// ---- Rows and the ways of writing them ----------------------------------

// One line of a source: a keyword field, its numbers and a text field after
// them, or a line written as it stands (titles, headers, comments, blank
// lines).
struct Row {
  std::string keyword;
  std::vector<std::string> numbers;
  std::string text;
  bool has_text = false;
  bool plain = false;
  bool case_free = true;  // the compile ignores the keyword's case
};

Row plain(std::string line) {
  Row r;
  r.keyword = std::move(line);
  r.plain = true;
  return r;
}

Row row(std::string keyword, std::initializer_list<std::int64_t> numbers) {
  Row r;
  r.keyword = std::move(keyword);
  for (std::int64_t n : numbers) r.numbers.push_back(num(n));
  return r;
}

Row with_text(Row r, std::string text) {
  r.text = std::move(text);
  r.has_text = true;
  return r;
}

Row case_bound(Row r) {
  r.case_free = false;
  return r;
}

std::string upper(std::string s) {
  for (char& c : s) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return s;
}

std::string lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return s;
}

std::string toggled(std::string s, Random& r) {
  for (char& c : s) {
    if (!r.chance(40)) continue;
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    } else if (c >= 'A' && c <= 'Z') {
      c = static_cast<char>(c - 'A' + 'a');
    }
  }
  return s;
}

std::string any_case(const std::string& keyword, Random& r) {
  switch (r.below(5)) {
    case 0:
      return upper(keyword);
    case 1:
      return lower(keyword);
    case 2:
      return toggled(keyword, r);
    default:
      return keyword;
  }
}

// Writes the rows with separators and keyword case drawn from `style`. Every
// choice reads as the same fields: a number absorbs the blanks after it and
// one comma right after them, a text field skips its leading blanks, and
// case matters only where a row says so. No line ends in blanks, which
// would read as one more, empty field.
std::string render(const std::vector<Row>& rows, Random& style) {
  std::string out;
  for (const Row& r : rows) {
    if (r.plain) {
      out += r.keyword;
      out += "\r\n";
      continue;
    }
    if (style.chance(10))
      out.append(static_cast<std::size_t>(style.between(1, 3)), ' ');
    out += r.case_free ? any_case(r.keyword, style) : r.keyword;
    for (std::size_t i = 0; i < r.numbers.size(); ++i) {
      out += i == 0 ? style.pick({", ", ",", " , ", "  ,", ",   "})
                    : style.pick({", ", ",", " , ", " ", "   ", ",  ", "  ,"});
      out += r.numbers[i];
    }
    if (r.has_text) {
      out += r.numbers.empty() ? style.pick({", ", ","})
                               : style.pick({", ", " , ", "  ", ","});
      out += r.text;
    }
    out += "\r\n";
  }
  return out;
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

std::string join_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) {
    text += l;
    text += "\r\n";
  }
  return text;
}

// ---- Names -------------------------------------------------------------

std::string random_line_name(Random& r) {
  static constexpr std::string_view kLetters =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
  static constexpr std::string_view kMore = "0123456789_";
  std::string name(
      1, kLetters[static_cast<std::size_t>(r.below(kLetters.size()))]);
  const std::int64_t length = r.between(1, 30);
  while (static_cast<std::int64_t>(name.size()) < length) {
    name += r.chance(80)
                ? kLetters[static_cast<std::size_t>(r.below(kLetters.size()))]
                : kMore[static_cast<std::size_t>(r.below(kMore.size()))];
  }
  return name;
}

// Train numbers start with a digit, so that no cell file can take the
// geometry file's name ("<line>_linea.dat").
std::string random_train_number(Random& r) {
  std::string number = num(r.between(0, 9));
  const std::int64_t length = r.between(1, 12);
  while (static_cast<std::int64_t>(number.size()) < length) {
    number += r.chance(85) ? static_cast<char>('0' + r.below(10))
                           : static_cast<char>('A' + r.below(26));
  }
  return number;
}

void name_pair(SourcePair& p, Random& r, int percent_random) {
  if (r.chance(percent_random)) p.line_name = random_line_name(r);
  if (r.chance(percent_random)) p.train_number = random_train_number(r);
}

// ---- Built from the grammar --------------------------------------------

constexpr std::int64_t kLongestLine = 1000000;

std::int64_t round_to_50(std::int64_t p) {
  return round_div_even(p, kCellLength) * kCellLength;
}

// The pieces of a pair written from rows. `general` follows the length row;
// `line_body` and `train_body` carry their own section headers.
struct Scenario {
  std::int64_t length = 30000;
  bool length_row = true;
  bool generale_header = true;
  std::vector<Row> general;
  std::vector<Row> line_body;
  std::vector<Row> train_general;
  std::vector<Row> train_body;
  // Written after everything else, as the last line of the train source,
  // so that the source ends inside it.
  std::string train_tail;
  bool empty_train = false;

  std::int64_t last_cell() const { return last_cell_for_length(length); }
  // The greatest position the range rule accepts.
  std::int64_t last_position() const { return kCellLength * last_cell() - 100; }

  std::vector<Row> line_rows() const {
    std::vector<Row> rows{plain("Percorso generato"), plain(""),
                          plain("inizio_dati  ")};
    rows.push_back(plain(generale_header ? "[generale]" : "[general]"));
    if (length_row) rows.push_back(row("lunghezza percorso", {length}));
    rows.insert(rows.end(), general.begin(), general.end());
    rows.insert(rows.end(), line_body.begin(), line_body.end());
    rows.push_back(plain("[fine]"));
    return rows;
  }
  std::vector<Row> train_rows() const {
    std::vector<Row> rows{plain("   Treno generato"), plain(""),
                          plain("inizio_dati"), plain("[generale]")};
    rows.insert(rows.end(), train_general.begin(), train_general.end());
    rows.insert(rows.end(), train_body.begin(), train_body.end());
    rows.push_back(plain("[fine]"));
    return rows;
  }
};

void write_rows(SourcePair& p, const Scenario& s, Random& r) {
  const std::vector<Row> line = s.line_rows();
  const std::vector<Row> train = s.train_rows();
  const std::string tail = s.train_tail.empty() ? "" : s.train_tail + "\r\n";
  p.line = render(line, r);
  p.train = s.empty_train ? "" : render(train, r) + tail;
  p.line_restyled = render(line, r);
  p.train_restyled = s.empty_train ? "" : render(train, r) + tail;
}

Row signal(std::int64_t p, std::initializer_list<std::int64_t> codes = {
                               2, 4, 1, 0, 0, 2, 2, 1, 0, 0}) {
  Row r = row("segnale", {p});
  for (std::int64_t c : codes) r.numbers.push_back(num(c));
  return r;
}

Row slow_order(std::int64_t x, std::int64_t v, std::int64_t l,
               std::int64_t f_tt, std::int64_t f_ta, std::int64_t d_v) {
  return row("rallentamento", {x, v, l, f_tt, f_ta, d_v});
}

Row station(std::int64_t pos, std::int64_t kind, std::int64_t len,
            std::int64_t mar, const std::string& name,
            std::int64_t seconds = 36000) {
  return with_text(
      row("stazione", {pos, kind, len, 0, 1, mar, 1, 1, 0, 4, 1, 1, 60,
                       seconds / 3600, seconds / 60 % 60, seconds % 60}),
      name);
}

Row board(std::int64_t p, std::int64_t s = 100, std::int64_t d = 0) {
  return row("indicatori_vmax", {p, s, s + 10, s + 15, 0, d, d, d, 0});
}

Row signboard(std::int64_t p, const std::string& text) {
  return with_text(row("cartello indicatore", {p}), text);
}

std::string kilometre_text(std::int64_t p) {
  return "(  Km. ) (" + num(p / 1000) + "." + num(p % 1000 / 100) + ")";
}

// A small scenario that compiles clean: the general rows, two gradients, a
// speed limit and an adhesion from 0 m.
Scenario clean_base(Random& r) {
  Scenario s;
  s.length = r.between(20000, 60000);
  if (r.chance(30)) s.length = round_to_50(s.length) + r.pick({25, -25});
  if (r.chance(50)) {
    s.general.push_back(
        case_bound(row("progressiva chilometrica uno", {0, 0, 0})));
    s.general.push_back(
        case_bound(row("progressiva chilometrica due", {0, 0, 0})));
    s.general.push_back(
        case_bound(row("progressiva chilometrica tre", {0, 0, 0})));
  }
  s.general.push_back(case_bound(row("sfondo uno", {1})));
  s.general.push_back(case_bound(row("ripetizione segnali 4 codici",
                                     {4650, round_to_50(s.length - 5000)})));
  s.line_body = {plain("[pendenze]"), row("pendenza", {300, 4}),
                 row("pendenza", {2000, 0})};
  s.train_general = {row("numero vetture", {6}),
                     row("percentuale massa frenata", {120}),
                     row("sabbia", {300}), row("orologio", {10, 49, 30})};
  s.train_body = {plain("[aderenze]"), row("aderenza", {0, 100}),
                  plain("[vel_limite]"), row("velocita' limite", {0, 100}),
                  plain("[segnali]")};
  return s;
}

// An odd cell k from `lo` on: the position 50 k - 25 then lies on a tie
// that rounds up into cell k + 1, the cell of 50 k.
std::int64_t odd_cell(Random& r, std::int64_t lo, std::int64_t hi) {
  return r.between(lo / 2, hi / 2) * 2 + 1;
}

// Rows of every kind that raise no fault.
std::optional<std::string> no_fault_rows(Scenario& s, std::int32_t fault,
                                         Random&) {
  if (fault != 0) return std::nullopt;
  auto& line = s.line_body;
  auto& train = s.train_body;
  line.push_back(plain("[curve]"));
  line.push_back(row("curvas3", {1025, 325}));
  line.push_back(row("montagna", {3025, 4475, 12}));
  line.push_back(board(5000, 120, 120));
  line.push_back(signboard(5500, kilometre_text(5500)));
  train.push_back(station(0, 8, 400, 0, "PARTENZA"));
  train.push_back(signal(1000, {1, 4, 1, 0, 0, 0, 0, 0, 0, 0}));
  train.push_back(slow_order(9300, 30, 50, 0, 1, 0));
  train.push_back(signal(12000));
  return "rows that raise no fault";
}

// The line's length and the rows of its general section; no line source,
// or none that opens its general section.
std::optional<std::string> general_fault_rows(Scenario& s, std::int32_t fault,
                                              Random& r) {
  switch (fault) {
    case 1: {
      s.length = r.pick<std::int64_t>({1000001, -1, -50, 2147483647});
      return "line length " + num(s.length);
    }
    case 2: {
      if (r.chance(50)) {
        s.general.push_back(
            case_bound(row("progressiva chilometrica uno", {125, 0, 0})));
        return "progressive starting at 125";
      }
      s.general.push_back(
          case_bound(row("progressiva chilometrica uno", {0, 75, 1})));
      return "progressive 0, 75 raised by 100";
    }
    case 3:
    case 4: {
      const std::int64_t a = fault == 3 ? 4675 : 4650;
      const std::int64_t b = fault == 3 ? 79150 : 79125;
      s.general.push_back(
          case_bound(row("ripetizione segnali 9 codici", {a, b})));
      return "signal repetition " + num(a) + " to " + num(b);
    }
    case 5:
      s.general.push_back(
          case_bound(row("ripetizione segnali codici", {4650, 9000})));
      return "signal repetition without 4 or 9";
    case 101:
      return "no line source";
    case 102:
      s.generale_header = false;
      return "line source without [generale]";
    default:
      return std::nullopt;
  }
}

// Objects placed on cells that hold one already.
std::optional<std::string> taken_cell_rows(Scenario& s, std::int32_t fault,
                                           Random& r) {
  auto& line = s.line_body;
  auto& train = s.train_body;
  switch (fault) {
    case 6:
    case 21: {
      // Two objects on one cell, the second on the tie below it.
      const std::int64_t k = odd_cell(r, 21, 300);
      line.push_back(plain("[indicazioni]"));
      if (r.chance(50)) {
        line.push_back(signboard(50 * k, "Km A"));
      } else {
        line.push_back(board(50 * k));
      }
      line.push_back(fault == 6 ? signboard(50 * k - 25, "Km B")
                                : board(50 * k - 25));
      return "object at " + num(50 * k - 25) + " on the cell of " + num(50 * k);
    }
    case 7: {
      const std::int64_t k = odd_cell(r, 21, 300);
      train.push_back(signal(50 * k));
      train.push_back(row("abbattimento",
                          {50 * k + 25, r.pick<std::int64_t>({80, 0, -5})}));
      return "abbattimento at " + num(50 * k + 25) + " on a signal's cell";
    }
    case 16: {
      const std::int64_t k = odd_cell(r, 21, 300);
      train.push_back(signal(50 * k));
      train.push_back(signal(50 * k - 25));
      return "two signals on the cell of " + num(50 * k);
    }
    case 17:
    case 18:
    case 19:
    case 20: {
      const std::int64_t m = r.between(40, 300);
      const std::int64_t x = 50 * m;
      const std::int64_t l = 1000;
      std::int64_t taken = x - kWarningDistance;  // the warning
      if (fault == 18) taken = x;                 // the start
      if (fault == 19) taken = x + l;             // the end
      if (fault == 20)
        taken = 50 * (m - 24 - r.between(0, 3) - 1);  // an approach cell
      train.push_back(signal(taken));
      train.push_back(slow_order(x, 60, l, 0, 1, 0));
      return "signal at " + num(taken) + " before the slow order at " + num(x);
    }
    default:
      return std::nullopt;
  }
}

// Stations off their steps, too many or too close.
std::optional<std::string> station_fault_rows(Scenario& s, std::int32_t fault,
                                              Random& r) {
  auto& line = s.line_body;
  auto& train = s.train_body;
  switch (fault) {
    case 8:
      train.push_back(station(r.pick<std::int64_t>({2775, 2725, 2751}), 2, 600,
                              0, "FUORI"));
      return "station off the 50 m steps";
    case 9:
      train.push_back(station(
          2750, 2, r.pick<std::int64_t>({650, 150, 50, -50}), 0, "LUNGA"));
      return "station length off the 100 m steps";
    case 10: {
      s.length = 60000;
      const std::int64_t signboards = r.between(0, 5);
      line.push_back(plain("[indicazioni]"));
      for (std::int64_t i = 0; i < signboards; ++i) {
        line.push_back(signboard(45000 + 100 * i, "Km " + num(i)));
      }
      // With the sign slot cursor at c, the (c - 1)th station is one too many.
      const std::int64_t stations = 80 - signboards - 1;
      for (std::int64_t i = 0; i < stations; ++i) {
        train.push_back(station(200 + 500 * i, r.chance(80) ? 28 : 2, 100, 0,
                                "S" + num(i + 1)));
      }
      return num(stations) + " stations beside " + num(signboards) +
             " signboards";
    }
    case 22:
      train.push_back(station(2750, 2, 600, 0, "PRIMA"));
      train.push_back(
          station(r.pick<std::int64_t>({3200, 3350}), 2, 600, 0, "SECONDA"));
      return "two stations too close";
    case 24:
      if (r.chance(50)) {
        train.push_back(station(50, 2, 100, 0, "CORTA"));
      } else {
        train.push_back(station(-100, 5, 400, 0, "INDIETRO"));
      }
      return "station ending within the first 100 m";
    default:
      return std::nullopt;
  }
}

// The abbattimento marks of the finishing pass: no free cell for one, or
// one on cell 1, where the format stamps go.
std::optional<std::string> mark_fault_rows(Scenario& s, std::int32_t fault,
                                           Random& r) {
  auto& line = s.line_body;
  auto& train = s.train_body;
  switch (fault) {
    case 11: {
      // Signals on three cells in a row before a warning: the nearest finds
      // neither cell before it free.
      const std::int64_t d = r.between(40, 150);
      const std::int64_t k = r.between(1, 18);
      for (std::int64_t c : {d - 2, d - 1, d})
        train.push_back(signal(50 * (c - 1)));
      train.push_back(
          slow_order(50 * (d + k - 1) + kWarningDistance, 140, 100, 0, 0, 0));
      return "signals on cells " + num(d - 2) + " to " + num(d) +
             ", warning on " + num(d + k);
    }
    case 12: {
      const std::int64_t i = r.between(40, 300);
      for (std::int64_t c : {i - 5, i - 6, i - 7})
        train.push_back(signal(50 * (c - 1)));
      train.push_back(slow_order(50 * (i - 1), 140, 100, 0, 0, 0));
      return "signals on the first look-back group of cell " + num(i);
    }
    case 13: {
      const std::int64_t i = r.between(40, 300);
      for (std::int64_t c : {i + 7, i + 8, i + 9})
        train.push_back(signal(50 * (c - 1)));
      train.push_back(slow_order(50 * (i - 1), 30, 1000, 0, 0, 0));
      return "signals around the eighth cell of a slow order at cell " + num(i);
    }
    case 1250: {
      switch (r.below(3)) {
        case 0: {
          const std::int64_t p = r.between(-24, 24);
          train.push_back(signal(p));
          return "signal at " + num(p) + " on cell 1";
        }
        case 1:
          line.push_back(plain("[indicazioni]"));
          line.push_back(signboard(r.between(-24, 24), "Km 0"));
          return "signboard on cell 1";
        default:
          // The mark before the signal on cell 3 lands on cell 1.
          train.push_back(signal(50));
          train.push_back(signal(100));
          train.push_back(slow_order(2000, 140, 50, 0, 0, 0));
          return "finishing mark on cell 1";
      }
    }
    case 1251:
      if (r.chance(50)) {
        train.push_back(signal(0, {1, 0, 1, 0, 0, 0, 0, 0, 0, 0}));
        return "signal on cell 1 with a second value only";
      }
      train.push_back(slow_order(0, 0, 0, 0, 0, 5));
      return "slow order on cell 1 with speed 0";
    default:
      return std::nullopt;
  }
}

// Rows beyond the grid, values beyond their fields, and curves beyond
// their classes or the plan.
std::optional<std::string> limit_fault_rows(Scenario& s, std::int32_t fault,
                                            Random& r) {
  auto& line = s.line_body;
  auto& train = s.train_body;
  switch (fault) {
    case 15: {
      const std::int64_t beyond = s.last_position() + 1;
      switch (r.below(5)) {
        case 0:
          line.push_back(row("pendenza", {beyond, 2}));
          return "gradient at " + num(beyond);
        case 1:
          train.push_back(row("velocita' limite", {beyond, 60}));
          return "speed limit at " + num(beyond);
        case 2:
          train.push_back(
              station(round_to_50(beyond - 700) + 50, 2, 200, 0, "OLTRE"));
          return "station beyond the end";
        case 3:
          line.push_back(board(-76));
          return "board below the first cell";
        default:
          train.push_back(
              slow_order(s.last_position() - 100, 60, 500, 0, 0, 0));
          return "slow order ending beyond the grid";
      }
    }
    case 25: {
      switch (r.below(8)) {
        case 0:
          s.train_general.push_back(row("orologio", {40000, 0, 0}));
          return "clock hours beyond 16 bits";
        case 1:
          train.push_back(station(2750, 256, 600, 0, "TIPO"));
          return "station kind beyond 8 bits";
        case 2:
          s.train_tail = "segnale, 3000, 2";
          return "train source ending inside a signal row";
        case 3:
          s.length_row = false;
          return "line source without a length row";
        case 4: {
          line.push_back(plain("[indicazioni]"));
          for (int i = 0; i < 82; ++i)
            line.push_back(signboard(1000 + 50 * i, "K" + num(i)));
          return "82 signboards";
        }
        case 5: {
          Row g = row("pendenza", {3000});
          g.numbers.push_back("99999999999");
          line.push_back(g);
          return "gradient beyond 32 bits";
        }
        case 6:
          line.push_back(board(3000, 1700));
          return "board value beyond 16 bits";
        default:
          s.empty_train = true;
          return "empty train source";
      }
    }
    case 103: {
      line.push_back(plain("[curve]"));
      switch (r.below(3)) {
        case 0:
          line.push_back(row("curvas", {1000, 300}));
          return "curve without a class";
        case 1:
          line.push_back(row("curvad7", {1000, 300}));
          return "curve of class 7";
        default:
          // Counted past the end of the plan: ends at metre 1,000,000.
          s.length = 1000;
          line.push_back(row("curvas2", {500, 999500}));
          return "curve ending at 1000000 m on a 1000 m line";
      }
    }
    default:
      return std::nullopt;
  }
}

// Adds to `s` the rows that raise `fault` (0: rows that raise none), by the
// recipe of its family. Returns what was added, for the pair's description.
std::string add_fault_rows(Scenario& s, std::int32_t fault, Random& r) {
  for (const auto recipe :
       {no_fault_rows, general_fault_rows, taken_cell_rows, station_fault_rows,
        mark_fault_rows, limit_fault_rows}) {
    if (std::optional<std::string> how = recipe(s, fault, r)) return *how;
  }
  return "nothing for fault " + num(fault);
}

// ---- Random scenarios from the grammar -----------------------------------

class Builder {
 public:
  Builder(Random& r, Scenario& s) : r_(r), s_(s) {}

  // Cells taken so far, roughly as the compile will find them; a builder
  // that avoids them draws a few times before it gives up.
  bool avoid = true;
  // Objects crowd the first and last cells of the grid.
  bool dense_ends = false;
  // How often, in percent, a value is an odd one (a limit, a value that
  // does not fit its field, a position beyond the grid) rather than a usual
  // one. Pairs with none of them reach the finishing pass with every row.
  int odd_percent = 5;

  // A position: near the start, near the end of the grid (on both sides of
  // the last one accepted) or anywhere, then moved onto the 50 m steps, onto
  // a tie between them, or left as it is.
  std::int64_t position() {
    const int zone = static_cast<int>(r_.below(10));
    const int near = dense_ends ? 9 : 5;
    std::int64_t p;
    if (zone < near / 2 + 1) {
      // From -75 m on, every row's cell lies inside the grid.
      // Cell 1 carries the format stamp: an object there is an odd value.
      p = odd() ? r_.pick({r_.between(-200, -76), r_.between(-24, 24)})
                : r_.between(-75, 600);
      if (!odd() && cell_index(p) == 1) p += 50;
    } else if (zone < near) {
      // The last cells a row may reach, and now and then one beyond them.
      p = odd() ? s_.last_position() + r_.between(1, 50)
                : r_.between(50 * (s_.last_cell() - 12), s_.last_position());
    } else {
      p = r_.between(0, std::max<std::int64_t>(s_.length, 1));
    }
    return shaped(p);
  }
  // A position no greater than `limit`, unless an odd value is due.
  std::int64_t position_up_to(std::int64_t limit) {
    std::int64_t p = position();
    for (int attempt = 0; attempt < 6 && p > limit; ++attempt) p = position();
    return p > limit && !odd() ? round_to_50(limit) - 50 : p;
  }
  std::int64_t shaped(std::int64_t p) {
    const std::int64_t choice = r_.below(10);
    if (choice < 4) return round_to_50(p);
    if (choice < 7) return round_to_50(p) + r_.pick({25, -25});
    return p;
  }

  // A position whose cells (cell_index and the ones around it that the row
  // takes) are not yet taken, when avoiding.
  std::int64_t free_position(std::initializer_list<std::int64_t> offsets) {
    const std::int64_t limit = s_.last_position() - std::max(offsets);
    std::int64_t p = position_up_to(limit);
    for (int attempt = 0; avoid && attempt < 12 && !free_at(p, offsets);
         ++attempt) {
      p = position_up_to(limit);
    }
    take(p, offsets);
    return p;
  }
  void take(std::int64_t p, std::initializer_list<std::int64_t> offsets) {
    for (std::int64_t o : offsets) taken_.insert(cell_index(p + o));
  }
  // Positions in ascending order, the most of them.
  std::vector<std::int64_t> ascending(std::int64_t count) {
    std::vector<std::int64_t> ps;
    for (std::int64_t i = 0; i < count; ++i) ps.push_back(position());
    if (!r_.chance(3 * odd_percent)) std::sort(ps.begin(), ps.end());
    return ps;
  }

  std::int64_t value_of(std::initializer_list<std::int64_t> usual,
                        std::initializer_list<std::int64_t> odd_ones) {
    return odd() ? r_.pick(odd_ones) : r_.pick(usual);
  }
  bool odd() { return r_.chance(odd_percent); }

 private:
  bool free_at(std::int64_t p,
               std::initializer_list<std::int64_t> offsets) const {
    for (std::int64_t o : offsets) {
      if (taken_.count(cell_index(p + o)) != 0) return false;
    }
    return true;
  }

  Random& r_;
  Scenario& s_;
  std::set<std::int64_t> taken_;
};

std::int64_t random_length(Random& r) {
  const std::int64_t choice = r.below(20);
  if (choice < 5) return r.between(100, 1000);
  if (choice == 5)
    return r.pick<std::int64_t>({0, 1, 25, 75, 125, 175, 7000, 99975});
  if (choice == 6) {
    return r.pick<std::int64_t>(
        {kLongestLine, kLongestLine - 25, kLongestLine - 1});
  }
  return r.between(2000, 150000);
}

void random_line_body(Scenario& s, Builder& b, Random& r,
                      std::int32_t write_line_file) {
  auto& body = s.line_body;
  body.push_back(plain("[pendenze]"));
  for (std::int64_t p : b.ascending(r.below(20))) {
    body.push_back(
        row("pendenza", {p, b.value_of({-12, -4, 0, 2, 4, 8, 30},
                                       {-100, -101, 155, 156, 300})}));
  }
  body.push_back(plain("[curve]"));
  if (write_line_file != 0 || r.chance(50)) {
    for (std::int64_t p : b.ascending(r.below(25))) {
      const std::string keyword =
          std::string("curva") + r.pick({"s", "d", "S", "D"}) +
          num(b.odd() ? r.between(7, 9) : r.between(1, 6));
      const std::int64_t len =
          b.shaped(b.odd() ? r.between(2000, 200000) : r.between(1, 2000));
      body.push_back(row(keyword, {p, len}));
    }
  }
  body.push_back(plain("[montagne]"));
  std::int64_t previous_end = 0;
  for (std::int64_t i = r.below(7); i > 0; --i) {
    // Now and then a mountain less than 150 m after the one before.
    const std::int64_t start =
        std::min(r.chance(25) ? previous_end + b.shaped(r.between(0, 200))
                              : b.position(),
                 s.last_position());
    const std::int64_t end = start + b.shaped(r.between(-100, 3000));
    previous_end = end;
    body.push_back(row("montagna", {start, end,
                                    b.value_of({1, 2, 3, 11, 12, 13},
                                               {0, 10, 14, 255, 266, -1})}));
  }
  body.push_back(plain("[cartelli]"));
  for (std::int64_t i = r.below(12); i > 0; --i) {
    const std::int64_t s1 =
        b.value_of({60, 80, 100, 105, 120, 150}, {0, 2, 1639, 1640, -1700});
    const std::int64_t d = b.value_of({0, 0, 60, 120, 2}, {499, -3, 70000});
    Row board_row =
        row("indicatori_vmax", {b.free_position({0}), s1, s1 + 5, s1 + 10,
                                b.value_of({0, 1, 3}, {3277, 70000}), d, d, d,
                                b.value_of({0, 1}, {-70000, 40000})});
    body.push_back(board_row);
  }
  body.push_back(plain("[indicazioni]"));
  const std::int64_t signboards = r.chance(10) ? r.between(76, 82) : r.below(6);
  if (signboards > 20) {
    // Many signboards, one a cell, from somewhere near the start.
    const std::int64_t from = round_to_50(b.position());
    for (std::int64_t i = 0; i < signboards; ++i) {
      body.push_back(
          signboard(from + 50 * i,
                    kilometre_text(std::max<std::int64_t>(from + 50 * i, 0))));
    }
  } else {
    for (std::int64_t i = 0; i < signboards; ++i) {
      const std::int64_t p = b.free_position({0});
      body.push_back(signboard(
          p, r.chance(95) ? kilometre_text(std::max<std::int64_t>(p, 0)) : ""));
    }
  }
}

void random_train(Scenario& s, Builder& b, Random& r, std::int64_t signboards) {
  s.train_general = {
      row("numero vetture", {b.value_of({1, 6, 12}, {0, -1, 2147483647})}),
      row("percentuale massa frenata", {b.value_of({90, 120, 150}, {0, -120})}),
      row("sabbia", {b.value_of({0, 300}, {32767, 32768, -32769})}),
      row("orologio", {r.between(0, 23), r.between(0, 59),
                       b.value_of({0, 30}, {-1, 32767, 32768})})};
  auto& body = s.train_body;
  body.push_back(plain("[aderenze]"));
  if (r.chance(90)) body.push_back(row("aderenza", {0, 100}));
  for (std::int64_t p : b.ascending(r.below(4))) {
    body.push_back(
        row("aderenza", {p, b.value_of({80, 90, 100}, {0, 255, 256, -1})}));
  }
  body.push_back(plain("[vel_limite]"));
  if (r.chance(90)) body.push_back(row("velocita' limite", {0, 30}));
  for (std::int64_t p : b.ascending(r.below(20))) {
    body.push_back(
        row("velocita' limite", {p, b.value_of({30, 60, 95, 100, 115, 130, 160},
                                               {0, 2, 3, 1277, 1278, -3})}));
  }

  body.push_back(plain("[stazioni]"));
  body.push_back(plain(
      "-  pos. tipo lung. t  t  m    d d r   d d d   a   o  o  o   nome"));
  body.push_back(
      plain("-                  p  a  a    2 3 a   1 2 3   c   r  r  r"));
  body.push_back(
      plain("-                  s  b  r        p               o  m  s"));
  // Stations fill the slots up to two below the lowest signboard text; now
  // and then the list runs right up to that limit.
  const std::int64_t limit = 80 - std::min<std::int64_t>(signboards, 81) - 2;
  const bool crowded = r.chance(10);
  const std::int64_t stations =
      crowded ? std::max<std::int64_t>(limit - 2 + r.below(4), 0) : r.below(10);
  // A station reaches 800 m beyond its position.
  const std::int64_t last_station = s.last_position() - 700;
  std::int64_t pos = round_to_50(b.position_up_to(last_station));
  for (std::int64_t i = 0; i < stations && (pos <= last_station || b.odd());
       ++i) {
    const std::int64_t kind =
        crowded ? r.pick<std::int64_t>({28, 2})
                : b.value_of({2, 4, 5, 6, 7, 8, 12, 22, 28}, {0, 24, 25, 255});
    const std::int64_t len =
        crowded
            ? 100
            : b.value_of({200, 300, 400, 600, 700, 1000}, {0, 650, 1600, -100});
    const std::int64_t time = 36000 + 60 * i;
    // The marker's cell, 100 m before the end of the extent.
    if (kind < 25)
      b.take(pos + (kind == 7 || kind == 8 ? len : len / 2) - 100, {0});
    body.push_back(station(b.odd() ? pos + 25 : pos, kind, len, r.pick({0, 1}),
                           "STAZIONE " + num(i + 1), time));
    pos += crowded ? 500
                   : round_to_50(r.chance(90) ? r.between(1500, 8000)
                                              : r.between(0, 1500));
  }

  body.push_back(plain("[rallentamenti]"));
  for (std::int64_t i = r.below(5); i > 0; --i) {
    const std::int64_t l = b.shaped(
        b.value_of({0, 24, 25, 26, 50, 500, 1000, 3000}, {-100, 200000}));
    const std::int64_t x = b.free_position({-1200, 0, l});
    b.take(x, {-1250, -1300, -1350, -1400});  // the approach cells
    body.push_back(slow_order(
        x, b.value_of({30, 60, 100, 109, 110, 111, 140}, {0, -10, 40000}), l,
        r.pick({0, 1, 5}), r.pick({0, 1}), b.value_of({0, 10}, {-3, 70000})));
  }

  body.push_back(plain("[segnali]"));
  std::vector<std::int64_t> signals;
  for (std::int64_t i = r.below(40); i > 0; --i)
    signals.push_back(b.free_position({0}));
  if (!b.odd()) std::sort(signals.begin(), signals.end());
  for (std::int64_t p : signals) {
    const std::int64_t sx = r.pick({0, 1, 2, 2});
    body.push_back(signal(
        p,
        {sx, r.between(0, 9), r.between(0, 9), r.between(0, 1), r.between(0, 1),
         r.between(0, 2), r.between(0, 9), r.between(0, 9), r.between(0, 1),
         b.value_of({0, 0, 1, 50, 100, 101, 250, 300}, {-5, 70000, 3277})}));
  }
  for (std::int64_t i = r.chance(20) ? r.between(1, 3) : 0; i > 0; --i) {
    body.push_back(
        row("abbattimento",
            {b.free_position({-50}), b.value_of({80, 180, 0}, {-5, 40000})}));
  }
}

SourcePair built_pair(std::uint64_t seed, Random& r) {
  SourcePair p;
  p.seed = seed;
  name_pair(p, r, 50);
  if (r.chance(12)) p.write_line_file = 0;
  Scenario s;
  s.length = random_length(r);
  Builder b(r, s);
  b.avoid = r.chance(70);
  b.dense_ends = r.chance(50);
  b.odd_percent = r.pick({0, 0, 1, 3, 10});
  s.general.push_back(case_bound(
      row("ripetizione segnali 4 codici",
          {4650, round_to_50(std::max<std::int64_t>(s.length - 5000, 0))})));
  random_line_body(s, b, r, p.write_line_file);
  std::int64_t signboards = 0;
  for (const Row& row : s.line_body) signboards += row.has_text ? 1 : 0;
  random_train(s, b, r, signboards);
  p.how = "built: " + num(s.length) + " m line" +
          (b.dense_ends ? ", crowded ends" : "") +
          (b.avoid ? "" : ", objects may collide") + ", " + num(b.odd_percent) +
          "% odd values";
  if (r.chance(30)) {
    const auto& faults = targeted_faults();
    const std::int32_t fault = faults[static_cast<std::size_t>(
        r.below(static_cast<std::int64_t>(faults.size())))];
    if (fault != 101) p.how += "; and " + add_fault_rows(s, fault, r);
  }
  write_rows(p, s, r);
  return p;
}

SourcePair targeted_pair(std::uint64_t seed, Random& r) {
  SourcePair p;
  p.seed = seed;
  const auto& faults = targeted_faults();
  const std::int32_t fault = faults[(seed / 2) % faults.size()];
  name_pair(p, r, 50);
  if (fault != 103 && r.chance(12)) p.write_line_file = 0;
  Scenario s = clean_base(r);
  p.how =
      "targeted at fault " + num(fault) + ": " + add_fault_rows(s, fault, r);
  p.aimed_fault = fault;
  p.line_missing = fault == 101;
  write_rows(p, s, r);
  return p;
}

// ---- Mutations of whole sources ----------------------------------------

// Where the numbers of a line start: maximal runs of digits after the
// keyword field, with the sign before them.
std::vector<std::pair<std::size_t, std::size_t>> number_spans(
    const std::string& line) {
  std::vector<std::pair<std::size_t, std::size_t>> spans;
  const std::size_t comma = line.find(',');
  if (comma == std::string::npos) return spans;
  std::size_t i = comma + 1;
  while (i < line.size()) {
    if (line[i] < '0' || line[i] > '9') {
      ++i;
      continue;
    }
    std::size_t start = i;
    while (i < line.size() && line[i] >= '0' && line[i] <= '9') ++i;
    if (start > 0 && (line[start - 1] == '-' || line[start - 1] == '+'))
      --start;
    spans.emplace_back(start, i - start);
  }
  return spans;
}

std::string mutated_number(std::int64_t v, Random& r, std::string& what) {
  switch (r.below(7)) {
    case 0: {
      const std::int64_t tie = v - ((v % 50) + 50) % 50 + r.pick({25, -25});
      what = "tie";
      return num(tie);
    }
    case 1:
      what = "zero";
      return "0";
    case 2:
      what = "negative";
      return num(v != 0 ? -v : -r.between(1, 100));
    case 3:
      what = "huge";
      return r.pick<std::string>({"99999999999", "9223372036854775807",
                                  "9223372036854775808", "-9223372036854775809",
                                  "123456789012345678901234567890"});
    case 4:
      what = "neighbour";
      return num(v + r.pick({1, -1}));
    default:
      what = "limit";
      return num(r.pick<std::int64_t>({127, 128, -128, -129, 255, 256, 32767,
                                       32768, -32768, -32769, 65535, 65536,
                                       2147483647, 2147483648, -2147483648LL,
                                       -2147483649LL, 1000000, 1000001}));
  }
}

std::string comment_line(Random& r) {
  return r.pick<std::string>({"- nota", "-", "   - commento, con virgola",
                              "-- curvas3, 100, 50", "- stazione", "-[fine]"});
}

// The keyword field of a line: up to its first comma.
std::size_t keyword_end(const std::string& line) {
  return std::min(line.find(','), line.size());
}

bool keyword_has_digit(const std::string& line) {
  const std::size_t end = keyword_end(line);
  return std::any_of(line.begin(),
                     line.begin() + static_cast<std::ptrdiff_t>(end),
                     [](char c) { return c >= '0' && c <= '9'; });
}

bool has_fields(const std::string& line) {
  return line.find(',') != std::string::npos;
}

// A separator between two fields after the keyword: a comma, or blanks
// between numbers.
bool has_separator(const std::string& line) {
  const std::size_t first = line.find(',');
  return first != std::string::npos &&
         (line.find(',', first + 1) != std::string::npos ||
          line.find("  ", first + 1) != std::string::npos);
}

bool has_numbers(const std::string& line) {
  return !number_spans(line).empty();
}

// A random line that `fits`; -1 when none does.
std::int64_t line_that(const std::vector<std::string>& lines, Random& r,
                       bool (*fits)(const std::string&)) {
  std::vector<std::int64_t> candidates;
  for (std::size_t k = 0; k < lines.size(); ++k) {
    if (fits(lines[k])) candidates.push_back(static_cast<std::int64_t>(k));
  }
  if (candidates.empty()) return -1;
  return candidates[static_cast<std::size_t>(
      r.below(static_cast<std::int64_t>(candidates.size())))];
}

std::string line_words(std::int64_t i) { return "line " + num(i + 1); }

// Changes a class digit or a code count in a keyword.
std::string change_keyword_digit(std::vector<std::string>& lines, Random& r) {
  const std::int64_t k = line_that(lines, r, keyword_has_digit);
  if (k < 0) return "no keyword with a digit";
  std::string& l = lines[static_cast<std::size_t>(k)];
  const std::size_t end = keyword_end(l);
  std::vector<std::size_t> digits;
  for (std::size_t d = 0; d < end; ++d) {
    if (l[d] >= '0' && l[d] <= '9') digits.push_back(d);
  }
  const char old = l[digits.front()];
  l[digits.front()] = static_cast<char>('0' + r.below(10));
  return line_words(k) + " keyword digit " + old + " -> " + l[digits.front()];
}

// Drops a field after the keyword.
std::string drop_field(std::vector<std::string>& lines, Random& r) {
  const std::int64_t k = line_that(lines, r, has_fields);
  if (k < 0) return "no field to drop";
  std::string& l = lines[static_cast<std::size_t>(k)];
  std::vector<std::size_t> commas;
  for (std::size_t c = l.find(','); c < l.size(); ++c) {
    if (l[c] == ',') commas.push_back(c);
  }
  const std::size_t c = commas[static_cast<std::size_t>(
      r.below(static_cast<std::int64_t>(commas.size())))];
  const std::size_t next = l.find(',', c + 1);
  l.erase(c, (next == std::string::npos ? l.size() : next) - c);
  return line_words(k) + " field dropped";
}

// Turns a comma into blanks, or blanks into a comma.
std::string change_separator(std::vector<std::string>& lines, Random& r) {
  const std::int64_t k = line_that(lines, r, has_separator);
  if (k < 0) return "no separator to change";
  std::string& l = lines[static_cast<std::size_t>(k)];
  const std::size_t first = l.find(',');
  const std::size_t comma = l.find(',', first + 1);
  const std::size_t blanks = l.find("  ", first + 1);
  if (comma != std::string::npos &&
      (blanks == std::string::npos || r.chance(60))) {
    l.replace(comma, 1, r.pick<std::string>({" ", "   ", " , ", ",,"}));
    return line_words(k) + " comma turned into blanks";
  }
  l.replace(blanks, 2, ", ");
  return line_words(k) + " blanks turned into a comma";
}

// Changes a number in a row.
std::string change_number(std::vector<std::string>& lines, Random& r) {
  const std::int64_t k = line_that(lines, r, has_numbers);
  if (k < 0) return "no number to change";
  std::string& l = lines[static_cast<std::size_t>(k)];
  const auto spans = number_spans(l);
  const auto [start, length] = spans[static_cast<std::size_t>(
      r.below(static_cast<std::int64_t>(spans.size())))];
  const std::string old = l.substr(start, length);
  std::string what;
  // A number made huge by an earlier mutation counts as 0.
  const std::int64_t value = old.size() < 18 ? std::stoll(old) : 0;
  const std::string replacement = mutated_number(value, r, what);
  l.replace(start, length, replacement);
  return line_words(k) + ": " + old + " -> " + replacement + " (" + what + ")";
}

// Applies one mutation to `lines`; says what it did.
std::string mutate(std::vector<std::string>& lines, Random& r) {
  if (lines.empty()) {
    lines.push_back(comment_line(r));
    return "comment into an empty source";
  }
  const auto size = static_cast<std::int64_t>(lines.size());
  const auto at = [&](std::int64_t i) -> std::string& {
    return lines[static_cast<std::size_t>(i)];
  };
  const std::int64_t i = r.below(size);
  switch (r.below(12)) {
    case 0:
      lines.erase(lines.begin() + i);
      return line_words(i) + " dropped";
    case 1:
      lines.insert(lines.begin() + i, at(i));
      return line_words(i) + " duplicated";
    case 2: {
      const std::int64_t j = r.below(size);
      std::swap(at(i), at(j));
      return line_words(i) + " swapped with line " + num(j + 1);
    }
    case 3: {
      const std::string moved = at(i);
      lines.erase(lines.begin() + i);
      const std::int64_t j = r.below(size);
      lines.insert(lines.begin() + j, moved);
      return line_words(i) + " moved to line " + num(j + 1);
    }
    case 4: {
      std::string& l = at(i);
      const std::size_t end = keyword_end(l);
      l = any_case(l.substr(0, end), r) + l.substr(end);
      return line_words(i) + " keyword in another case";
    }
    case 5: {
      const std::int64_t count = r.between(1, 3);
      for (std::int64_t k = 0; k < count; ++k) {
        lines.insert(lines.begin() + i, comment_line(r));
      }
      return num(count) + " comments before " + line_words(i);
    }
    case 6:
      return change_keyword_digit(lines, r);
    case 7:
      return drop_field(lines, r);
    case 8: {
      std::string& l = at(i);
      const std::string field =
          ", " + num(r.pick<std::int64_t>({0, 25, 50, 1000, -1}));
      l.insert(keyword_end(l), field);
      return line_words(i) + " field added";
    }
    case 9:
      return change_separator(lines, r);
    default:
      return change_number(lines, r);
  }
}

SourcePair mutated_pair(std::uint64_t seed, Random& r) {
  SourcePair p;
  p.seed = seed;
  std::string line;
  std::string train;
  if ((seed / 4) % 16 == 15) {
    const MaximalScenario maximal = generate_maximal_scenario();
    line = maximal.line_source;
    train = maximal.train_source;
    p.line_name = "Massima";
    p.train_number = "10001";
    p.how = "mutated maximal scenario:";
  } else {
    line = embedded_line_source();
    train = embedded_train_source();
    p.how = "mutated embedded sources:";
  }
  name_pair(p, r, 20);
  if (r.chance(10)) p.write_line_file = 0;
  std::vector<std::string> line_lines = split_lines(line);
  std::vector<std::string> train_lines = split_lines(train);
  const std::int64_t count = r.chance(80) ? r.between(1, 3) : r.between(4, 10);
  for (std::int64_t k = 0; k < count; ++k) {
    const bool on_line = r.chance(50);
    p.how += std::string(k == 0 ? " " : "; ") +
             (on_line ? "line source " : "train source ") +
             mutate(on_line ? line_lines : train_lines, r);
  }
  p.line = join_lines(line_lines);
  p.train = join_lines(train_lines);
  return p;
}

}  // namespace

const std::vector<std::int32_t>& targeted_faults() {
  static const std::vector<std::int32_t> kFaults = {
      0,  1,  2,  3,  4,  5,  6,  7,  8,  9,   10,  11,  12,   13,  15,
      16, 17, 18, 19, 20, 21, 22, 24, 25, 101, 102, 103, 1250, 1251};
  return kFaults;
}

SourcePair random_source_pair(std::uint64_t seed) {
  Random r(seed);
  if (seed % 2 == 0) return targeted_pair(seed, r);
  if (seed % 4 == 1) return mutated_pair(seed, r);
  return built_pair(seed, r);
}

std::string with_line_ends(std::string_view text, LineEnd end) {
  if (end == LineEnd::kCrLf) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      out += end == LineEnd::kLf ? '\n' : '\r';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

namespace {
Model named(const SourcePair& pair) {
  Model m;
  m.line_name = pair.line_name;
  m.train_number = pair.train_number;
  return m;
}
}  // namespace

std::string line_source_name(const SourcePair& pair) {
  return ScenarioFileNames::line_source(named(pair));
}

std::string train_source_name(const SourcePair& pair) {
  return ScenarioFileNames::train_source(named(pair));
}

bool write_source_pair(const SourcePair& pair,
                       const std::filesystem::path& dir) {
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  const auto write = [&](const std::string& name, const std::string& bytes) {
    std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
  };
  bool ok = write("how.txt",
                  "seed " + std::to_string(pair.seed) + ": " + pair.how +
                      (pair.write_line_file == 0 ? " (no line geometry)" : "") +
                      "\n");
  if (!pair.line_missing) ok = write(line_source_name(pair), pair.line) && ok;
  ok = write(train_source_name(pair), pair.train) && ok;
  if (pair.restyled()) {
    // The same rows written the other way, under the same names.
    std::filesystem::create_directories(dir / "restyled", ec);
    ok = write("restyled/" + line_source_name(pair), pair.line_restyled) && ok;
    ok =
        write("restyled/" + train_source_name(pair), pair.train_restyled) && ok;
  }
  return ok;
}

SeedRange seeds_from_environment(std::uint64_t fallback) {
  const auto from = [](const char* name, std::uint64_t otherwise) {
    const char* text = std::getenv(name);
    return text != nullptr && *text != '\0' ? std::strtoull(text, nullptr, 10)
                                            : otherwise;
  };
  return {from("RANDOM_SOURCES_SEED", 0), from("RANDOM_SOURCES_COUNT", fallback)};
}

}  // namespace scenc::bench
