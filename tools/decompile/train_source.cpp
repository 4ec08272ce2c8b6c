// The train source from the files: the train's values from slots 84 and 86,
// adhesion and speed limits from the cells, the stations from their slots,
// and the slow orders, signals and abbattimento rows from the cells they
// marked. Stations and signals both write approach codes, the later row
// over the earlier; they are written in an order that leaves the codes the
// cells hold.
#include <algorithm>
#include <map>
#include <optional>
#include <queue>
#include <set>

#include "compiler/distances.h"
#include "tools/decompile/cell_fills.h"
#include "tools/decompile/recovery.h"
#include "tools/decode/describe.h"

namespace scenc::tools {
namespace {

using Severity = DecompileNote::Severity;

std::int64_t floor_mod(std::int64_t a, std::int64_t b) {
  return ((a % b) + b) % b;
}

std::int64_t position_of_cell(std::int64_t c) { return kCellLength * (c - 1); }

// ---- General rows and fills ----------------------------------------------

RecoveredSection general_section(Recovery& r) {
  const ScenarioSlot& consist = r.slot(kConsistSlot);
  const ScenarioSlot& train = r.slot(kTrainSlot);
  return {"[generale]",
          {},
          {make_row("numero vetture", {consist.num3}),
           make_row("percentuale massa frenata", {consist.num1}),
           make_row("sabbia", {train.word1}),
           make_row("orologio", {train.word3, train.word4, train.word5})}};
}

std::vector<std::uint8_t> bytes_of(const Recovery& r,
                                   std::uint8_t TrackCell::*field) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(r.cells.size());
  for (const TrackCell& c : r.cells) bytes.push_back(c.*field);
  return bytes;
}

RecoveredSection adhesion(Recovery& r) {
  RecoveredSection s{"[aderenze]", {}, {}};
  for (const FillRow& f :
       fill_rows(bytes_of(r, &TrackCell::adhesion), 0, true)) {
    s.rows.push_back(make_row("aderenza", {kCellLength * f.cell, f.value}));
  }
  return s;
}

RecoveredSection speed_limits(Recovery& r) {
  RecoveredSection s{"[vel_limite]", {}, {}};
  // A cell keeps the speed divided by 5.
  for (const FillRow& f :
       fill_rows(bytes_of(r, &TrackCell::speed_limit), 0, true)) {
    s.rows.push_back(make_row(
        "velocita' limite", {kCellLength * f.cell, 5 * std::int64_t{f.value}}));
  }
  return s;
}

// ---- Who wrote the approach codes ---------------------------------------

// A row that writes approach codes: a station (80 + k on the four cells
// below its marker) or a signal ((sx x 3 + dx) x 10 + k on the cells 2, 4,
// 6 and 8 below it).
struct Writer {
  bool station = false;
  std::size_t row = 0;  // its index among the stations or the signals
  std::vector<std::pair<std::int64_t, int>> cells;  // cell, k
  std::optional<std::int64_t> x;  // a signal's sx x 3 + dx, once known
  // A signal's last value, rapp x 10 + x: x has its parity.
  std::int64_t last_value = 0;

  bool may_be(std::int64_t x_candidate) const {
    return floor_mod(x_candidate - last_value, 2) == 0;
  }

