#include "tools/decode/describe.h"

#include <cstdio>

#include "model/cp1252.h"

namespace scenc::tools {
namespace {

Detail number(std::string key, std::int64_t value, std::string unit = {}) {
  return Detail{std::move(key), value, std::move(unit), std::nullopt, false};
}
Detail text(std::string key, std::string value) {
  return Detail{std::move(key), 0, {}, std::move(value), false};
}
Detail name(std::string key, const std::string& cp1252) {
  return Detail{std::move(key), 0, {}, cp1252_to_utf8(cp1252), true};
}

// The name of the slot a station marker or signboard points to.
void add_slot_name(Details& d, const char* key, std::int16_t slot,
                   const SlotTable* slots) {
  d.push_back(number("slot", slot));
  if (slots && slot >= 0 && slot < kSlotCount) {
    d.push_back(name(key, (*slots)[static_cast<std::size_t>(slot)].name));
  }
}

// A speed board packs each pair of speeds as s / 5 in the hundreds and
// d / 5 in the units.
void add_board_pair(Details& d, const char* s_key, const char* d_key,
                    std::int16_t packed) {
  d.push_back(number(s_key, packed / 100 * 5, "km/h"));
  d.push_back(number(d_key, packed % 100 * 5, "km/h"));
}

bool all_numbers_zero(const ScenarioSlot& s) {
  ScenarioSlot numbers = s;
  numbers.name.clear();
  return numbers == ScenarioSlot{};
}

}  // namespace

std::int64_t cell_position(std::int64_t index) {
  return (index - 1) * kCellLength;
}

Details describe_cell(std::int64_t index, const TrackCell& c,
                      const SlotTable* slots) {
  Details d;
  switch (c.kind) {
    case cell_kind::kSignal: {
      // Each of value1..value3 packs an s code in the tens and a d code in
      // the units; value4 packs rapp in the tens and sx * 3 + dx below.
      d.push_back(number("s1", c.value1 / 10));
      d.push_back(number("s2", c.value2 / 10));
      d.push_back(number("s3", c.value3 / 10));
      d.push_back(number("d1", c.value1 % 10));
      d.push_back(number("d2", c.value2 % 10));
      d.push_back(number("d3", c.value3 % 10));
      d.push_back(number("rapp", c.value4 / 10));
      d.push_back(number("sx", c.value4 % 10 / 3));
      d.push_back(number("dx", c.value4 % 10 % 3));
      d.push_back(number("tempo", c.signal_time));
      break;
    }
    case cell_kind::kSlowOrderEnd:
    case cell_kind::kSlowOrderStart:
      d.push_back(number("v", c.value1, "km/h"));
      d.push_back(number("d_v", c.value2));
      d.push_back(number("f_tt", c.value3));
      break;
    case cell_kind::kSlowOrderWarning:
      d.push_back(number("v", c.value1, "km/h"));
      d.push_back(number("d_v", c.value2));
      break;
    case cell_kind::kSlowOrderApproach:
      d.push_back(number("step", c.value1));
      d.push_back(number("d_v_step", c.value2));
      break;
    case cell_kind::kSpeedBoard:
      add_board_pair(d, "vas", "vad", c.value1);
      add_board_pair(d, "vbs", "vbd", c.value2);
      add_board_pair(d, "vcs", "vcd", c.value3);
      d.push_back(number("strisces", c.value4 / 10));
      d.push_back(number("strisced", c.value4 % 10));
      break;
    case cell_kind::kStationMarker:
      add_slot_name(d, "station", c.value1, slots);
      break;
    case cell_kind::kSignboard:
      add_slot_name(d, "text", c.value1, slots);
      break;
    case cell_kind::kAbbattimento:
      d.push_back(number("value", c.value1));
      break;
    case cell_kind::kFree:
    case cell_kind::kMountainMarker:
    case cell_kind::kAbbattimentoZero:
      break;
    default:
      d.push_back(number("value1", c.value1));
      d.push_back(number("value2", c.value2));
      d.push_back(number("value3", c.value3));
      d.push_back(number("value4", c.value4));
      break;
  }
  // Cell 1 carries the format stamp and the plain scenario code.
  if (index == 1 && c.is_free()) {
    d.push_back(number("format_stamp", c.value1));
    d.push_back(number("scenario_code", c.value2));
  }
  return d;
}

SlotRole slot_role(int index, const ScenarioSlot& s) {
  switch (index) {
    case 81:
    case 82:
    case 83:
      return SlotRole::kKilometricProgressive;
    case kConsistSlot:
      return SlotRole::kConsist;
    case kLineSlot:
      return SlotRole::kLine;
    case kTrainSlot:
      return SlotRole::kTrain;
    default:
      break;
  }
  if (is_empty(s)) return SlotRole::kEmpty;
  if (index == 0) return SlotRole::kUnused;
  // A signboard slot holds nothing but its text.
  return all_numbers_zero(s) ? SlotRole::kSignboardText : SlotRole::kStation;
}

std::string role_name(SlotRole role) {
  switch (role) {
    case SlotRole::kUnused:
      return "unused";
    case SlotRole::kEmpty:
      return "empty";
    case SlotRole::kStation:
      return "station";
    case SlotRole::kSignboardText:
      return "signboard text";
    case SlotRole::kKilometricProgressive:
      return "kilometric progressive";
    case SlotRole::kConsist:
      return "consist";
    case SlotRole::kLine:
      return "line";
    case SlotRole::kTrain:
      return "train";
  }
  return "?";
}

Details describe_slot(int index, const ScenarioSlot& s) {
  switch (slot_role(index, s)) {
    case SlotRole::kStation:
      return {name("name", s.name),        number("tipo", s.kind),
              number("pos", s.num3, "m"),  number("from", s.num1, "m"),
              number("to", s.num2, "m"),   text("time", clock_text(s.num4)),
              number("tps", s.flag),       number("tab", s.byte4),
              number("mar", s.byte3),      number("d2_first", s.word1),
              number("d3_first", s.word2), number("rap", s.byte1),
              number("d1", s.word3),       number("d2", s.word4),
              number("d3", s.word5),       number("ac", s.byte2)};
    case SlotRole::kSignboardText:
      return {name("text", s.name)};
    case SlotRole::kKilometricProgressive:
      return {number("first", s.num1), number("second", s.num2),
              number("third", s.num3)};
    case SlotRole::kConsist:
      return {number("braked_mass", s.num1, "%"),
              number("line_length", s.num2, "m"), number("cars", s.num3)};
    case SlotRole::kLine:
      return {name("name", s.name),
              number("background_one", s.num1),
              number("background_two", s.num3),
              number("background_three", s.num2),
              number("format_stamp", s.word1),
              number("weighted_code", s.num4)};
    case SlotRole::kTrain:
      return {name("name", s.name),
              number("signal_repetition_from", s.num1, "m"),
              number("signal_repetition_to", s.num2, "m"),
              number("signal_repetition_codes", s.num3),
              number("sabbia", s.word1),
              text("orologio", clock_text(std::int64_t{s.word3} * 3600 +
                                          s.word4 * 60 + s.word5))};
    case SlotRole::kEmpty:
      return {};
    case SlotRole::kUnused:
      break;
  }
  return {name("name", s.name)};  // slot 0, which no build fills
}

std::string clock_text(std::int64_t seconds) {
  const char* sign = seconds < 0 ? "-" : "";
  const std::int64_t t = seconds < 0 ? -seconds : seconds;
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%s%02lld:%02lld:%02lld", sign,
                static_cast<long long>(t / 3600),
                static_cast<long long>(t / 60 % 60),
                static_cast<long long>(t % 60));
  return buffer;
}

std::string details_text(const Details& details) {
  std::string out;
  for (const Detail& d : details) {
    if (!out.empty()) out += ", ";
    out += d.key + " ";
    if (d.text) {
      out += d.quoted ? "\"" + *d.text + "\"" : *d.text;
    } else {
      out += std::to_string(d.number);
      if (!d.unit.empty()) out += (d.unit == "%" ? "" : " ") + d.unit;
    }
  }
  return out;
}

nlohmann::json details_json(const Details& details) {
  nlohmann::json j = nlohmann::json::object();
  for (const Detail& d : details) {
    if (d.text) {
      j[d.key] = *d.text;
    } else {
      j[d.key] = d.number;
    }
  }
  return j;
}

bool is_empty(const TrackCell& cell) { return cell == TrackCell{}; }
bool is_empty(const ScenarioSlot& slot) { return slot == ScenarioSlot{}; }

}  // namespace scenc::tools
