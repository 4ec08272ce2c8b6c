// Small sources for compiler tests: rows joined with CR LF, wrapped in the
// preamble and general section a source needs, and compiled in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>

#include "compiler/memorizza_dati.h"
#include "compiler/source_store.h"
#include "model/track_model.h"

namespace scenc::testing {

inline std::string lines(std::initializer_list<std::string_view> rows) {
  std::string text;
  for (std::string_view r : rows) {
    text += r;
    text += "\r\n";
  }
  return text;
}

// A line source of `length` metres whose body is `body`.
inline std::string line_source(std::string_view body, int length = 82000) {
  return lines({"inizio_dati", "[generale]",
                "lunghezza percorso, " + std::to_string(length), "[pendenze]"}) +
         std::string(body) + lines({"[fine]"});
}

// A train source whose body is `body`.
inline std::string train_source(std::string_view body) {
  return lines({"inizio_dati", "[generale]"}) + std::string(body) + lines({"[fine]"});
}

struct Compiled {
  Model model;
  MemorySources sources;

  const TrackCell& cell(int i) const { return model.track_cells.at(static_cast<std::size_t>(i)); }
  const ScenarioSlot& slot(int i) const { return model.scenario_slots.at(static_cast<std::size_t>(i)); }
};

// Compiles the two sources as a build does: slots cleared, identity set.
inline Compiled compile(std::string line, std::string train,
                        std::int32_t write_line_file = 1) {
  Compiled c;
  c.model.line_name = "Firenze_Pisa";
  c.model.train_number = "11711";
  c.model.clear_for_build(write_line_file);
  c.sources.line = std::move(line);
  c.sources.train = std::move(train);
  memorizza_dati(c.model, c.sources);
  return c;
}

}  // namespace scenc::testing