  std::int64_t code(int k) const {
    return station ? 80 + k : floor_mod(x.value_or(0) * 10 + k, 256);
  }
  // The k of cell c, one of its cells.
  int k_of(std::int64_t c) const {
    for (const auto& [cell, k] : cells) {
      if (cell == c) return k;
    }
    return 0;
  }
};

// The x that writes `code` as the k-th approach code: x x 10 + k has the
// low byte `code`, so x is known modulo 128, and not at all when code - k
// is odd.
std::optional<std::int64_t> x_writing(std::int64_t code, int k) {
  const std::int64_t twice = floor_mod(code - k, 256);
  if (twice % 2 != 0) return std::nullopt;
  return floor_mod(twice / 2 * 77, 128);  // 77 x 5 = 1 modulo 128
}

// Whether writer w leaves `code` on cell c, one of its cells.
bool leaves(const Writer& w, std::int64_t c, std::int64_t code) {
  return w.code(w.k_of(c)) == code;
}

// Each signal's x as if the rows stood in the default order, each cell
// keeping the code of the last row there; false where some cell then holds
// a code its last row cannot write.
bool codes_in_default_order(
    const Recovery& r, std::vector<Writer>& writers,
    const std::map<std::int64_t, std::vector<std::size_t>>& at) {
  std::map<std::size_t, std::int64_t> found;
  for (const auto& [c, ws] : at) {
    const Writer& w = writers[ws.back()];
    const std::int64_t code = r.cell(c).approach;
    if (w.station) {
      if (!leaves(w, c, code)) return false;
      continue;
    }
    const auto x = x_writing(code, w.k_of(c));
    if (!x || !w.may_be(*x)) return false;
    if (!found.emplace(ws.back(), *x).second && found[ws.back()] != *x)
      return false;
  }
  for (const auto& [w, x] : found) writers[w].x = x;
  return true;
}

// Finds each signal's x: from the default order where that order explains
// every cell, else from the codes of the cells only it writes, then of the
// cells it shares, each x with the parity of its last value.
void find_signal_codes(
    const Recovery& r, std::vector<Writer>& writers,
    const std::map<std::int64_t, std::vector<std::size_t>>& at) {
  if (codes_in_default_order(r, writers, at)) return;
  for (Writer& w : writers) {
    if (w.station) continue;
    std::map<std::int64_t, int> sole;
    std::map<std::int64_t, int> shared;
    for (const auto& [c, k] : w.cells) {
      const auto x = x_writing(r.cell(c).approach, k);
      if (x && w.may_be(*x)) ++(at.at(c).size() == 1 ? sole : shared)[*x];
    }
    const auto& votes = sole.empty() ? shared : sole;
    if (votes.empty()) continue;
    w.x = std::max_element(votes.begin(), votes.end(), [](auto& a, auto& b) {
            return a.second < b.second;
          })->first;
  }
}

// The order to write stations and signals in: the default one (stations in
// their slots' order, then the signals along the line) wherever it leaves
// every cell the code it holds, else one in which the row whose code a cell
// holds comes after the others that write there.
std::vector<std::size_t> writing_order(
    Recovery& r, const std::vector<Writer>& writers,
    const std::map<std::int64_t, std::vector<std::size_t>>& at,
    const std::vector<std::pair<std::size_t, std::size_t>>& before) {
  const std::size_t n = writers.size();
  std::vector<std::set<std::size_t>> after(n);
  std::vector<int> before_count(n, 0);
  const auto edge = [&](std::size_t a, std::size_t b) {
    if (a != b && after[a].insert(b).second) ++before_count[b];
  };
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (writers[i].station && writers[i + 1].station) edge(i, i + 1);
  }
  for (const auto& [a, b] : before) edge(a, b);
  for (const auto& [c, ws] : at) {
    const std::int64_t code = r.cell(c).approach;
    std::optional<std::size_t> kept;  // the last in default order that fits
    for (std::size_t w : ws) {
      if (leaves(writers[w], c, code)) kept = w;
    }
    if (!kept) {
      r.on_cell(Severity::kWarning, c,
                "its approach code " + std::to_string(code) +
                    " is none that the stations and signals around it write");
      continue;
    }
    for (std::size_t w : ws) {
      if (!leaves(writers[w], c, code)) edge(w, *kept);
    }
  }
  // Kahn's order, the default order first among the rows free to come.
  std::priority_queue<std::size_t, std::vector<std::size_t>, std::greater<>>
      ready;
  for (std::size_t i = 0; i < n; ++i) {
    if (before_count[i] == 0) ready.push(i);
  }
  std::vector<std::size_t> order;
  while (!ready.empty()) {
    const std::size_t i = ready.top();
    ready.pop();
    order.push_back(i);
    for (std::size_t j : after[i]) {
      if (--before_count[j] == 0) ready.push(j);
    }
  }
  if (order.size() != n) {
    r.on_cell(Severity::kWarning, at.empty() ? 0 : at.begin()->first,
              "the approach codes ask for the stations and signals in an order "
              "no source can have: each would have to come after another "
              "that comes after it");
    order.clear();
    for (std::size_t i = 0; i < n; ++i) order.push_back(i);
  }
  return order;
}

