#include "output/scenario_files.h"

#include <stdexcept>

namespace scenc {

void write_cell_file(const Model& model, ByteWriter& out) {
  for (const TrackCell& c : model.track_cells) {
    out.u8(c.kind);
    out.i16(c.value1);
    out.i16(c.value2);
    out.i16(c.value3);
    out.i16(c.value4);
    out.u8(c.signal_time);
    out.u8(c.approach);
    out.u8(c.mountain);
    out.u8(c.speed_limit);
    out.u8(c.gradient);
    out.u8(c.adhesion);
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
    if (s.name.size() > 0xFFFF) {
      throw std::length_error("slot name longer than 65535 bytes");
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
  for (int coordinate = 0; coordinate < 2; ++coordinate) {
    for (std::int64_t m = 0; m < profile.metre_count(); ++m) {
      const Tag tag = profile.tag(coordinate, m);
      out.u16(static_cast<std::uint16_t>(tag));
      if (tag == Tag::kInt16) {
        out.i16(static_cast<std::int16_t>(profile.value(coordinate, m)));
      } else if (tag == Tag::kDouble) {
        out.f64(profile.value(coordinate, m));
      }
    }
  }
}

std::string ScenarioFileNames::line_source(const Model& m) {
  return m.line_name + "_linea.txt";
}
std::string ScenarioFileNames::train_source(const Model& m) {
  return m.line_name + "_" + m.train_number + "-.txt";
}
std::string ScenarioFileNames::timetable_card(const Model& m) {
  return m.line_name + "_" + m.train_number + "_scheda_treno.txt";
}
std::string ScenarioFileNames::slow_order_notice(const Model& m) {
  return m.line_name + "_" + m.train_number + "_rallentamenti.txt";
}
std::string ScenarioFileNames::notes(const Model& m) {
  return m.line_name + "_" + m.train_number + "_note.txt";
}
std::string ScenarioFileNames::line_geometry(const Model& m) {
  return m.line_name + "_linea.dat";
}
std::string ScenarioFileNames::slot_file(const Model& m) {
  return m.line_name + "_" + m.train_number + ".sim";
}
std::string ScenarioFileNames::cell_file(const Model& m) {
  return m.line_name + "_" + m.train_number + ".dat";
}

}  // namespace scenc
