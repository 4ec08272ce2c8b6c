#include "output/scenario_files.h"

#include <algorithm>
#include <stdexcept>
#include <string_view>

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

namespace {

// Elements of one coordinate, metres `from` to `to` - 1, that are all empty.
void write_empty_elements(std::int64_t from, std::int64_t to, ByteWriter& out) {
  const auto per_room = static_cast<std::int64_t>(out.chunk_size() / 2);
  for (std::int64_t m = from; m < to;) {
    const std::int64_t last = std::min(to, m + per_room);
    char* p = out.room(static_cast<std::size_t>(last - m) * 2);
    for (; m < last; ++m) {
      p = ByteWriter::put_u16(
          p, static_cast<std::uint16_t>(LineProfile::Tag::kEmpty));
    }
    out.commit(p);
  }
}

char* put_element(char* p, LineProfile::Tag tag, double value) {
  p = ByteWriter::put_u16(p, static_cast<std::uint16_t>(tag));
  if (tag == LineProfile::Tag::kDouble) return ByteWriter::put_f64(p, value);
  if (tag == LineProfile::Tag::kInt16) {
    return ByteWriter::put_i16(p, static_cast<std::int16_t>(value));
  }
  return p;
}

// A profile set metre by metre: every element encoded from its arrays.
void write_stored_profile(const LineProfile& profile, ByteWriter& out) {
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
        p = put_element(p, static_cast<Tag>(tags[m]), values[m]);
      }
      out.commit(p);
    }
  }
}

// A drawn profile: the metres are drawn with the pen straight into their
// encoding. The file holds all the x values, then all the y values; the
// pen draws both at once, so the y values go out as the file's last
// section, each chunk to its place as it is drawn (or collected where the
// file cannot be written at a place). Nothing is encoded twice, and no
// array of metres exists.
void write_drawn_profile(const LineProfile& profile, ByteWriter& out) {
  using Tag = LineProfile::Tag;
  constexpr std::size_t kDrawn = 2 + 8;  // a tag and a double
  const std::int64_t metres = profile.metre_count();
  const std::int64_t start = std::min<std::int64_t>(2, metres);
  const std::int64_t drawn_end =
      std::min(metres, std::max(start, profile.drawn_end()));
  const auto drawn = static_cast<std::uint64_t>(drawn_end - start);

  // The x values' size: the metres before the pen, the drawn ones, and the
  // empty ones after.
  std::uint64_t x_size =
      drawn * kDrawn + static_cast<std::uint64_t>(metres - drawn_end) * 2;
  for (std::int64_t m = 0; m < start; ++m) {
    char element[kLongestTaggedValue];
    x_size += static_cast<std::uint64_t>(
        put_element(element, profile.tag(0, m), profile.value(0, m)) - element);
  }
  ByteWriter::Tail y_values(out, out.position() + x_size);
  ByteWriter& y_out = y_values.writer();

  const auto write_start = [&](int coordinate, ByteWriter& to) {
    for (std::int64_t m = 0; m < start; ++m) {
      to.commit(put_element(to.room(kLongestTaggedValue),
                            profile.tag(coordinate, m),
                            profile.value(coordinate, m)));
    }
  };

  write_start(0, out);
  write_start(1, y_out);
  LinePen pen = profile.pen_at_start();
  const auto per_room = static_cast<std::int64_t>(out.chunk_size() / kDrawn);
  std::int64_t next = start;
  for (const LineProfile::Run& run : profile.runs()) {
    while (next <= run.last) {
      const std::int64_t count = std::min(run.last - next + 1, per_room);
      const std::size_t bytes = static_cast<std::size_t>(count) * kDrawn;
      char* x = out.room(bytes);
      char* y = y_out.room(bytes);
      pen.draw(count, run.turn, [&x, &y](double px, double py) {
        x = ByteWriter::put_u16(x, static_cast<std::uint16_t>(Tag::kDouble));
        x = ByteWriter::put_f64(x, px);
        y = ByteWriter::put_u16(y, static_cast<std::uint16_t>(Tag::kDouble));
        y = ByteWriter::put_f64(y, py);
      });
      out.commit(x);
      y_out.commit(y);
      next += count;
    }
  }
  write_empty_elements(drawn_end, metres, out);
  write_empty_elements(drawn_end, metres, y_out);
  y_values.finish();
}

}  // namespace

void write_line_geometry_file(const LineProfile& profile, ByteWriter& out) {
  if (profile.is_drawn()) {
    write_drawn_profile(profile, out);
  } else {
    write_stored_profile(profile, out);
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