// ---- Stations ------------------------------------------------------------

struct Station {
  RecoveredRow row;
  Writer writer;
  std::int64_t marker = -1;  // its marker's cell; none for kinds from 25
};

// The extent end of a station and the cells it marks, as its row places
// them.
std::vector<std::pair<std::int64_t, int>> station_approach(const Recovery& r,
                                                           std::uint8_t kind,
                                                           std::int64_t end) {
  std::vector<std::pair<std::int64_t, int>> cells;
  if (kind >= 25 || kind == 5 || kind == 6) return cells;
  for (int k = 1; k <= 4; ++k) {
    const std::int64_t c =
        round_div_even(end - kCellLength * (k + 1), kCellLength);
    if (end > kCellLength * (k + 2) && c <= r.last_cell)
      cells.emplace_back(c, k);
  }
  return cells;
}

// The length and column 6 ("mar") a station's row had, from its extent.
// Kinds 5 to 8 clear column 6; the first station clears it after the
// extent has taken its 50 m.
std::pair<std::int64_t, std::int64_t> length_and_mar(Recovery& r, int n) {
  const ScenarioSlot& s = r.slot(n);
  const std::int64_t pos = s.num3;
  std::int64_t len = 0;
  std::int64_t mar = s.byte3;
  std::int64_t end = 0;
  if (s.kind >= 5 && s.kind <= 8) {
    len = pos - s.num1;
    end = s.kind <= 6 ? pos + 150 : pos + len;
  } else {
    len = 2 * (pos - s.num1);
    const std::int64_t extra = s.num2 - (pos + len / 2);
    if (n == 1) mar = extra == 50 ? 1 : 0;
    end = pos + len / 2 + (mar != 0 ? 50 : 0);
  }
  if (end != s.num2 || len % 100 != 0 || pos % kCellLength != 0 ||
      (s.kind >= 5 && s.kind <= 8 && s.byte3 != 0) ||
      ((len < 600 || n == 1) && s.byte4 != 0) || (n == 1 && s.byte3 != 0)) {
    r.on_slot(Severity::kWarning, n,
              "a station whose extent (" + std::to_string(s.num1) + " to " +
                  std::to_string(s.num2) +
                  " m) and columns no station row "
                  "gives: its position is a multiple of 50 m, its length of "
                  "100 m, and the extent follows from them and its kind");
  }
  return {len, mar};
}

// Seconds of the day as hours, minutes and seconds, each with the sign of
// the whole.
std::vector<std::int64_t> time_of(std::int64_t seconds) {
  const std::int64_t sign = seconds < 0 ? -1 : 1;
  const std::int64_t a = seconds * sign;
  return {sign * (a / 3600), sign * (a / 60 % 60), sign * (a % 60)};
}

std::vector<Station> stations(Recovery& r, std::vector<bool>& explained) {
  std::vector<Station> out;
  const int count = r.station_count();
  for (int n = 1; n <= count; ++n) {
    const ScenarioSlot& s = r.slot(n);
    const auto [len, mar] = length_and_mar(r, n);
    const bool first = n == 1;
    const std::int64_t tab = (len < 600 || first) ? 0 : s.byte4;
    std::vector<std::int64_t> numbers{
        s.num3,  s.kind,  len,     s.flag,  tab,     mar,    s.word1,
        s.word2, s.byte1, s.word3, s.word4, s.word5, s.byte2};
    for (std::int64_t t : time_of(s.num4)) numbers.push_back(t);
    RecoveredRow written = make_row("stazione", numbers);
    written.text = s.name;
    if (!text_is_writable(s.name)) {
      r.on_slot(Severity::kWarning, n,
                "a station name that holds a double quote and a comma, a line "
                "end or a leading blank: no field of a source reads as it");
    }
    Writer w{true, out.size(), station_approach(r, s.kind, s.num2),
             std::nullopt};
    std::int64_t marker = -1;
    if (s.kind < 25) {
      marker = round_div_even(std::int64_t{s.num2} - kCellLength, kCellLength);
      if (marker >= 0 && marker <= r.last_cell) {
        explained[static_cast<std::size_t>(marker)] = true;
      }
    }
    out.push_back({std::move(written), std::move(w), marker});
  }
  const int lowest = r.lowest_signboard_slot();
  for (int k = count + 1; k <= kFirstSignboardSlot; ++k) {
    ScenarioSlot numbers = r.slot(k);
    numbers.name.clear();
    if (k >= lowest && !(numbers == ScenarioSlot{})) {
      r.on_slot(Severity::kWarning, k,
                "a slot of the signboard texts that holds numbers, which no "
                "row writes there");
    }
  }
  return out;
}

