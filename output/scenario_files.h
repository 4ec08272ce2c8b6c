// The three compiled scenario files, each the plain image of one container of
// the model: no header, no count, no padding.
//
// Cell file (`_<train>.dat`): cells 0..N, 15 bytes each, little-endian:
//   0 kind u8 | 1 value1 i16 | 3 value2 i16 | 5 value3 i16 | 7 value4 i16 |
//   9 signal_time u8 | 10 approach u8 | 11 mountain u8 | 12 speed_limit u8 |
//   13 gradient u8 | 14 adhesion u8
//
// Slot file (`_<train>.sim`): slots 0..86, 34 + n bytes each:
//   0 kind u8 | 1 num1 i32 | 5 num2 i32 | 9 num3 i32 | 13 flag u8 |
//   14 n u16 | 16 name[n] | 16+n word1..word5 i16 | 26+n byte1..byte4 u8 |
//   30+n num4 i32
//
// Line geometry file (`_linea.dat`): every x value of metres 0..L+7000, then
// every y value; each a u16 tag followed by its payload: tag 0 empty (no
// payload), tag 2 a 16-bit integer, tag 5 a double.
#pragma once

#include <cstddef>
#include <string>

#include "model/track_model.h"
#include "output/byte_writer.h"

namespace scenc {

inline constexpr std::size_t kCellRecordSize = 15;
inline constexpr std::size_t kSlotRecordBaseSize = 34;
// The longest element of the line geometry: a tag and a double.
inline constexpr std::size_t kLongestTaggedValue = 2 + 8;

void write_cell_file(const Model& model, ByteWriter& out);
void write_slot_file(const Model& model, ByteWriter& out);
void write_line_geometry_file(const LineProfile& profile, ByteWriter& out);

// The file names of a scenario, by its identity.
struct ScenarioFileNames {
  static std::string line_source(const Model& m);
  static std::string train_source(const Model& m);
  static std::string timetable_card(const Model& m);
  static std::string slow_order_notice(const Model& m);
  static std::string notes(const Model& m);
  static std::string line_geometry(const Model& m);
  static std::string slot_file(const Model& m);
  static std::string cell_file(const Model& m);
};

}  // namespace scenc
