#include "output/scenario_files.h"

#include <algorithm>
#include <stdexcept>

namespace scenc {

void write_cell_file(const Model& model, ByteWriter& out) {
  const std::size_t per_room = out.chunk_size() / kCellRecordSize;
  const TrackCell* cell = model.track_cells.data();
  const TrackCell* const end = cell + model.track_cells.size();
  while (cell != end) {
    const std::size_t count =
        std::min(per_room, static_cast<std::size_t>(end - cell));
    char* p = out.room(count * kCellRecordSize);
    for (const TrackCell* const last = cell + count; cell != last; ++cell) {
      p = ByteWriter::put_u8(p, cell->kind);
      p = ByteWriter::put_i16(p, cell->value1);
      p = ByteWriter::put_i16(p, cell->value2);
      p = ByteWriter::put_i16(p, cell->value3);
      p = ByteWriter::put_i16(p, cell->value4);
      p = ByteWriter::put_u8(p, cell->signal_time);
      p = ByteWriter::put_u8(p, cell->approach);
      p = ByteWriter::put_u8(p, cell->mountain);
      p = ByteWriter::put_u8(p, cell->speed_limit);
      p = ByteWriter::put_u8(p, cell->gradient);
      p = ByteWriter::put_u8(p, cell->adhesion);
    }
    out.commit(p);
  }
}

void write_slot_file(const Model& model, ByteWriter& out) {
  for (const ScenarioSlot& s : model.scenario_slots) {
    out.u8(s.kind);
    out.i32(s.num1);
    out.i32(s.num2);
    out.i32(s.num3);
    out.u8(s.flag);
    // A name longer than a 16-bit length can hold would corrupt every later
    // record; refuse it rather than write a file the loader misreads.
    if (s.name.size() > kLongestSlotName) {
      throw std::length_error("slot name longer than " +
                              std::to_string(kLongestSlotName) + " bytes");
    }
    out.u16(static_cast<std::uint16_t>(s.name.size()));
    out.bytes(s.name);
    out.i16(s.word1);
    out.i16(s.word2);
    out.i16(s.word3);
    out.i16(s.word4);
    out.i16(s.word5);
    out.u8(s.byte1);
    out.u8(s.byte2);
    out.u8(s.byte3);
    out.u8(s.byte4);
    out.i32(s.num4);
  }
}

void write_line_geometry_file(const LineProfile& profile, ByteWriter& out) {
  using Tag = LineProfile::Tag;
  const std::size_t per_room = out.chunk_size() / kLongestTaggedValue;
  const auto metres = static_cast<std::size_t>(profile.metre_count());
  for (int coordinate = 0; coordinate < 2; ++coordinate) {
    const std::uint8_t* const tags = profile.tags_of(coordinate);
    const double* const values = profile.values_of(coordinate);
    for (std::size_t m = 0; m < metres;) {
      const std::size_t last = std::min(metres, m + per_room);
      char* p = out.room((last - m) * kLongestTaggedValue);
      for (; m < last; ++m) {
        const auto tag = static_cast<Tag>(tags[m]);
        p = ByteWriter::put_u16(p, tags[m]);
        if (tag == Tag::kDouble) {
          p = ByteWriter::put_f64(p, values[m]);
        } else if (tag == Tag::kInt16) {
          p = ByteWriter::put_i16(p, static_cast<std::int16_t>(values[m]));
        }
      }
      out.commit(p);
    }
  }
}

namespace {

// A train's files are named after the line and the train.
std::string train_prefix(const Model& m) {
  return m.line_name + "_" + m.train_number;
}

}  // namespace

std::string ScenarioFileNames::line_source(const Model& m) {
  return m.line_name + std::string(file_ending::kLineSource);
}
std::string ScenarioFileNames::train_source(const Model& m) {
  return train_prefix(m) + std::string(file_ending::kTrainSource);
}
std::string ScenarioFileNames::timetable_card(const Model& m) {
  return train_prefix(m) + std::string(file_ending::kTimetableCard);
}
std::string ScenarioFileNames::slow_order_notice(const Model& m) {
  return train_prefix(m) + std::string(file_ending::kSlowOrderNotice);
}
std::string ScenarioFileNames::notes(const Model& m) {
  return train_prefix(m) + std::string(file_ending::kNotes);
}
std::string ScenarioFileNames::line_geometry(const Model& m) {
  return m.line_name + std::string(file_ending::kLineGeometry);
}
std::string ScenarioFileNames::slot_file(const Model& m) {
  return train_prefix(m) + std::string(file_ending::kSlotFile);
}
std::string ScenarioFileNames::cell_file(const Model& m) {
  return train_prefix(m) + std::string(file_ending::kCellFile);
}

}  // namespace scenc