// ---- Slow orders ---------------------------------------------------------

// A cell a slow order marks carries its speed, its d_v (when not 0) and, on
// the start and end, its f_tt.
bool same_values(const TrackCell& a, const TrackCell& b) {
  return a.value1 == b.value1 && a.value2 == b.value2 && a.value3 == b.value3;
}

// The first cell of the four approach cells below a warning, when they are
// there: value1 1 to 4 from the top, value2 the same or 0.
std::optional<std::int64_t> approach_cells(const Recovery& r,
                                           std::int64_t warning,
                                           bool& numbered) {
  for (std::int64_t a : {warning - 1, warning - 2}) {
    if (a - 3 < 0) continue;
    bool all = true;
    int with_value2 = 0;
    for (int j = 0; j < 4; ++j) {
      const TrackCell& c = r.cell(a - j);
      all = all && c.kind == cell_kind::kSlowOrderApproach &&
            c.value1 == j + 1 && (c.value2 == 0 || c.value2 == j + 1) &&
            c.value3 == 0 && c.value4 == 0;
      with_value2 += c.value2 != 0 ? 1 : 0;
    }
    if (all && (with_value2 == 0 || with_value2 == 4)) {
      numbered = with_value2 == 4;
      return a;
    }
  }
  return std::nullopt;
}

// The position x of a slow order starting on cell s: on s, warned (beyond
// 1500 m) or not, its approach cells from `approach` down; the start of
// the cell when it fits, else the nearest that does.
std::optional<std::int64_t> slow_order_position(
    std::int64_t s, bool warned, std::optional<std::int64_t> approach) {
  for (std::int64_t d = 0; d <= 25; ++d) {
    for (std::int64_t x :
         {kCellLength * (s - 1) - d, kCellLength * (s - 1) + d}) {
      if (cell_index(x) == s && (x > 1500) == warned &&
          (!approach ||
           round_div_even(x - kWarningDistance, kCellLength) == *approach)) {
        return x;
      }
    }
  }
  return std::nullopt;
}

std::int64_t slow_order_length(std::int64_t x, std::int64_t e) {
  for (std::int64_t d = 0; d <= 50; ++d) {
    for (std::int64_t l :
         {kCellLength * (e - 1) - x - d, kCellLength * (e - 1) - x + d}) {
      if (cell_index(x + l) == e) return l;
    }
  }
  return kCellLength * (e - 1) - x;
}

RecoveredRow slow_order(Recovery& r, std::int64_t s, std::int64_t e,
                        std::vector<bool>& explained) {
  const TrackCell& start = r.cell(s);
  const auto mark = [&](std::int64_t c) {
    explained[static_cast<std::size_t>(c)] = true;
  };
  mark(s);
  mark(e);
  const std::int64_t w = s - kWarningDistance / kCellLength;  // the warning
  const bool warned =
      w >= 0 && r.cell(w).kind == cell_kind::kSlowOrderWarning &&
      r.cell(w).value1 == start.value1 && r.cell(w).value2 == start.value2 &&
      r.cell(w).value3 == 0 && r.cell(w).value4 == 0;
  bool numbered = false;
  const std::optional<std::int64_t> a =
      warned ? approach_cells(r, w, numbered) : std::nullopt;
  if (warned) mark(w);
  if (a) {
    for (int j = 0; j < 4; ++j) mark(*a - j);
  }
  std::optional<std::int64_t> x = slow_order_position(s, warned, a);
  if (!x) {
    r.on_cell(Severity::kWarning, s,
              warned ? "a slow order whose warning or approach cells lie "
                       "where none of its rows places them"
                     : "a slow order beyond 1500 m without its warning 1200 m "
                       "before it (cell " +
                           std::to_string(w) + ")");
    x = kCellLength * (s - 1);
  }
  // d_v goes into value2 when it is not 0; one whose low 16 bits are 0
  // still numbers the approach cells.
  const std::int64_t d_v =
      start.value2 != 0 ? start.value2 : (numbered ? 65536 : 0);
  return make_row("rallentamento", {*x, start.value1, slow_order_length(*x, e),
                                    start.value3, a ? 1 : 0, d_v});
}

