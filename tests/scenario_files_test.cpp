#include "output/scenario_files.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

#include "model/track_model.h"
#include "output/buffer_pool.h"
#include "output/output_directory.h"
#include "placed_sink.h"
#include "scenario/build_run.h"

namespace scenc {
namespace {

// The bytes as lower-case hex pairs separated by single spaces.
std::string hex(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%s%02x", text.empty() ? "" : " ",
                  static_cast<unsigned char>(c));
    text += pair;
  }
  return text;
}

std::string zeros(std::size_t count) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) text += i == 0 ? "00" : " 00";
  return text;
}

template <typename Write>
std::string bytes_of(Write write) {
  StringSink sink;
  ByteWriter out(sink, 16);  // a small chunk so records straddle flushes
  write(out);
  out.flush();
  return sink.bytes;
}

TEST(CellFile, LaysOutEachCellInFifteenLittleEndianBytes) {
  Model m;
  m.track_cells.resize(3);
  TrackCell& c = m.track_cells[1];
  c.kind = 1;
  c.value1 = 0x1234;
  c.value2 = -2;
  c.value3 = -32768;
  c.value4 = 258;
  c.signal_time = 200;
  c.approach = 100;
  c.mountain = 3;
  c.speed_limit = 24;
  c.gradient = 95;
  c.adhesion = 255;
  m.track_cells[2].kind = 14;

  const std::string file =
      bytes_of([&](ByteWriter& w) { write_cell_file(m, w); });

  ASSERT_EQ(file.size(), 3 * kCellRecordSize);
  EXPECT_EQ(hex(file.substr(0, 15)), zeros(15));
  EXPECT_EQ(hex(file.substr(15, 15)),
            "01"         // kind
            " 34 12"     // value1
            " fe ff"     // value2
            " 00 80"     // value3
            " 02 01"     // value4
            " c8 64 03"  // signal_time, approach, mountain
            " 18 5f ff"  // speed_limit, gradient, adhesion
  );
  EXPECT_EQ(hex(file.substr(30, 15)), "0e " + zeros(14));
}

TEST(CellFile, HoldsCellsZeroToNForTheLineLength) {
  const struct {
    std::int32_t length;
    std::size_t bytes;
  } cases[] = {
      {25, 15 * 141},  // (25 + 7000) / 50 = 140.5 rounds to 140
      {75, 15 * 143},  // 141.5 rounds to 142
      {82000, 26715},
  };
  for (const auto& c : cases) {
    Model m;
    m.clear_for_build(0);
    m.allocate_for_length(c.length);
    const std::string file =
        bytes_of([&](ByteWriter& w) { write_cell_file(m, w); });
    EXPECT_EQ(file.size(), c.bytes) << "L = " << c.length;
  }
}

TEST(SlotFile, LaysOutSlotsInOrderWithTheirNames) {
  Model m;
  m.clear_for_build(1);
  ScenarioSlot& s = m.scenario_slots[1];
  s.kind = 10;
  s.num1 = 9300;
  s.num2 = -1;
  s.num3 = 0x01020304;
  s.flag = 1;
  s.name = "Pisa";
  s.word1 = 610;
  s.word2 = -300;
  s.word3 = 1;
  s.word4 = 0x7fff;
  s.word5 = -32768;
  s.byte1 = 1;
  s.byte2 = 2;
  s.byte3 = 3;
  s.byte4 = 0xfe;
  s.num4 = -100000;
  m.scenario_slots[2].name = "Citt\xe0";  // one byte per character, as stored
  m.scenario_slots[80].name = "(  Km. ) (18.600)";
  m.scenario_slots[kLineSlot].name = "Firenze_Pisa";
  m.scenario_slots[kTrainSlot].name = "11711";

  const std::string file =
      bytes_of([&](ByteWriter& w) { write_slot_file(m, w); });

  ASSERT_EQ(file.size(), 2958u + 4 + 5 + 17 + 12 + 5);
  // Slot 0 is never filled: all fields zero and an empty name.
  EXPECT_EQ(hex(file.substr(0, 34)), zeros(34));
  EXPECT_EQ(hex(file.substr(34, 38)),
            "0a"                              // kind
            " 54 24 00 00"                    // num1
            " ff ff ff ff"                    // num2
            " 04 03 02 01"                    // num3
            " 01"                             // flag
            " 04 00 50 69 73 61"              // name length and bytes
            " 62 02 d4 fe 01 00 ff 7f 00 80"  // word1 .. word5
            " 01 02 03 fe"                    // byte1 .. byte4
            " 60 79 fe ff"                    // num4
  );
  EXPECT_EQ(hex(file.substr(72 + 14, 7)), "05 00 43 69 74 74 e0");
  // Slot 86 is the last record.
  EXPECT_EQ(hex(file.substr(file.size() - 39)),
            zeros(14) + " 05 00 31 31 37 31 31 " + zeros(18));
}

