// The entry points of the fuzz targets, shared with the test that replays the
// seed corpus and every input that once broke the build. Each takes raw
// bytes, runs them through the real code and returns a description of any
// broken promise (empty when all held). Memory and undefined-behaviour faults
// are left to the sanitizers the targets are built with.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "compiler/field_reader.h"
#include "compiler/source_store.h"
#include "model/faults.h"
#include "model/track_model.h"
#include "output/scenario_files.h"
#include "scenario/build_run.h"

namespace scenc::fuzz {

inline std::string_view as_text(const std::uint8_t* data, std::size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Reads the whole input as one source, field after field until the end. The
// first byte chooses, bit by bit in turn, whether each read is a text or a
// number field. Every read must move forward, stay inside the bytes, and
// the read after the end must be the general failure.
inline std::string read_fields(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes = as_text(data, size);
  const unsigned pattern = size > 0 ? data[0] : 0u;
  FieldReader reader(bytes);
  for (unsigned i = 0; !reader.at_end(); ++i) {
    const auto before = std::pair{reader.line(), reader.column()};
    try {
      if (pattern >> (i % 8) & 1u) {
        (void)reader.read_number_field();
      } else {
        const std::string_view field = reader.read_text_field();
        if (field.data() < bytes.data() ||
            field.data() + field.size() > bytes.data() + bytes.size()) {
          return "a text field points outside the source";
        }
      }
    } catch (const GeneralFailure&) {
      return "a read before the end failed";
    }
    if (std::pair{reader.line(), reader.column()} <= before) {
      return "a read did not move forward";
    }
    if (reader.field_line() < 1 || reader.field_column() < 1) {
      return "a field has no place in the source";
    }
  }
  try {
    (void)reader.read_text_field();
  } catch (const GeneralFailure&) {
    return {};
  }
  return "a read past the end succeeded";
}

// An output directory that keeps only the size of each file.
class SizeDirectory final : public OutputDirectory {
 public:
  void write(const std::string& name, const Fill& fill) override {
    struct Counter final : ByteSink {
      std::size_t size = 0;
      void append(const char*, std::size_t n) override { size += n; }
    } counter;
    ByteWriter out(counter);
    fill(out);
    out.flush();
    sizes[name] = counter.size;
  }
  std::map<std::string, std::size_t> sizes;
};

// 0, or a fault of the table that a build records (not an error exit's).
inline bool is_known_fault(std::int32_t code) {
  if (code == 0) return true;
  const FaultInfo* f = find_fault(code);
  return f != nullptr && f->ending != FaultEnding::kErrorExit;
}

// A whole build of one pair of sources, as the program runs it, and what it
// left behind.
struct CheckedBuild {
  Model model;
  BuildOutcome outcome;
  std::string problem;  // the first broken promise, empty when none
};

// Builds the scenario from `line` and `train` (no train source when absent)
// into an output directory that keeps only sizes, then checks the outcome:
// only known fault numbers, the line source let go, no file after an error
// exit, and binary files of the sizes the model gives.
inline CheckedBuild check_build(std::string line,
                                std::optional<std::string> train,
                                std::int32_t write_line_file) {
  CheckedBuild b;
  MemorySources sources;
  sources.line = std::move(line);
  sources.train = std::move(train);
  b.model.line_name = "Firenze_Pisa";
  b.model.train_number = "11711";
  SizeDirectory out;
  b.outcome = memorizza_percorso(b.model, write_line_file, sources, out);
  b.problem = [&]() -> std::string {
    const Model& model = b.model;
    if (!is_known_fault(model.error_code)) return "an unknown fault number";
    if (!sources.line_removed) return "the line source was not let go";
    if (!model.has_track_cells()) {
      if (b.outcome.error_exit == 0 || !out.sizes.empty()) {
        return "a build without track cells wrote files";
      }
      return {};
    }
    if (b.outcome.error_exit != 0) {
      const FaultInfo* shown = find_fault(b.outcome.error_exit);
      if (shown == nullptr || shown->ending != FaultEnding::kErrorExit) {
        return "an error exit with an unexpected number";
      }
      return out.sizes.empty() ? "" : "an error exit wrote files";
    }
    std::size_t slot_bytes = 0;
    for (const ScenarioSlot& slot : model.scenario_slots) {
      slot_bytes += kSlotRecordBaseSize + slot.name.size();
    }
    if (out.sizes[ScenarioFileNames::cell_file(model)] !=
            kCellRecordSize * model.track_cells.size() ||
        out.sizes[ScenarioFileNames::slot_file(model)] != slot_bytes) {
      return "a binary file has the wrong size";
    }
    if ((write_line_file != 0) !=
        (out.sizes.count(ScenarioFileNames::line_geometry(model)) == 1)) {
      return "the line geometry was written when it should not be, or not";
    }
    return {};
  }();
  return b;
}

// Builds a scenario from the input: the line source, a NUL byte, the train
// source. When a second NUL follows the train source, the byte after it
// chooses whether the line geometry is built (odd) or not. Without any NUL
// the whole input is the line source and the train source is missing.
inline std::string build_scenario(const std::uint8_t* data, std::size_t size) {
  const std::string_view input = as_text(data, size);
  const std::size_t split = input.find('\0');
  std::optional<std::string> train;
  std::int32_t write_line_file = 0;
  if (split != std::string_view::npos) {
    const std::string_view rest = input.substr(split + 1);
    const std::size_t option = rest.find('\0');
    if (option != std::string_view::npos && option + 1 < rest.size()) {
      write_line_file = rest[option + 1] & 1;
    }
    train = std::string(rest.substr(0, option));
  }
  return check_build(std::string(input.substr(0, split)), std::move(train),
                     write_line_file)
      .problem;
}

}  // namespace scenc::fuzz
