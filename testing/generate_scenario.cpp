#include "testing/generate_scenario.h"

#include <array>
#include <cstdio>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "compiler/distances.h"
#include "model/track_model.h"

namespace scenc::bench {
namespace {

constexpr std::int32_t kGradientSpacing = 500;
constexpr std::int32_t kCurveSpacing = 1000;
constexpr std::int32_t kCurveLength = 300;
constexpr std::int32_t kBoardSpacing = 2000;
constexpr std::int32_t kMountainSpacing = 40000;
constexpr std::int32_t kMountainLength = 1000;
constexpr std::int32_t kSignalSpacing = 1500;
constexpr std::int32_t kSlowOrderSpacing = 20000;
constexpr std::int32_t kSlowOrderLength = 1000;
constexpr std::int32_t kSpeedLimitSpacing = 10000;
constexpr std::int32_t kAdhesionSpacing = 100000;
// The last station stands this far before the line end.
constexpr std::int32_t kLastStation = kMaximalLength - 10000;
// How many 50 m steps forward a mark may move to find its cells free.
constexpr int kShiftAttempts = 40;

// Rows are written as the emitters write them: fields joined by ", ",
// every line ended by CR LF.
class Text {
 public:
  void line(std::string_view s) {
    text_ += s;
    text_ += "\r\n";
  }
  void row(std::string_view keyword, std::initializer_list<std::int64_t> numbers,
           std::string_view tail = {}) {
    text_ += keyword;
    for (std::int64_t n : numbers) {
      text_ += ", ";
      text_ += std::to_string(n);
    }
    if (!tail.empty()) {
      text_ += ", ";
      text_ += tail;
    }
    text_ += "\r\n";
  }
  std::string take() { return std::move(text_); }

 private:
  std::string text_;
};

// Which cells the compile will find taken, in the order the rows are
// compiled, and which cells are kept free for the marks the finishing pass
// will place.
class CellPlan {
 public:
  explicit CellPlan(std::int64_t last_cell)
      : taken_(static_cast<std::size_t>(last_cell + 1)),
        kept_(static_cast<std::size_t>(last_cell + 1)) {}

  bool open(std::int64_t c) const {
    return c >= 0 && c < size() && !taken_[at(c)] && !kept_[at(c)];
  }
  bool all_open(std::initializer_list<std::int64_t> cells) const {
    for (std::int64_t c : cells) {
      if (!open(c)) return false;
    }
    return true;
  }
  void take(std::int64_t c) { taken_[at(c)] = true; }
  void keep(std::int64_t c) { kept_[at(c)] = true; }
  // The first open cell of `cells`, kept for a mark; false when none is.
  bool keep_first_open(std::initializer_list<std::int64_t> cells) {
    for (std::int64_t c : cells) {
      if (open(c)) {
        keep(c);
        return true;
      }
    }
    return false;
  }

