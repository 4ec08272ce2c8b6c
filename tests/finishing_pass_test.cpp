#include "model/finishing_pass.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "model/scenario_codes.h"

namespace scenc {
namespace {

using namespace cell_kind;

struct Placed {
  std::int32_t cell;
  std::uint8_t kind;
  std::int16_t value1 = 0;
};

void place(Model& m, std::initializer_list<Placed> placed) {
  for (const Placed& p : placed) {
    m.track_cells[p.cell].kind = p.kind;
    m.track_cells[p.cell].value1 = p.value1;
  }
}

// A model with cells 0..last, the given cells placed, and the embedded
// scenario's names.
Model grid(std::int32_t last, std::initializer_list<Placed> placed) {
  Model m;
  m.track_cells.assign(static_cast<std::size_t>(last) + 1, TrackCell{});
  place(m, placed);
  m.scenario_slots[kTrainSlot].name = "11711";
  m.scenario_slots[kLineSlot].name = "Firenze_Pisa";
  return m;
}

// The cells the pass marked, in [from, to].
std::vector<std::int32_t> marks(const Model& m, std::int32_t from = 0,
                                std::int32_t to = 1 << 30) {
  std::vector<std::int32_t> out;
  for (std::int32_t c = from; c <= to && c <= m.last_cell(); ++c) {
    const TrackCell& cell = m.track_cells[c];
    if (cell.kind == kAbbattimento && cell.value1 == 180) out.push_back(c);
  }
  return out;
}

struct Fault {
  std::int32_t code;
  std::int32_t position;
  bool operator==(const Fault&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Fault& f) {
  return os << "fault " << f.code << " at " << f.position;
}

std::vector<Fault> faults(const Model& m) {
  std::vector<Fault> out;
  for (const FaultRecord& f : m.fault_log) {
    out.push_back({f.code, f.position.value_or(-1)});
  }
  return out;
}

using Cells = std::vector<std::int32_t>;
using Faults = std::vector<Fault>;

// The slow order of the embedded train, as the compiler leaves it: warning
// in 163 with approach cells 159..162, start 187 and end 188 at 30 km/h, the
// next signal in 197.
TEST(FinishingPass, EmbeddedSlowOrder) {
  Model m = grid(300, {{159, kSlowOrderApproach, 4},
                       {160, kSlowOrderApproach, 3},
                       {161, kSlowOrderApproach, 2},
                       {162, kSlowOrderApproach, 1},
                       {163, kSlowOrderWarning, 30},
                       {187, kSlowOrderStart, 30},
                       {188, kSlowOrderEnd, 30},
                       {197, kSignal, 42}});
  EXPECT_EQ(finish_track_cells(m), 0);
  EXPECT_EQ(marks(m), (Cells{169, 176, 182, 196}));
  EXPECT_EQ(m.error_code, 0);
  EXPECT_TRUE(m.fault_log.empty());
}

TEST(FinishingPass, SignalsBeforeAWarning) {
  const struct {
    const char* what;
    std::initializer_list<Placed> placed;
    Cells expected;
  } cases[] = {
      {"signal 5 before warning 10 is marked on 4; signal 2 is never seen",
       {{10, kSlowOrderWarning, 30}, {5, kSignal}, {2, kSignal}},
       {4}},
      {"a taken cell before the signal moves the mark one further back",
       {{10, kSlowOrderWarning, 30}, {5, kSignal}, {4, kSpeedBoard}},
       {3}},
      {"a mountain marker counts as free",
       {{10, kSlowOrderWarning, 30}, {5, kSignal}, {4, kMountainMarker}},
       {4}},
      {"every signal within 20 cells is handled, none further back",
       {{40, kSlowOrderWarning, 30},
        {35, kSignal},
        {20, kSignal},
        {19, kSignal}},
       {18, 34}},
  };
  for (const auto& c : cases) {
    Model m = grid(100, c.placed);
    EXPECT_EQ(finish_track_cells(m), 0) << c.what;
    EXPECT_EQ(marks(m, 2), c.expected) << c.what;
    EXPECT_TRUE(m.fault_log.empty()) << c.what;
  }
}

TEST(FinishingPass, AbbattimentoBeforeASignalIsCapped) {
  // Signal in 20, warning in 25; cells 19 and 18 already hold what the
  // train source put there.
  const struct {
    Placed before, two_before;
    std::int16_t value19, value18;
    Faults expected_faults;
  } cases[] = {
      {{19, kAbbattimento, 270}, {18, kSpeedBoard}, 180, 0, {}},
      {{19, kAbbattimento, 120}, {18, kSpeedBoard}, 120, 0, {}},
      {{19, kSpeedBoard}, {18, kAbbattimento, 270}, 0, 180, {}},
      {{19, kAbbattimentoZero}, {18, kAbbattimento, 270}, 0, 180, {}},
      {{19, kSpeedBoard}, {18, kSignboard, 3}, 0, 3, {{11, 1000}}},
  };
  for (const auto& c : cases) {
    Model m = grid(
        100,
        {{25, kSlowOrderWarning, 30}, {20, kSignal}, c.before, c.two_before});
    EXPECT_EQ(finish_track_cells(m), 0);
    EXPECT_EQ(m.track_cells[19].value1, c.value19);
    EXPECT_EQ(m.track_cells[18].value1, c.value18);
    EXPECT_EQ(m.track_cells[19].kind, c.before.kind);
    EXPECT_EQ(faults(m), c.expected_faults);
  }
}

TEST(FinishingPass, LookBackGroupsBeforeAStart) {
  // A fast slow order ending in the next cell: only the look-back groups
  // place marks.
  const struct {
    std::int32_t start;
    std::initializer_list<Placed> taken;
    Cells expected;
    Faults expected_faults;
  } cases[] = {
      {7, {}, {}, {}},
      {8, {{3, kSpeedBoard}}, {2}, {}},
      {13, {}, {8}, {}},
      {14, {}, {3, 9}, {}},
      {21, {}, {3, 10, 16}, {}},
      // The first free cell of each group, an abbattimento counting as taken.
      {40,
       {{35, kAbbattimento, 270}, {34, kSignal}, {29, kSignal}},
       {22, 28, 33},
       {}},
      // A group with no free cell records its fault; the next group follows.
      {40,
       {{35, kSignal}, {34, kSignal}, {33, kSignal}},
       {22, 29},
       {{12, 2000}}},
  };
  for (const auto& c : cases) {
    Model m = grid(100, {{c.start, kSlowOrderStart, 120},
                         {c.start + 1, kSlowOrderEnd, 120}});
    place(m, c.taken);
    EXPECT_EQ(finish_track_cells(m), 0) << c.start;
    EXPECT_EQ(marks(m, 2), c.expected) << c.start;
    EXPECT_EQ(faults(m), c.expected_faults) << c.start;
  }
}

TEST(FinishingPass, MarksInsideASlowOrder) {
  // Start 186, end 206; only the cells after the start are looked at.
  const struct {
    std::int16_t speed;
    std::initializer_list<Placed> taken;
    Cells expected;
    Faults expected_faults;
  } cases[] = {
      {30, {}, {194, 202}, {}},
      {109, {}, {194, 202}, {}},
      {110, {}, {}, {}},
      {250, {}, {}, {}},
      // The speed is a signed 16-bit value: a negative one is below 110.
      {-30, {}, {194, 202}, {}},
      // The 8th cell taken: the cell before it, then the one after, and the
      // count restarts from the mark.
      {30, {{194, kSpeedBoard}}, {193, 201}, {}},
      {30, {{194, kSpeedBoard}, {193, kSpeedBoard}}, {195, 203}, {}},
      // No free cell around the 8th: no further mark in this slow order.
      {30,
       {{193, kSpeedBoard}, {194, kSpeedBoard}, {195, kSpeedBoard}},
       {},
       {{13, 9700}}},
  };
  for (const auto& c : cases) {
    Model m = grid(
        300, {{186, kSlowOrderStart, c.speed}, {206, kSlowOrderEnd, c.speed}});
    place(m, c.taken);
    EXPECT_EQ(finish_track_cells(m), 0) << c.speed;
    EXPECT_EQ(marks(m, 187), c.expected) << c.speed;
    EXPECT_EQ(faults(m), c.expected_faults) << c.speed;
    EXPECT_EQ(m.track_cells[206].kind, kSlowOrderEnd);
  }
}

TEST(FinishingPass, MarkBeforeTheFirstSignalAfterTheEnd) {
  // Start 186 and end 206 at 30 km/h (inner marks 194 and 202), then
  // whatever follows the end.
  const struct {
    std::initializer_list<Placed> after;
    Cells expected;
    Faults expected_faults;
  } cases[] = {
      {{{210, kSignal}}, {209}, {}},
      {{{210, kSignal}, {215, kSignal}}, {209}, {}},
      {{{210, kSignal}, {209, kSpeedBoard}}, {208}, {}},
      {{{210, kSignal}, {209, kSpeedBoard}, {208, kSpeedBoard}},
       {},
       {{13, 10300}}},
      // A signal right after the end: the end cell is taken, so the mark
      // goes inside the slow order.
      {{{207, kSignal}}, {205}, {}},
      // The search covers the end cell and the 12 after it.
      {{{218, kSignal}}, {217}, {}},
      {{{219, kSignal}}, {}, {}},
  };
  for (const auto& c : cases) {
    Model m = grid(300, {{186, kSlowOrderStart, 30}, {206, kSlowOrderEnd, 30}});
    place(m, c.after);
    EXPECT_EQ(finish_track_cells(m), 0);
    EXPECT_EQ(marks(m, 203), c.expected);
    EXPECT_EQ(faults(m), c.expected_faults);
  }
}

TEST(FinishingPass, FastSlowOrderStillMarksBeforeTheNextSignal) {
  Model m = grid(
      300,
      {{100, kSlowOrderStart, 120}, {140, kSlowOrderEnd, 120}, {145, kSignal}});
  EXPECT_EQ(finish_track_cells(m), 0);
  EXPECT_EQ(marks(m, 101), (Cells{144}));

  // Without an end cell there is nothing to start the search from.
  Model no_end = grid(300, {{100, kSlowOrderStart, 120}, {145, kSignal}});
  EXPECT_EQ(finish_track_cells(no_end), 0);
  EXPECT_EQ(marks(no_end, 101), Cells{});
  EXPECT_TRUE(no_end.fault_log.empty());
}

TEST(FinishingPass, NothingBeyondTheLastCell) {
  // N = 60. Run under the sanitizers, these show that no cell past N is
  // read or written.
  const struct {
    const char* what;
    std::initializer_list<Placed> placed;
    Cells expected;
    Faults expected_faults;
  } cases[] = {
      {"a start with no end: marks up to N, then fault 13 at N",
       {{40, kSlowOrderStart, 30}},
       {48, 56},
       {{13, 3000}}},
      {"the 8th cell is N and its neighbours are taken or beyond N",
       {{52, kSlowOrderStart, 30}, {59, kSpeedBoard}, {60, kSpeedBoard}},
       {},
       {{13, 3000}, {13, 3000}}},
      {"an end on N: its lower neighbour takes the mark, the search stops",
       {{52, kSlowOrderStart, 30}, {60, kSlowOrderEnd, 30}},
       {59},
       {}},
      {"a fast order ending near N searches no further than N",
       {{50, kSlowOrderStart, 120}, {58, kSlowOrderEnd, 120}},
       {},
       {}},
      {"a fast order with no end walks to N without a fault",
       {{50, kSlowOrderStart, 120}},
       {},
       {}},
      {"a start in N - 1 is never handled",
       {{59, kSlowOrderStart, 30}, {60, kSlowOrderEnd, 30}},
       {},
       {}},
  };
  for (const auto& c : cases) {
    Model m = grid(60, c.placed);
    EXPECT_EQ(finish_track_cells(m), 0) << c.what;
    EXPECT_EQ(marks(m, c.placed.begin()->cell + 1), c.expected) << c.what;
    EXPECT_EQ(faults(m), c.expected_faults) << c.what;
  }
}

TEST(FinishingPass, FaultsPointAtTheSlowOrderRow) {
  Model m = grid(100, {{30, kSlowOrderWarning, 30},
                       {25, kSignal},
                       {24, kSpeedBoard},
                       {23, kSpeedBoard},
                       {54, kSlowOrderStart, 30},
                       {49, kSpeedBoard},
                       {48, kSpeedBoard},
                       {47, kSpeedBoard},
                       {55, kSlowOrderEnd, 30}});
  m.row_of_cell = {{30, {{SourceKind::kTrain, 7, 1}, 0, 0}, {}},
                   {54, {{SourceKind::kTrain, 12, 1}, 0, 0}, {}}};
  EXPECT_EQ(finish_track_cells(m), 0);
  ASSERT_EQ(faults(m), (Faults{{11, 1250}, {12, 2700}}));
  EXPECT_EQ(m.fault_log[0].place.line, 7);
  EXPECT_EQ(m.fault_log[1].place.line, 12);
  // The last fault stays in the scalars.
  EXPECT_EQ(m.error_code, 12);
  EXPECT_EQ(m.error_position, 2700);
}

TEST(FinishingPass, StampsAndCodes) {
  Model m = grid(200, {});
  EXPECT_EQ(finish_track_cells(m), 0);
  EXPECT_EQ(m.scenario_slots[kLineSlot].word1, 610);
  EXPECT_EQ(m.track_cells[1].value1, 5121);
  EXPECT_EQ(m.scenario_slots[kLineSlot].num4, 34984);
  EXPECT_EQ(m.track_cells[1].value2, 2438);
  EXPECT_EQ(m.error_code, 0);
}

TEST(FinishingPass, TakenStampFieldsStopTheBuild) {
  // A signal in 3 with cell 2 taken, 7 cells before a warning: its mark
  // lands on cell 1, where the format stamp goes.
  Model mark_on_1 =
      grid(200, {{10, kSlowOrderWarning, 30}, {3, kSignal}, {2, kSpeedBoard}});
  EXPECT_EQ(finish_track_cells(mark_on_1), 1250);
  EXPECT_EQ(marks(mark_on_1), (Cells{1}));
  EXPECT_EQ(mark_on_1.scenario_slots[kLineSlot].word1, 0);

  Model word1_set = grid(200, {});
  word1_set.scenario_slots[kLineSlot].word1 = 1;
  EXPECT_EQ(finish_track_cells(word1_set), 1250);
  EXPECT_EQ(word1_set.track_cells[1].value1, 0);

  // The format stamps are written, the codes are not.
  Model value2_set = grid(200, {});
  value2_set.track_cells[1].value2 = 4;
  EXPECT_EQ(finish_track_cells(value2_set), 1251);
  EXPECT_EQ(value2_set.scenario_slots[kLineSlot].word1, 610);
  EXPECT_EQ(value2_set.scenario_slots[kLineSlot].num4, 0);
  EXPECT_EQ(value2_set.track_cells[1].value2, 4);

  Model num4_set = grid(200, {});
  num4_set.scenario_slots[kLineSlot].num4 = -1;
  EXPECT_EQ(finish_track_cells(num4_set), 1251);
  EXPECT_EQ(num4_set.scenario_slots[kLineSlot].num4, -1);
  EXPECT_EQ(num4_set.track_cells[1].value2, 0);
}

}  // namespace
}  // namespace scenc