std::vector<RecoveredRow> slow_orders(Recovery& r,
                                      std::vector<bool>& explained) {
  std::vector<RecoveredRow> out;
  std::set<std::int64_t> ends;
  for (std::int64_t c = 0; c <= r.last_cell; ++c) {
    if (r.cell(c).kind == cell_kind::kSlowOrderEnd) ends.insert(c);
  }
  for (std::int64_t s = 0; s <= r.last_cell; ++s) {
    if (r.cell(s).kind != cell_kind::kSlowOrderStart) continue;
    // Its end: the next end cell with its values, else the nearest before
    // it; with none, the end fell on the start's own cell.
    std::optional<std::int64_t> e;
    for (auto it = ends.upper_bound(s); it != ends.end() && !e; ++it) {
      if (same_values(r.cell(*it), r.cell(s))) e = *it;
    }
    for (auto it = ends.lower_bound(s); it != ends.begin() && !e;) {
      --it;
      if (same_values(r.cell(*it), r.cell(s))) e = *it;
    }
    if (e) ends.erase(*e);
    if (position_of_cell(s) > r.last_position()) {
      r.on_cell(
          Severity::kWarning, s,
          "a slow order that starts beyond every position a row may take");
    }
    out.push_back(slow_order(r, s, e.value_or(s), explained));
  }
  return out;
}

// ---- Signals -------------------------------------------------------------

struct Signal {
  std::int64_t cell;
  Writer writer;
  // A signal whose cell a station's marker took afterwards: the station's
  // index. The marker kept all but the signal's kind and first value.
  std::optional<std::size_t> under_station;
};

// tempo as the row gives it: raised to 101 from 1 to 100, and only its low
// byte kept.
std::int64_t tempo_of(std::uint8_t kept) {
  if (kept == 0 || kept > 100) return kept;
  return kept == 101 ? 101 : kept + 256;
}

RecoveredRow signal_row(Recovery& r, const Signal& g) {
  const TrackCell& c = r.cell(g.cell);
  const std::int64_t v1 = g.under_station ? 0 : c.value1;
  const std::int64_t v4 = c.value4;
  // value4 = rapp x 10 + x, where x = sx x 3 + dx is known modulo 128 from
  // the approach codes, or free. A signal with a time has sx 2.
  std::int64_t x = 0;
  std::int64_t rapp = 0;
  if (g.writer.x) {
    x = *g.writer.x;
    for (int j = 0; j < 5 && (v4 - x) % 10 != 0; ++j) x += 128;
    if ((v4 - x) % 10 != 0) {
      // No x of those codes leaves rapp whole: the codes cannot all be
      // this signal's.
      r.on_cell(Severity::kWarning, g.cell,
                "a signal whose approach codes do not fit its last value (" +
                    std::to_string(v4) + ")");
      x = floor_mod(v4, 10);
    }
  } else {
    x = floor_mod(v4, 10);
  }
  rapp = (v4 - x) / 10;
  const bool timed = c.signal_time != 0;
  const std::int64_t sx = timed ? 2 : x / 3;
  const std::int64_t dx = x - 3 * sx;
  const auto digits = [](std::int64_t v) {
    const std::int64_t tens = (v - floor_mod(v, 10)) / 10;
    return std::pair{tens, v - 10 * tens};
  };
  const auto [s1, d1] = digits(v1);
  const auto [s2, d2] = digits(c.value2);
  const auto [s3, d3] = digits(c.value3);
  if (position_of_cell(g.cell) > r.last_position()) {
    r.on_cell(
        Severity::kWarning, g.cell,
        "a signal on the last cell, beyond every position a row may take");
  }
  return make_row("segnale", {position_of_cell(g.cell), sx, s1, s2, s3, rapp,
                              dx, d1, d2, d3, tempo_of(c.signal_time)});
}