 private:
  std::int64_t size() const { return static_cast<std::int64_t>(taken_.size()); }
  static std::size_t at(std::int64_t c) { return static_cast<std::size_t>(c); }
  std::vector<bool> taken_;
  std::vector<bool> kept_;
};

// The first position from `target` on, in 50 m steps, that `fits`.
template <typename Fits>
std::int32_t first_fitting(std::int32_t target, Fits fits) {
  for (int i = 0; i < kShiftAttempts; ++i) {
    const std::int32_t p = target + kCellLength * i;
    if (fits(p)) return p;
  }
  return -1;
}

std::int32_t round_to_50(std::int64_t metres) {
  return static_cast<std::int32_t>(round_div_even(metres, kCellLength) *
                                   kCellLength);
}

// "(  Km. ) (123.450)", the text of a kilometre signboard.
std::string kilometre_text(std::int32_t position) {
  char text[40];
  std::snprintf(text, sizeof text, "(  Km. ) (%d.%03d)", position / 1000,
                position % 1000);
  return text;
}

void line_general(Text& t) {
  t.line("Percorso generato di 1000 km");
  t.line("");
  t.line("inizio_dati");
  t.line("[generale]");
  t.row("lunghezza percorso", {kMaximalLength});
  t.row("progressiva chilometrica uno", {0, 0, 0});
  t.row("progressiva chilometrica due", {0, 0, 0});
  t.row("progressiva chilometrica tre", {0, 0, 0});
  t.row("sfondo uno", {1});
  t.row("sfondo due", {0});
  t.row("sfondo tre", {0});
  t.row("ripetizione segnali 4 codici", {4650, kMaximalLength - 5000});
}

void line_body(Text& t, CellPlan& plan, MaximalScenario& s,
               const MaximalScenarioOptions& options) {
  t.line("[pendenze]");
  for (std::int32_t p = kGradientSpacing; p <= kMaximalLength; p += kGradientSpacing) {
    // Gradients from -12 to +12 per mille in a scattered order.
    const std::int32_t i = p / kGradientSpacing;
    t.row("pendenza", {p, (i * 37) % 25 - 12});
    ++s.gradient_rows;
  }

  t.line("[curve]");
  for (std::int32_t k = 0; k * kCurveSpacing + 100 + kCurveLength < kMaximalLength; ++k) {
    // Every class, turning to both sides in turn.
    const char side = (k / 6) % 2 == 0 ? 's' : 'd';
    const std::string keyword = std::string("curva") + side + std::to_string(k % 6 + 1);
    t.row(keyword, {std::int64_t{k} * kCurveSpacing + 100, kCurveLength});
    ++s.curves;
  }

  t.line("[cartelli]");
  for (std::int32_t p = 800; p < kMaximalLength; p += kBoardSpacing) {
    const std::int64_t base = 60 + 5 * ((p / kBoardSpacing) % 20);
    const std::int64_t right = (p / kBoardSpacing) % 3 == 0 ? 0 : base;
    t.row("indicatori_vmax",
          {p, base, base + 10, base + 15, 0, right, right == 0 ? 0 : right + 10,
           right == 0 ? 0 : right + 15, 0});
    plan.take(cell_index(p));
    ++s.boards;
  }

  t.line("[montagne]");
  constexpr std::int32_t kTypes[] = {1, 2, 12};  // 12: type 2 with markers
  for (std::int32_t start = kMountainSpacing / 2; start < kMaximalLength;
       start += kMountainSpacing) {
    const std::int32_t type = kTypes[(start / kMountainSpacing) % 3];
    t.row("montagna", {start, start + kMountainLength, type});
    ++s.mountains;
  }

  t.line("[indicazioni]");
  for (int j = 1; j <= options.signboards; ++j) {
    const std::int32_t target =
        round_to_50(std::int64_t{j} * kMaximalLength / (options.signboards + 1)) + 550;
    const std::int32_t p =
        first_fitting(target, [&](std::int32_t q) { return plan.open(cell_index(q)); });
    if (p < 0) continue;
    plan.take(cell_index(p));
    t.row("cartello indicatore", {p}, kilometre_text(p + 50));
    ++s.signboards;
  }
  t.line("[fine]");
}

void train_general(Text& t) {
  t.line("Treno generato per il percorso di 1000 km");
  t.line("");
  t.line("inizio_dati");
  t.line("[generale]");
  t.row("numero vetture", {8});
  t.row("percentuale massa frenata", {120});
  t.row("sabbia", {300});
  t.row("orologio", {6, 0, 0});
  t.line("[aderenze]");
  for (std::int32_t p = 0; p < kMaximalLength; p += kAdhesionSpacing) {
    t.row("aderenza", {p, (p / kAdhesionSpacing) % 2 == 0 ? 100 : 90});
  }
  t.line("[vel_limite]");
  constexpr std::int32_t kSpeeds[] = {120, 140, 160, 100, 130, 150, 90};
  t.row("velocita' limite", {0, 60});
  for (std::int32_t p = kSpeedLimitSpacing; p < kMaximalLength; p += kSpeedLimitSpacing) {
    t.row("velocita' limite", {p, kSpeeds[(p / kSpeedLimitSpacing) % 7]});
  }
}

// The station's extent end along the line, as the compiler computes it.
std::int64_t extent_end(std::int32_t pos, int kind, std::int32_t len, int mar) {
  if (kind == 5 || kind == 6) return pos + 150;
  if (kind == 7 || kind == 8) return pos + len;
  return pos + len / 2 + (mar != 0 ? 50 : 0);
}

void stations(Text& t, CellPlan& plan, MaximalScenario& s, int count) {
  t.line("[stazioni]");
  // Kinds from 25 up place nothing on the grid; 5 and 6 have no approach
  // codes; 7 and 8 reach a whole length beyond their position.
  constexpr int kKinds[] = {2, 22, 7, 28, 4, 12, 5};
  constexpr std::int32_t kLengths[] = {400, 600, 500, 700};
  for (int i = 0; i < count; ++i) {
    const int kind = i == 0 ? 8 : kKinds[i % 7];
    const std::int32_t len = i == 0 ? 400 : kLengths[i % 4];
    const int mar = kind == 2 ? 1 : 0;
    const std::int32_t target =
        round_to_50(std::int64_t{i} * kLastStation / (count - 1));
    const auto marker = [&](std::int32_t pos) {
      return round_div_even(extent_end(pos, kind, len, mar) - kCellLength,
                            kCellLength);
    };
    const std::int32_t pos = first_fitting(target, [&](std::int32_t p) {
      return kind >= 25 || plan.open(marker(p));
    });
    if (pos < 0) continue;
    if (kind < 25) plan.take(marker(pos));
    // A train at 108 km/h leaving at 6:00.
    const std::int32_t seconds = 6 * 3600 + pos / 30;
    char name[24];
    std::snprintf(name, sizeof name, "STAZIONE %02d", i + 1);
    t.row("stazione",
          {pos, kind, len, i % 2, len >= 600 ? 1 : 0, mar, 1, 1, 0, 4, 1, 1, 60,
           seconds / 3600, seconds / 60 % 60, seconds % 60},
          name);
    ++s.stations;
  }
}

void slow_orders(Text& t, CellPlan& plan, MaximalScenario& s) {
  t.line("[rallentamenti]");
  // Below 110 km/h the finishing pass marks the inside of a slow order;
  // from 110 up it does not.
  constexpr std::int32_t kSpeeds[] = {30, 60, 90, 120, 140};
  int k = 0;
  for (std::int32_t target = kSlowOrderSpacing / 2; target < kMaximalLength;
       target += kSlowOrderSpacing, ++k) {
    const std::int32_t v = kSpeeds[k % 5];
    const auto cells_of = [](std::int32_t x) {
      const std::int64_t start = cell_index(x);
      const std::int64_t warning =
          cell_index(std::int64_t{x} - kWarningDistance);
      const std::int64_t approach =
          round_div_even(std::int64_t{x} - kWarningDistance, kCellLength);
      return std::array<std::int64_t, 7>{warning,      start,        cell_index(x + kSlowOrderLength),
                                         approach,     approach - 1, approach - 2,
                                         approach - 3};
    };
    const std::int32_t x = first_fitting(target, [&](std::int32_t q) {
      const auto c = cells_of(q);
      const std::int64_t st = c[1];
      if (!plan.all_open({c[0], c[1], c[2], c[3], c[4], c[5], c[6]})) return false;
      // One free cell in each look-back group, and the inner marks.
      const auto group_open = [&](std::int64_t near) {
        return plan.open(st - near) || plan.open(st - near - 1) ||
               plan.open(st - near - 2);
      };
      if (!group_open(5) || !group_open(11) || !group_open(18)) return false;
      return v >= 110 || plan.all_open({st + 8, st + 16});
    });
    if (x < 0) continue;
    const auto c = cells_of(x);
    for (std::int64_t cell : c) plan.take(cell);
    const std::int64_t st = c[1];
    for (std::int64_t near : {5, 11, 18}) {
      plan.keep_first_open({st - near, st - near - 1, st - near - 2});
    }
    if (v < 110) {
      plan.keep(st + 8);
      plan.keep(st + 16);
    }
    t.row("rallentamento", {x, v, kSlowOrderLength, 0, 1, k % 2 == 0 ? 0 : 10});
    ++s.slow_orders;
  }
}

void signals(Text& t, CellPlan& plan, MaximalScenario& s) {
  t.line("[segnali]");
  // sx, s1, s2, s3, rapp, dx, d1, d2, d3, tempo
  constexpr std::array<std::int64_t, 10> kCodes[] = {
      {1, 4, 1, 0, 0, 0, 0, 0, 0, 0},
      {2, 3, 1, 1, 0, 2, 2, 1, 1, 0},
      {2, 4, 1, 0, 0, 2, 2, 1, 0, 250},
      {2, 4, 1, 1, 0, 2, 2, 1, 1, 0},
  };
  int j = 0;
  for (std::int32_t target = kSignalSpacing; target < kMaximalLength;
       target += kSignalSpacing, ++j) {
    // The cell before a signal stays free for the mark a slow order nearby
    // puts there.
    const std::int32_t p = first_fitting(target, [&](std::int32_t q) {
      return plan.all_open({cell_index(q), cell_index(q) - 1});
    });
    if (p < 0) continue;
    plan.take(cell_index(p));
    plan.keep(cell_index(p) - 1);
    const auto& v = kCodes[j % 4];
    t.row("segnale", {p, v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8], v[9]});
    ++s.signals;
  }
  t.line("[fine]");
}

}  // namespace

MaximalScenario generate_maximal_scenario(const MaximalScenarioOptions& options) {
  MaximalScenario s;
  s.length = kMaximalLength;
  CellPlan plan(last_cell_for_length(kMaximalLength));

  Text line;
  line_general(line);
  line_body(line, plan, s, options);
  s.line_source = line.take();

  Text train;
  train_general(train);
  stations(train, plan, s, most_stations(s.signboards));
  slow_orders(train, plan, s);
  signals(train, plan, s);
  s.train_source = train.take();
  return s;
}

}  // namespace scenc::bench