TEST(SlotFile, NameLengthMustFitSixteenBits) {
  Model m;
  m.scenario_slots[5].name.assign(0xffff, 'a');
  const std::string file =
      bytes_of([&](ByteWriter& w) { write_slot_file(m, w); });
  EXPECT_EQ(file.size(), 2958u + 0xffff);

  // A longer name would wrap its length and shift every later record.
  m.scenario_slots[5].name.push_back('a');
  EXPECT_THROW(bytes_of([&](ByteWriter& w) { write_slot_file(m, w); }),
               std::length_error);
}

// Fills the profile the way the line compiler does: metres 0 and 1 as 16-bit
// integers, 2 to L + 6998 as doubles, the last two metres left empty.
void fill_like_compiler(Model& m, std::int32_t length) {
  m.clear_for_build(1);
  m.allocate_for_length(length);
  LineProfile& p = m.line_profile;
  p.set_int16(0, 0, 0);
  p.set_int16(0, 1, 0);
  p.set_int16(1, 0, 0);
  p.set_int16(1, 1, 1);
  for (std::int64_t metre = 2; metre <= length + 6998; ++metre) {
    p.set_double(0, metre, -1.5);
    p.set_double(1, metre, static_cast<double>(metre));
  }
}

TEST(LineGeometryFile, HoldsTaggedXValuesThenYValues) {
  for (const std::int32_t length : {0, 25, 82000}) {
    SCOPED_TRACE("L = " + std::to_string(length));
    Model m;
    fill_like_compiler(m, length);
    const std::string file = bytes_of(
        [&](ByteWriter& w) { write_line_geometry_file(m.line_profile, w); });

    const std::size_t half = 10 * static_cast<std::size_t>(length) + 69982;
    ASSERT_EQ(file.size(), 2 * half);
    ASSERT_EQ(file.size(), 20 * static_cast<std::size_t>(length) + 139964);
    // x: two 16-bit zeros (tag 2), then doubles (tag 5) of -1.5.
    EXPECT_EQ(hex(file.substr(0, 18)),
              "02 00 00 00 02 00 00 00 05 00 00 00 00 00 00 00 f8 bf");
    // The two empty last metres of x (tag 0, no payload), then y from metre 0.
    EXPECT_EQ(hex(file.substr(half - 14, 22)),
              "05 00 00 00 00 00 00 00 f8 bf 00 00 00 00"
              " 02 00 00 00 02 00 01 00");
    // y of metre 2 is the double 2.0.
    EXPECT_EQ(hex(file.substr(half + 8, 10)), "05 00 00 00 00 00 00 00 00 40");
    EXPECT_EQ(hex(file.substr(file.size() - 4)), "00 00 00 00");
  }
}