// The signals, and those a station marker stands over: a marker with a
// time kept it from a signal (no other object has one).
std::vector<Signal> signals(Recovery& r, std::vector<bool>& explained,
                            const std::vector<Station>& stations) {
  std::vector<Signal> out;
  std::map<std::int64_t, std::size_t> station_of_marker;
  for (std::size_t n = 0; n < stations.size(); ++n) {
    station_of_marker[stations[n].marker] = n;
  }
  for (std::int64_t i = 0; i <= r.last_cell; ++i) {
    const TrackCell& cell = r.cell(i);
    std::optional<std::size_t> under;
    if (cell.kind == cell_kind::kStationMarker && cell.signal_time != 0 &&
        station_of_marker.count(i) != 0) {
      under = station_of_marker[i];
      r.on_cell(Severity::kWarning, i,
                "the marker of station " + std::to_string(*under + 1) +
                    " stands over a signal placed before it, whose first value "
                    "it took; the signal is written before the station with "
                    "s1 and d1 0, one reading of several");
    } else if (cell.kind != cell_kind::kSignal) {
      continue;
    }
    explained[static_cast<std::size_t>(i)] = true;
    Writer w{false, out.size(), {}, std::nullopt, cell.value4};
    for (int k = 1; k <= 4; ++k) {
      if (i - 2 * k >= 0) w.cells.emplace_back(i - 2 * k, k);
    }
    out.push_back({i, std::move(w), under});
  }
  return out;
}

// ---- Abbattimento rows ---------------------------------------------------

RecoveredRow abbattimento(Recovery& r, std::int64_t c) {
  const TrackCell& cell = r.cell(c);
  // A value above 0 marks kind 12 with its low 16 bits; 0 or less kind 13.
  std::int64_t value = 0;
  if (cell.kind == cell_kind::kAbbattimento) {
    value = cell.value1 > 0 ? cell.value1 : cell.value1 + 65536;
  }
  if (kCellLength * c > r.last_position()) {
    r.on_cell(Severity::kWarning, c,
              "an abbattimento mark on one of the last two cells, beyond every "
              "position an abbattimento row may take");
  }
  return make_row("abbattimento", {kCellLength * c, value});
}

// ---- The sections --------------------------------------------------------

const std::vector<std::string> kStationLegend{
    "-           pos. tipo lung. t  t  m    d d r   d d d   a   o  o  o   nome",
    "-                           p  a  a    2 3 a   1 2 3   c   r  r  r",
    "-                           s  b  r        p               o  m  s"};
const std::vector<std::string> kSignalLegend{
    "-                1                     destra",
    "-                a  d1 d2 d3 ra       d1 d2 d3 ac", "-                v"};

// Notes the objects no row written explains. Kind 12 marks are the
// finishing pass's where no row explains them.
void note_unexplained(Recovery& r, const std::vector<bool>& explained) {
  for (std::int64_t c = 0; c <= r.last_cell; ++c) {
    const std::uint8_t kind = r.cell(c).kind;
    const bool line_object = kind == cell_kind::kSpeedBoard ||
                             kind == cell_kind::kSignboard ||
                             kind == cell_kind::kMountainMarker;
    if (kind == cell_kind::kFree || line_object ||
        explained[static_cast<std::size_t>(c)] ||
        kind == cell_kind::kAbbattimento) {
      continue;
    }
    r.on_cell(Severity::kWarning, c,
              "holds a " + cell_kind_name(kind) +
                  " that no row of a source places there on its own");
  }
}

