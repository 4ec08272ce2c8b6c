#include "tools/decode/scenario_set.h"

#include <algorithm>
#include <system_error>

#include "output/file_system.h"
#include "scenario/exit_status.h"

namespace scenc::tools {
namespace {

namespace fs = std::filesystem;

bool ends_with(const std::string& s, std::string_view end) {
  return s.size() >= end.size() &&
         s.compare(s.size() - end.size(), end.size(), end) == 0;
}

ToolError malformed(const fs::path& file, const DecodeError& e) {
  return ToolError{exit_status::kMalformedFile, file.string() + ": " + e.message};
}

std::vector<fs::path> slot_files_in(const fs::path& dir,
                                    const std::string& start) {
  std::vector<fs::path> found;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file(ec) && ends_with(name, file_ending::kSlotFile) &&
        name.compare(0, start.size(), start) == 0) {
      found.push_back(entry.path());
    }
  }
  std::sort(found.begin(), found.end());
  return found;
}

std::int64_t largest_file(FileKind kind) {
  switch (kind) {
    case FileKind::kCells:
      return kLargestCellFile;
    case FileKind::kSlots:
      return kLargestSlotFile;
    case FileKind::kGeometry:
      return kLargestGeometryFile;
  }
  return 0;
}

const char* kind_word(FileKind kind) {
  switch (kind) {
    case FileKind::kCells:
      return "cell";
    case FileKind::kSlots:
      return "slot";
    case FileKind::kGeometry:
      return "line geometry";
  }
  return "";
}

}  // namespace

std::optional<FileKind> kind_of_name(const fs::path& file) {
  const std::string name = file.filename().string();
  if (ends_with(name, file_ending::kLineGeometry)) return FileKind::kGeometry;
  if (ends_with(name, file_ending::kSlotFile)) return FileKind::kSlots;
  if (ends_with(name, file_ending::kCellFile)) return FileKind::kCells;
  return std::nullopt;
}

std::optional<FileKind> kind_of_word(const std::string& word) {
  if (word == "cells") return FileKind::kCells;
  if (word == "slots") return FileKind::kSlots;
  if (word == "geometry") return FileKind::kGeometry;
  return std::nullopt;
}

std::string read_file(const fs::path& file, FileKind kind) {
  const std::int64_t largest = largest_file(kind);
  std::string bytes;
  std::string reason;
  bool too_large = false;
  if (read_file_of_at_most(file, static_cast<std::uint64_t>(largest), bytes,
                           &reason, too_large) == SourceStore::Status::kOk) {
    return bytes;
  }
  if (too_large) {
    throw ToolError{exit_status::kMalformedFile, file.string() + ": holds more than " +
                                        std::to_string(largest) +
                                        " bytes, the largest " +
                                        kind_word(kind) + " file there can be"};
  }
  throw ToolError{exit_status::kFileFailed, file.string() + ": " + reason};
}

std::optional<SlotFileBeside> slot_file_beside(const fs::path& file,
                                               FileKind kind) {
  std::vector<fs::path> candidates;
  const std::string name = file.filename().string();
  if (kind == FileKind::kCells && ends_with(name, file_ending::kCellFile)) {
    candidates.push_back(
        fs::path(file).replace_extension(file_ending::kSlotFile));
  } else if (kind == FileKind::kGeometry &&
             ends_with(name, file_ending::kLineGeometry)) {
    const std::string line =
        name.substr(0, name.size() - file_ending::kLineGeometry.size());
    const fs::path dir =
        file.has_parent_path() ? file.parent_path() : fs::path(".");
    for (const auto& p : slot_files_in(dir, line + "_"))
      candidates.push_back(p);
  }
  for (const auto& candidate : candidates) {
    std::string bytes;
    bool too_large = false;
    if (read_file_of_at_most(candidate, kLargestSlotFile, bytes, nullptr,
                             too_large) != SourceStore::Status::kOk) {
      continue;
    }
    SlotFileBeside found{candidate, {}};
    if (read_slot_file(bytes, found.slots)) continue;
    if (kind == FileKind::kGeometry &&
        found.slots[kLineSlot].name + std::string(file_ending::kLineGeometry) !=
            name) {
      continue;  // another line whose name shares the beginning
    }
    return found;
  }
  return std::nullopt;
}