// The compile draws the plan in runs and the writer draws the metres as it
// encodes them; the file must hold what the same metres give when each is
// computed with the turn and set one by one.
TEST(LineGeometryFile, ADrawnProfileWritesTheMetresItStandsFor) {
  const struct {
    std::int64_t to;
    double turn;
  } runs[] = {{700, 0.0},     {800, -0.0002}, {800, 0.003},
              {1500, 0.0},    {1600, 0.0},    {2100, 0.001},
              {2500, -0.003}, {3000, 0.0},    {4997, 0.0}};
  LineProfile drawn;
  drawn.allocate_drawn(4999);
  LineProfile set;
  set.allocate(4999);
  for (LineProfile* p : {&drawn, &set}) {
    p->set_int16(0, 0, 0);
    p->set_int16(1, 0, 0);
    p->set_int16(0, 1, 0);
    p->set_int16(1, 1, 1);
  }
  std::int64_t metre = 2;
  for (const auto& run : runs) {
    drawn.draw(run.to, run.turn);
    for (; metre <= run.to; ++metre) {
      const double t = run.turn;
      const double dx = set.value(0, metre - 1) - set.value(0, metre - 2);
      const double dy = set.value(1, metre - 1) - set.value(1, metre - 2);
      set.set_double(0, metre, set.value(0, metre - 1) + (dx + t * dy));
      set.set_double(1, metre, set.value(1, metre - 1) + (dy - t * dx));
    }
  }
  ASSERT_TRUE(drawn.is_drawn());
  EXPECT_EQ(drawn.drawn_end(), 4998);
  EXPECT_EQ(drawn.value(0, 701), -0.0002);
  for (const std::int64_t m : {0, 1, 2, 700, 701, 2100, 4997, 4998, 4999}) {
    EXPECT_EQ(drawn.tag(1, m), set.tag(1, m)) << m;
    EXPECT_EQ(drawn.value(0, m), set.value(0, m)) << m;
    EXPECT_EQ(drawn.value(1, m), set.value(1, m)) << m;
  }
  const auto file = [](const LineProfile& p, std::size_t chunk) {
    StringSink sink;
    ByteWriter out(sink, chunk);
    write_line_geometry_file(p, out);
    out.flush();
    return sink.bytes;
  };
  // The y values laid at their place as they are drawn, in buffers of the
  // writer's own or lent by a pool (and given back between files).
  BufferPool pool16(16);
  BufferPool pool(1 << 18);
  const auto placed = [](const LineProfile& p, std::size_t chunk,
                         BufferPool* lender) {
    testing::PlacedSink sink;
    {
      ByteWriter out =
          lender ? ByteWriter(sink, *lender) : ByteWriter(sink, chunk);
      write_line_geometry_file(p, out);
      out.flush();
    }
    return sink.bytes;
  };
  const std::string expected = file(set, 1 << 18);
  EXPECT_EQ(file(drawn, 16), expected);
  EXPECT_EQ(file(drawn, 1 << 18), expected);
  EXPECT_EQ(placed(drawn, 16, nullptr), expected);
  for (int file = 0; file < 2; ++file) {
    EXPECT_EQ(placed(drawn, 16, &pool16), expected) << file;
    EXPECT_EQ(placed(drawn, 1 << 18, &pool), expected) << file;
  }
  // Setting a metre of a drawn profile gives it storage, metres and all.
  LineProfile changed = drawn;
  changed.set_double(0, 3, drawn.value(0, 3));
  EXPECT_FALSE(changed.is_drawn());
  EXPECT_EQ(file(changed, 1 << 18), expected);
}

TEST(ScenarioFiles, AreWrittenInOrderAndTheGeometryOnlyWhenAsked) {
  const struct {
    std::int32_t write_line_file;
    std::vector<std::string> names;
  } cases[] = {
      {1,
       {"Firenze_Pisa_linea.dat", "Firenze_Pisa_11711.sim",
        "Firenze_Pisa_11711.dat"}},
      {0, {"Firenze_Pisa_11711.sim", "Firenze_Pisa_11711.dat"}},
  };
  for (const auto& c : cases) {
    Model m;
    m.line_name = "Firenze_Pisa";
    m.train_number = "11711";
    m.clear_for_build(c.write_line_file);
    m.allocate_for_length(100);
    MemoryDirectory dir;
    EXPECT_EQ(write_scenario_files(m, dir), c.names);
    EXPECT_EQ(dir.order, c.names);
    EXPECT_EQ(dir.files["Firenze_Pisa_11711.dat"].size(), 15u * 143);
  }
}

}  // namespace
}  // namespace scenc
