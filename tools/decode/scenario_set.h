// Finding and loading the compiled files of a scenario on disk, for the
// subcommands that read them (dump, plot).
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "model/track_model.h"
#include "output/scenario_reader.h"
#include "scenario/exit_status.h"

namespace scenc::tools {

// A failure of a reading subcommand: what to tell the person, and the exit
// status it ends with.
struct ToolError {
  int status;
  std::string message;
};

enum class FileKind { kCells, kSlots, kGeometry };

// The kind a file's name says: "_linea.dat" geometry, ".sim" slots, any
// other ".dat" cells.
std::optional<FileKind> kind_of_name(const std::filesystem::path& file);
std::optional<FileKind> kind_of_word(const std::string& word);

// The whole content of a file of that kind; throws ToolError when it cannot
// be read, or holds more than the largest file of its kind (refused before
// it is read, so that neither a huge file nor a device that never ends is
// taken into memory).
std::string read_file(const std::filesystem::path& file, FileKind kind);

// The slot file of the same scenario beside a cell or geometry file: for
// "P.dat" it is "P.sim"; for "LINE_linea.dat" any "LINE_*.sim" whose line
// name is LINE. Returns its slots when one is found and decodes.
struct SlotFileBeside {
  std::filesystem::path path;
  SlotTable slots;
};
std::optional<SlotFileBeside> slot_file_beside(
    const std::filesystem::path& file, FileKind kind);

// The three files of one scenario, decoded.
struct ScenarioSet {
  std::filesystem::path slot_path;
  std::filesystem::path cell_path;
  std::optional<std::filesystem::path> geometry_path;  // none: not written
  SlotTable slots{};
  std::vector<TrackCell> cells;
  LineProfile profile;
  std::int64_t line_length = 0;
};

// The files of one scenario as they lie on disk, not yet decoded.
struct ScenarioBytes {
  std::filesystem::path slot_path;
  std::filesystem::path cell_path;
  std::optional<std::filesystem::path> geometry_path;  // none: not written
  std::string slots;
  std::string cells;
  std::optional<std::string> geometry;
};

// Finds and reads the files of a scenario from its directory (which must
// hold one slot file) or from the common beginning of its file names
// ("DIR/LINE_TRAIN", a name of one of its files works as well). Throws
// ToolError: a directory holding several scenarios is a usage error that
// names them.
ScenarioBytes read_scenario_files(const std::filesystem::path& dir_or_prefix);

// Finds, reads and decodes a scenario, as read_scenario_files finds it.
ScenarioSet load_scenario(const std::filesystem::path& dir_or_prefix);

// Decodes files already read.
ScenarioSet decode_scenario(const ScenarioBytes& files);

// Decodes the files of one scenario from their bytes into `set`, whose
// paths name them in messages; no geometry bytes: no plan was written.
// Throws ToolError.
void decode_scenario(ScenarioSet& set, const std::string& slot_bytes,
                     const std::string& cell_bytes,
                     const std::optional<std::string>& geometry_bytes);

}  // namespace scenc::tools