// The stations and signals in the order their approach codes ask for:
// runs of each under their header. Stations come first, then the signals
// along the line, unless the codes ask otherwise.
std::vector<RecoveredSection> stations_and_signals(
    Recovery& r, const std::vector<Station>& station_rows,
    std::vector<Signal>& signal_list) {
  std::vector<Writer> writers;
  for (const Station& s : station_rows) writers.push_back(s.writer);
  for (const Signal& g : signal_list) writers.push_back(g.writer);
  std::map<std::int64_t, std::vector<std::size_t>> at;
  for (std::size_t w = 0; w < writers.size(); ++w) {
    for (const auto& [c, k] : writers[w].cells) at[c].push_back(w);
  }
  for (std::int64_t c = 0; c <= r.last_cell; ++c) {
    if (r.cell(c).approach != 0 && at.count(c) == 0) {
      r.on_cell(Severity::kWarning, c,
                "holds the approach code " +
                    std::to_string(r.cell(c).approach) +
                    ", which no station or signal writes there");
    }
  }
  find_signal_codes(r, writers, at);
  // A signal a station's marker stands over came before the station.
  std::vector<std::pair<std::size_t, std::size_t>> before;
  for (std::size_t i = 0; i < signal_list.size(); ++i) {
    signal_list[i].writer = writers[station_rows.size() + i];
    if (signal_list[i].under_station) {
      before.emplace_back(station_rows.size() + i,
                          *signal_list[i].under_station);
    }
  }
  std::vector<RecoveredSection> runs;
  for (std::size_t w : writing_order(r, writers, at, before)) {
    const bool is_station = writers[w].station;
    const std::string header = is_station ? "[stazioni]" : "[segnali]";
    if (runs.empty() || runs.back().header != header) {
      runs.push_back({header, is_station ? kStationLegend : kSignalLegend, {}});
    }
    runs.back().rows.push_back(
        is_station ? station_rows[writers[w].row].row
                   : signal_row(r, signal_list[writers[w].row]));
  }
  if (station_rows.empty()) {
    runs.insert(runs.begin(), {"[stazioni]", kStationLegend, {}});
  }
  if (runs.back().header != "[segnali]") {
    runs.push_back({"[segnali]", kSignalLegend, {}});
  }
  return runs;
}

const std::vector<std::string> kNotKept{
    "the title, comments and blank lines of the source they come from;",
    "where in its 50 m cell each row stood: every row here stands at the",
    "start of its cell, and a fill row only where its value changes;",
    "the order of the signals, slow orders and abbattimento rows, which",
    "may stand anywhere: they are written along the line;",
    "how a signal's last value splits into rapp, sx and dx where no",
    "approach code shows it, and the tempo of a signal whose sx is not 2;",
    "the tab column of a station shorter than 600 m and of the first, and",
    "the mar column of stations of kinds 5 to 8;",
    "the abbattimento marks the finishing pass places around slow orders,",
    "which compiling places again."};

}  // namespace

RecoveredSource recover_train_source(
    Recovery& r, const std::vector<std::int64_t>& abbattimenti) {
  RecoveredSource source;
  source.preamble = preamble_of("Train", r.slot(kTrainSlot).name, kNotKept);
  source.sections.push_back(general_section(r));
  source.sections.push_back(adhesion(r));
  source.sections.push_back(speed_limits(r));

  std::vector<bool> explained(r.cells.size(), false);
  const std::vector<Station> station_rows = stations(r, explained);
  std::vector<RecoveredRow> slow_order_rows = slow_orders(r, explained);
  std::vector<Signal> signal_list = signals(r, explained, station_rows);
  std::vector<RecoveredSection> runs =
      stations_and_signals(r, station_rows, signal_list);

  // The slow orders stand before the last signals, as in every scenario;
  // the abbattimento rows after them.
  for (std::size_t i = 0; i + 1 < runs.size(); ++i) {
    source.sections.push_back(std::move(runs[i]));
  }
  source.sections.push_back({"[codici]", {}, {}});
  source.sections.push_back(
      {"[rallentamenti]", {}, std::move(slow_order_rows)});
  RecoveredSection last = std::move(runs.back());
  for (std::int64_t c : abbattimenti) {
    explained[static_cast<std::size_t>(c)] = true;
    last.rows.push_back(abbattimento(r, c));
  }
  source.sections.push_back(std::move(last));
  note_unexplained(r, explained);
  return source;
}

}  // namespace scenc::tools