ScenarioBytes read_scenario_files(const fs::path& dir_or_prefix) {
  fs::path prefix = dir_or_prefix;
  std::error_code ec;
  if (fs::is_directory(dir_or_prefix, ec)) {
    const auto found = slot_files_in(dir_or_prefix, "");
    if (found.empty()) {
      throw ToolError{exit_status::kFileFailed,
                      dir_or_prefix.string() + ": no slot file (*.sim) in it"};
    }
    if (found.size() > 1) {
      std::string names;
      for (const fs::path& f : found) {
        names += (names.empty() ? "" : ", ") +
                 fs::path(f).replace_extension().string();
      }
      throw ToolError{exit_status::kUsageError,
                      dir_or_prefix.string() +
                          " holds several scenarios: " + names +
                          "; name one by the beginning of its file names"};
    }
    prefix = fs::path(found[0]).replace_extension();
  } else if (kind_of_name(prefix) == FileKind::kGeometry) {
    const auto beside = slot_file_beside(prefix, FileKind::kGeometry);
    if (!beside) {
      throw ToolError{exit_status::kFileFailed,
                      prefix.string() + ": no slot file of its line beside it"};
    }
    prefix = fs::path(beside->path).replace_extension();
  } else if (kind_of_name(prefix)) {
    prefix.replace_extension();
  } else if (!fs::exists(prefix.string() + std::string(file_ending::kSlotFile),
                         ec)) {
    // Neither a directory nor the beginning of a scenario's names: say what
    // the person most likely meant.
    const fs::path dir =
        prefix.has_parent_path() ? prefix.parent_path() : fs::path(".");
    throw ToolError{
        exit_status::kFileFailed,
        fs::is_directory(dir, ec)
            ? dir_or_prefix.string() +
                  ": no such directory, nor a scenario whose file names "
                  "begin so"
            : dir.string() + ": no such directory"};
  }

  ScenarioBytes files;
  files.slot_path = prefix.string() + std::string(file_ending::kSlotFile);
  files.cell_path = prefix.string() + std::string(file_ending::kCellFile);
  files.slots = read_file(files.slot_path, FileKind::kSlots);
  SlotTable slots;
  if (auto e = read_slot_file(files.slots, slots)) {
    throw malformed(files.slot_path, *e);
  }
  files.cells = read_file(files.cell_path, FileKind::kCells);
  // The name comes from the file's contents: it may only name a file beside
  // it, never lead to another directory.
  const std::string& line_name = slots[kLineSlot].name;
  if (line_name.find_first_of(std::string_view("/\0", 2)) !=
          std::string::npos ||
      line_name.find("..") != std::string::npos) {
    throw ToolError{exit_status::kMalformedFile,
                    files.slot_path.string() + ": the line name in slot " +
                        std::to_string(kLineSlot) +
                        " is not a file name; no line geometry is looked for "
                        "by it"};
  }
  const fs::path geometry =
      prefix.parent_path() /
      (line_name + std::string(file_ending::kLineGeometry));
  if (fs::exists(geometry, ec)) {
    files.geometry_path = geometry;
    files.geometry = read_file(geometry, FileKind::kGeometry);
  }
  return files;
}

ScenarioSet load_scenario(const fs::path& dir_or_prefix) {
  return decode_scenario(read_scenario_files(dir_or_prefix));
}

ScenarioSet decode_scenario(const ScenarioBytes& files) {
  ScenarioSet set;
  set.slot_path = files.slot_path;
  set.cell_path = files.cell_path;
  set.geometry_path = files.geometry_path;
  decode_scenario(set, files.slots, files.cells, files.geometry);
  return set;
}

void decode_scenario(ScenarioSet& set, const std::string& slot_bytes,
                     const std::string& cell_bytes,
                     const std::optional<std::string>& geometry_bytes) {
  if (auto e = read_slot_file(slot_bytes, set.slots)) {
    throw malformed(set.slot_path, *e);
  }
  const auto length = line_length_of(set.slots);
  if (auto e = read_cell_file(cell_bytes, set.cells, length)) {
    throw malformed(set.cell_path, *e);
  }
  // A slot file with an impossible length still shows its grid: take the
  // length the grid was made for.
  set.line_length =
      length ? *length
             : std::max<std::int64_t>(
                   0, (static_cast<std::int64_t>(set.cells.size()) - 1) *
                              kCellLength -
                          kRunOut);
  if (geometry_bytes) {
    if (auto e =
            read_line_geometry_file(*geometry_bytes, set.profile, length)) {
      throw malformed(set.geometry_path.value_or("line geometry"), *e);
    }
  }
}

}  // namespace scenc::tools
