#include "output/scenario_reader.h"

#include <bit>
#include <cstring>

#include "output/scenario_files.h"

namespace scenc {
namespace {

// Little-endian reads over bytes in memory. Callers test `remaining()`
// before each read; the reads themselves assume the bytes are there.
class ByteReader {
 public:
  explicit ByteReader(std::string_view bytes) : bytes_(bytes) {}

  std::size_t offset() const { return pos_; }
  std::size_t remaining() const { return bytes_.size() - pos_; }

  std::uint8_t u8() { return static_cast<std::uint8_t>(bytes_[pos_++]); }
  std::uint16_t u16() {
    return static_cast<std::uint16_t>(little_endian<std::uint16_t>());
  }
  std::int16_t i16() { return static_cast<std::int16_t>(u16()); }
  std::uint32_t u32() {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i)
      v |= static_cast<std::uint32_t>(u8()) << (8 * i);
    return v;
  }
  std::int32_t i32() { return static_cast<std::int32_t>(u32()); }
  // A plan holds two million of these: one load each on a little-endian
  // machine.
  double f64() { return std::bit_cast<double>(little_endian<std::uint64_t>()); }
  std::string text(std::size_t n) {
    std::string s(bytes_.substr(pos_, n));
    pos_ += n;
    return s;
  }

