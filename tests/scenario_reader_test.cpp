#include "output/scenario_reader.h"

#include <gtest/gtest.h>

#include <functional>

#include "output/scenario_files.h"
#include "scenario_fixture.h"

namespace scenc {
namespace {

// A short line (L = 0: cells 0..140, metres 0..7000) with a few of every
// kind of field set, so that a decoder that mixes up a field shows it.
Model small_model() {
  Model m;
  m.clear_for_build(1);
  m.line_name = "Linea";
  m.train_number = "42";
  m.allocate_for_length(0);
  m.track_cells[21] = TrackCell{1, 42, 11, 0, 8, 250, 0, 0, 23, 104, 100};
  m.track_cells[7] = TrackCell{10, 1, -2, 300, -32768, 0, 81, 2, 6, 96, 255};
  m.track_cells[140] = TrackCell{14, 80, 0, 0, 32767, 0, 0, 0, 0, 0, 7};
  m.scenario_slots[1] = ScenarioSlot{
      8, -400, 400, 0, 1, "FIRENZE S.M.N.", 4, 0, 1, 0, 1, 2, 3, 0, 0, 39000};
  m.scenario_slots[80].name = "(  Km. ) (18.600)";
  m.scenario_slots[84].num2 = 0;
  m.scenario_slots[85].name = "Citt\xE0";  // one Windows-1252 byte
  m.scenario_slots[86].num4 = -1;
  LineProfile& p = m.line_profile;
  scenc::testing::seed_line_start(p);
  for (std::int64_t metre = 2; metre <= 6998; ++metre) {
    p.set_double(0, metre, -0.0002 * static_cast<double>(metre * metre) / 7);
    p.set_double(1, metre, static_cast<double>(metre) + 0.1);
  }
  return m;
}

std::string bytes_of(const std::function<void(ByteWriter&)>& fill) {
  StringSink sink;
  ByteWriter out(sink);
  fill(out);
  out.flush();
  return sink.bytes;
}

std::string cell_bytes(const Model& m) {
  return bytes_of([&](ByteWriter& w) { write_cell_file(m, w); });
}
std::string slot_bytes(const Model& m) {
  return bytes_of([&](ByteWriter& w) { write_slot_file(m, w); });
}
std::string geometry_bytes(const Model& m) {
  return bytes_of(
      [&](ByteWriter& w) { write_line_geometry_file(m.line_profile, w); });
}

TEST(ScenarioReader, DecodesWhatTheWriterWrote) {
  const Model m = small_model();

  std::vector<TrackCell> cells;
  EXPECT_FALSE(read_cell_file(cell_bytes(m), cells, 0));
  EXPECT_EQ(cells, m.track_cells);

  SlotTable slots;
  EXPECT_FALSE(read_slot_file(slot_bytes(m), slots));
  EXPECT_EQ(slots, m.scenario_slots);
  EXPECT_EQ(line_length_of(slots), 0);

  LineProfile profile;
  EXPECT_FALSE(read_line_geometry_file(geometry_bytes(m), profile, 0));
  ASSERT_EQ(profile.metre_count(), 7001);
  for (int c = 0; c < 2; ++c) {
    for (std::int64_t metre = 0; metre <= 7000; ++metre) {
      ASSERT_EQ(profile.tag(c, metre), m.line_profile.tag(c, metre)) << metre;
      ASSERT_EQ(profile.value(c, metre), m.line_profile.value(c, metre))
          << metre;
    }
  }
  // Without the line length the metre count comes from the file itself.
  LineProfile alone;
  EXPECT_FALSE(read_line_geometry_file(geometry_bytes(m), alone));
  EXPECT_EQ(alone.metre_count(), 7001);
}

TEST(ScenarioReader, ErrorsNameTheRecordAndItsOffset) {
  const Model m = small_model();
  const std::string cells = cell_bytes(m);
  const std::string slots = slot_bytes(m);
  const std::string geometry = geometry_bytes(m);
  std::vector<TrackCell> c;
  SlotTable s;
  LineProfile p;
  const auto message = [](const std::optional<DecodeError>& e) {
    return e ? e->message : std::string("no error");
  };

  EXPECT_EQ(message(read_cell_file(cells.substr(0, 2103), c, 0)),
            "cell 140 at offset 2100: file ends after 3 of 15 bytes");
  EXPECT_EQ(message(read_cell_file(cells.substr(0, 2100), c, 0)),
            "cell 140 at offset 2100: file ends before this cell; a line of "
            "0 m has cells 0 to 140");
  EXPECT_EQ(message(read_cell_file(cells + std::string(15, '\0'), c, 0)),
            "cell 141 at offset 2115: file goes on after cell 140, the last "
            "cell of a line of 0 m");
  // The slot file's line length says how many cells there must be.
  EXPECT_EQ(message(read_cell_file(cells, c, 50)),
            "cell 141 at offset 2115: file ends before this cell; a line of "
            "50 m has cells 0 to 141");
  EXPECT_EQ(message(read_cell_file("", c)),
            "cell 0 at offset 0: file ends before this cell; the shortest "
            "line has cells 0 to 140");

  // Slot 1 starts after slot 0's 34 bytes and holds a 14-byte name.
  EXPECT_EQ(message(read_slot_file(slots.substr(0, 44), s)),
            "slot 1 at offset 34: file ends after 10 of 16 bytes before the "
            "name");
  EXPECT_EQ(message(read_slot_file(slots.substr(0, 34 + 40), s)),
            "slot 1 at offset 34: file ends after 40 of 48 bytes (name of 14 "
            "bytes)");
  EXPECT_EQ(message(read_slot_file(slots + "xy", s)),
            "end of slot 86 at offset " + std::to_string(slots.size()) +
                ": 2 more bytes follow; a slot file holds slots 0 to 86 only");

  // Metres 0 and 1 are 4-byte integers, later metres 10-byte doubles.
  std::string bad_tag = geometry;
  bad_tag[8] = 7;
  EXPECT_EQ(message(read_line_geometry_file(bad_tag, p, 0)),
            "x of metre 2 at offset 8: unknown tag 7 (0 empty, 2 integer, 5 "
            "double)");
  EXPECT_EQ(message(read_line_geometry_file(bad_tag, p)),
            "value 2 at offset 8: unknown tag 7 (0 empty, 2 integer, 5 "
            "double)");
  EXPECT_EQ(message(read_line_geometry_file(geometry.substr(0, 15), p, 0)),
            "x of metre 2 at offset 8: file ends after 7 of 10 bytes (tag and "
            "double)");
  const std::size_t half = geometry.size() / 2;
  EXPECT_EQ(message(read_line_geometry_file(geometry.substr(0, half), p, 0)),
            "y of metre 0 at offset " + std::to_string(half) +
                ": file ends before this value; a line of 0 m has metres 0 to "
                "7000 in x and in y");
  EXPECT_EQ(message(read_line_geometry_file(geometry.substr(0, half + 4), p)),
            "value 7002 at offset " + std::to_string(half + 4) +
                ": file ends after 7002 values; a line has at least 7001 "
                "metres, as many in x as in y");
  EXPECT_EQ(message(read_line_geometry_file(geometry, p, 1)),
            "y of metre 7000 at offset " + std::to_string(geometry.size()) +
                ": file ends before this value; a line of 1 m has metres 0 "
                "to 7001 in x and in y");
}

// Every cut of a file, whatever its length, is an error that points inside
// the bytes that were there, never a crash or a silent short decode.
void expect_every_cut_fails(
    const std::string& bytes, std::size_t step,
    const std::function<std::optional<DecodeError>(std::string_view)>& read) {
  for (std::size_t cut = 0; cut < bytes.size();) {
    const auto e = read(std::string_view(bytes).substr(0, cut));
    ASSERT_TRUE(e) << "cut at " << cut;
    EXPECT_LE(e->offset, cut);
    EXPECT_NE(e->message.find(" at offset " + std::to_string(e->offset) + ": "),
              std::string::npos)
        << e->message;
    // Near both ends and the middle every length is tried; elsewhere a step.
    const bool dense =
        cut < 256 || cut + 256 > bytes.size() ||
        (cut + 256 > bytes.size() / 2 && cut < bytes.size() / 2 + 256);
    cut += dense ? 1 : step;
  }
}

TEST(ScenarioReader, EveryCutIsReportedCleanly) {
  const Model m = small_model();
  std::vector<TrackCell> cells;
  SlotTable slots;
  LineProfile profile;
  expect_every_cut_fails(cell_bytes(m), 1, [&](std::string_view b) {
    return read_cell_file(b, cells, 0);
  });
  expect_every_cut_fails(slot_bytes(m), 1, [&](std::string_view b) {
    return read_slot_file(b, slots);
  });
  expect_every_cut_fails(geometry_bytes(m), 37, [&](std::string_view b) {
    return read_line_geometry_file(b, profile, 0);
  });
  // Without the line length the shortest line's file is still seen short,
  // whether a cut falls inside a value or between two.
  expect_every_cut_fails(geometry_bytes(m), 37, [&](std::string_view b) {
    return read_line_geometry_file(b, profile);
  });
}

TEST(ScenarioReader, EveryCutOfTheScenarioProgramsFilesIsReported) {
  scenc::testing::TemporaryDirectory dir("reader_scenario_test");
  ASSERT_TRUE(scenc::testing::run_scenario_program(dir.path()));
  const auto file = [&](const char* name) {
    return scenc::testing::read_file(dir.path() / name);
  };
  const std::string slot_file = file("Firenze_Pisa_11711.sim");
  SlotTable slots;
  ASSERT_FALSE(read_slot_file(slot_file, slots));
  const auto length = line_length_of(slots);
  ASSERT_EQ(length, 82000);
  std::vector<TrackCell> cells;
  LineProfile profile;
  ASSERT_FALSE(read_cell_file(file("Firenze_Pisa_11711.dat"), cells, length));
  ASSERT_EQ(cells.size(), 1781u);
  ASSERT_FALSE(
      read_line_geometry_file(file("Firenze_Pisa_linea.dat"), profile, length));
  ASSERT_EQ(profile.metre_count(), 89001);

  expect_every_cut_fails(slot_file, 1, [&](std::string_view b) {
    return read_slot_file(b, slots);
  });
  expect_every_cut_fails(
      file("Firenze_Pisa_11711.dat"), 1,
      [&](std::string_view b) { return read_cell_file(b, cells, length); });
  expect_every_cut_fails(file("Firenze_Pisa_linea.dat"), 1009,
                         [&](std::string_view b) {
                           return read_line_geometry_file(b, profile, length);
                         });
}

TEST(ScenarioReader, RefusesMoreThanTheLongestLineCanHold) {
  std::vector<TrackCell> cells;
  const auto e = read_cell_file(std::string(15 * 20142, '\0'), cells);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->offset, 15u * 20141);
  EXPECT_TRUE(cells.empty());

  // All-empty values: two bytes each, one more than the longest line has.
  LineProfile profile;
  const auto g =
      read_line_geometry_file(std::string(4 * 1'007'001 + 2, '\0'), profile);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->offset, 4u * 1'007'001);
  EXPECT_FALSE(profile.exists());
}

}  // namespace
}  // namespace scenc
