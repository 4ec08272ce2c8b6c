// The decoded meaning of cells and slots in the author's words: speeds in
// km/h, gradients in per mille, times as hh:mm:ss, the field names of the
// source rows. One list of details per record serves the text dump, the
// JSON dump and the plot's labels alike.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "model/track_model.h"
#include "output/scenario_reader.h"

namespace scenc::tools {

// One decoded value: a number with its unit, or a text (UTF-8).
struct Detail {
  std::string key;
  std::int64_t number = 0;
  std::string unit;                 // "km/h", "m", ...; shown in text only
  std::optional<std::string> text;  // replaces the number when set
  bool quoted = false;              // a name or sign text: quoted in text
};
using Details = std::vector<Detail>;

// Where the object of cell `index` stands on the line: (index - 1) x 50 m.
std::int64_t cell_position(std::int64_t index);
// Whole per mille and km/h of a cell's profile bytes.
inline int gradient_per_mille(const TrackCell& c) { return c.gradient - 100; }
inline int speed_limit_kmh(const TrackCell& c) { return c.speed_limit * 5; }

// The values a cell's kind packs, unpacked. `slots`, when given, adds the
// station name or signboard text a cell points to.
Details describe_cell(std::int64_t index, const TrackCell& cell,
                      const SlotTable* slots);

// What a slot holds. Stations fill from slot 1 up, signboard texts from
// slot 80 down; the slots from 81 on have fixed roles.
enum class SlotRole {
  kUnused,  // slot 0, which no build fills
  kEmpty,
  kStation,
  kSignboardText,
  kKilometricProgressive,
  kConsist,
  kLine,
  kTrain,
};
SlotRole slot_role(int index, const ScenarioSlot& slot);
// "station", "signboard text", "line", ... as the dump shows a role.
std::string role_name(SlotRole role);
Details describe_slot(int index, const ScenarioSlot& slot);

// Seconds of the day as hh:mm:ss (hours may pass 23; a minus sign leads).
std::string clock_text(std::int64_t seconds);

// "v 30 km/h, f_tt 0, name \"PISA\"".
std::string details_text(const Details& details);
nlohmann::json details_json(const Details& details);

// True when a record holds anything but zeros and an empty name.
bool is_empty(const TrackCell& cell);
bool is_empty(const ScenarioSlot& slot);

}  // namespace scenc::tools