 private:
  template <typename T>
  T little_endian() {
    T v;
    std::memcpy(&v, bytes_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    if constexpr (std::endian::native == std::endian::big) {
      T swapped = 0;
      for (std::size_t i = 0; i < sizeof v; ++i) {
        swapped = static_cast<T>((swapped << 8) | ((v >> (8 * i)) & 0xFF));
      }
      v = swapped;
    }
    return v;
  }

  std::string_view bytes_;
  std::size_t pos_ = 0;
};

DecodeError error_at(std::size_t offset, const std::string& record,
                     const std::string& what) {
  return DecodeError{
      offset, record + " at offset " + std::to_string(offset) + ": " + what};
}

std::string cut_short(std::size_t got, std::size_t needed) {
  return "file ends after " + std::to_string(got) + " of " +
         std::to_string(needed) + " bytes";
}

std::string line_of(std::int64_t length) {
  return "a line of " + std::to_string(length) + " m";
}

constexpr std::size_t kSlotBytesBeforeName = 16;

using Tag = LineProfile::Tag;
constexpr std::uint16_t kTagEmpty = static_cast<std::uint16_t>(Tag::kEmpty);
constexpr std::uint16_t kTagInt16 = static_cast<std::uint16_t>(Tag::kInt16);
constexpr std::uint16_t kTagDouble = static_cast<std::uint16_t>(Tag::kDouble);

// Walks the tagged values of a geometry file in order, checking each tag and
// payload against what is left, and hands each value to `on_value`. Stops
// with an error at the first bad value or at value `most_values`.
template <class OnValue>
std::optional<DecodeError> walk_values(std::string_view bytes,
                                       std::int64_t most_values,
                                       const std::string& past_end,
                                       std::int64_t metres_known,
                                       std::int64_t& count, OnValue on_value) {
  // The record's name says which coordinate and metre once the metre count
  // is known; before that, only the value's place in the file.
  const auto name = [metres_known](std::int64_t v) {
    if (metres_known <= 0) return "value " + std::to_string(v);
    return std::string(v < metres_known ? "x" : "y") + " of metre " +
           std::to_string(v % metres_known);
  };
  ByteReader in(bytes);
  count = 0;
  while (in.remaining() > 0) {
    const std::size_t at = in.offset();
    if (count >= most_values) return error_at(at, name(count), past_end);
    if (in.remaining() < 2) {
      return error_at(at, name(count), cut_short(in.remaining(), 2) + " (tag)");
    }
    const std::uint16_t tag = in.u16();
    std::size_t payload = 0;
    if (tag == kTagInt16) {
      payload = 2;
    } else if (tag == kTagDouble) {
      payload = 8;
    } else if (tag != kTagEmpty) {
      return error_at(at, name(count),
                      "unknown tag " + std::to_string(tag) +
                          " (0 empty, 2 integer, 5 double)");
    }
    if (in.remaining() < payload) {
      return error_at(
          at, name(count),
          cut_short(2 + in.remaining(), 2 + payload) +
              (tag == kTagInt16 ? " (tag and integer)" : " (tag and double)"));
    }
    if (tag == kTagInt16) {
      on_value(count, tag, in.i16());
    } else if (tag == kTagDouble) {
      on_value(count, tag, in.f64());
    } else {
      on_value(count, tag, 0.0);
    }
    ++count;
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::int64_t> line_length_of(const SlotTable& slots) {
  const std::int64_t length = slots[kConsistSlot].num2;
  if (length < 0 || length > kLongestLine) return std::nullopt;
  return length;
}

std::optional<DecodeError> read_cell_file(
    std::string_view bytes, std::vector<TrackCell>& cells,
    std::optional<std::int64_t> line_length) {
  cells.clear();
  const std::int64_t expected =
      line_length ? last_cell_for_length(*line_length) + 1 : 0;
  const std::int64_t most = line_length ? expected : kMostCells;
  const std::int64_t whole =
      static_cast<std::int64_t>(bytes.size() / kCellRecordSize);
  if (whole > most) {
    const auto at = static_cast<std::size_t>(most) * kCellRecordSize;
    return error_at(at, "cell " + std::to_string(most),
                    "file goes on after cell " + std::to_string(most - 1) +
                        ", the last cell of " +
                        (line_length ? line_of(*line_length)
                                     : std::string("the longest line")));
  }
  cells.reserve(static_cast<std::size_t>(whole));
  ByteReader in(bytes);
  while (in.remaining() > 0) {
    if (in.remaining() < kCellRecordSize) {
      return error_at(in.offset(), "cell " + std::to_string(cells.size()),
                      cut_short(in.remaining(), kCellRecordSize));
    }
    TrackCell& c = cells.emplace_back();
    c.kind = in.u8();
    c.value1 = in.i16();
    c.value2 = in.i16();
    c.value3 = in.i16();
    c.value4 = in.i16();
    c.signal_time = in.u8();
    c.approach = in.u8();
    c.mountain = in.u8();
    c.speed_limit = in.u8();
    c.gradient = in.u8();
    c.adhesion = in.u8();
  }
  const auto count = static_cast<std::int64_t>(cells.size());
  const std::int64_t fewest = line_length ? expected : kFewestCells;
  if (count < fewest) {
    return error_at(bytes.size(), "cell " + std::to_string(count),
                    "file ends before this cell; " +
                        (line_length ? line_of(*line_length)
                                     : std::string("the shortest line")) +
                        " has cells 0 to " + std::to_string(fewest - 1));
  }
  return std::nullopt;
}

std::optional<DecodeError> read_slot_file(std::string_view bytes,
                                          SlotTable& slots) {
  ByteReader in(bytes);
  for (int k = 0; k < kSlotCount; ++k) {
    const std::size_t at = in.offset();
    const std::string record = "slot " + std::to_string(k);
    if (in.remaining() < kSlotBytesBeforeName) {
      return error_at(
          at, record,
          cut_short(in.remaining(), kSlotBytesBeforeName) + " before the name");
    }
    ScenarioSlot s;
    s.kind = in.u8();
    s.num1 = in.i32();
    s.num2 = in.i32();
    s.num3 = in.i32();
    s.flag = in.u8();
    const std::uint16_t n = in.u16();
    const std::size_t rest = n + kSlotRecordBaseSize - kSlotBytesBeforeName;
    if (in.remaining() < rest) {
      return error_at(at, record,
                      cut_short(kSlotBytesBeforeName + in.remaining(),
                                kSlotRecordBaseSize + n) +
                          " (name of " + std::to_string(n) + " bytes)");
    }
    s.name = in.text(n);
    s.word1 = in.i16();
    s.word2 = in.i16();
    s.word3 = in.i16();
    s.word4 = in.i16();
    s.word5 = in.i16();
    s.byte1 = in.u8();
    s.byte2 = in.u8();
    s.byte3 = in.u8();
    s.byte4 = in.u8();
    s.num4 = in.i32();
    slots[static_cast<std::size_t>(k)] = std::move(s);
  }
  if (in.remaining() > 0) {
    return error_at(in.offset(),
                    "end of slot " + std::to_string(kSlotCount - 1),
                    std::to_string(in.remaining()) +
                        " more bytes follow; a slot file holds slots 0 to " +
                        std::to_string(kSlotCount - 1) + " only");
  }
  return std::nullopt;
}

std::optional<DecodeError> read_line_geometry_file(
    std::string_view bytes, LineProfile& profile,
    std::optional<std::int64_t> line_length) {
  profile.release();
  const std::int64_t expected =
      line_length ? last_metre_for_length(*line_length) + 1 : 0;
  const std::string past_end =
      "file goes on after y of metre " +
      std::to_string((line_length ? expected : kMostMetres) - 1) +
      ", the last of " +
      (line_length ? line_of(*line_length) : std::string("the longest line"));
  std::int64_t count = 0;
  const auto fill = [&profile](std::int64_t metres) {
    return [&profile, metres](std::int64_t v, std::uint16_t tag, double value) {
      const int coordinate = v < metres ? 0 : 1;
      const std::int64_t metre = coordinate == 0 ? v : v - metres;
      if (tag == kTagInt16) {
        profile.set_int16(coordinate, metre, static_cast<std::int16_t>(value));
      } else if (tag == kTagDouble) {
        profile.set_double(coordinate, metre, value);
      }
    };
  };
  // With the line length the metres are known before the file is read, and
  // one walk both checks and fills; without it, a first walk counts them.
  if (line_length) profile.allocate(expected - 1);
  const auto walked =
      line_length
          ? walk_values(bytes, 2 * expected, past_end, expected, count,
                        fill(expected))
          : walk_values(bytes, 2 * kMostMetres, past_end, expected, count,
                        [](std::int64_t, std::uint16_t, double) {});
  if (walked) {
    profile.release();
    return walked;
  }
  if (line_length && count < 2 * expected) {
    profile.release();
    return error_at(bytes.size(),
                    std::string(count < expected ? "x" : "y") + " of metre " +
                        std::to_string(count % expected),
                    "file ends before this value; " + line_of(*line_length) +
                        " has metres 0 to " + std::to_string(expected - 1) +
                        " in x and in y");
  }
  if (line_length) return std::nullopt;
  if (count % 2 != 0 || count < 2 * kFewestMetres) {
    return error_at(bytes.size(), "value " + std::to_string(count),
                    "file ends after " + std::to_string(count) +
                        " values; a line has at least " +
                        std::to_string(kFewestMetres) +
                        " metres, as many in x as in y");
  }
  const std::int64_t metres = count / 2;
  profile.allocate(metres - 1);
  walk_values(bytes, count, past_end, metres, count, fill(metres));
  return std::nullopt;
}

}  // namespace scenc
