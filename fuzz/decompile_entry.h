// The entry point of the decompile's fuzz target, shared with the test that
// replays its seeds: arbitrary bytes read as the three files of a compiled
// scenario, decoded and decompiled. Whatever the bytes, every note names a
// place inside the file it speaks of, and sources said to compile to the
// same files do, byte for byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/decompile/decompile.h"

namespace scenc::fuzz {

// The three files in one input: the sizes of the slot and the cell file as
// two little-endian 32-bit numbers, those two files, and the rest as the
// line geometry (none when nothing is left). Sizes beyond the input are cut
// to what is there.
inline tools::ScenarioBytes files_of(const std::uint8_t* data,
                                     std::size_t size) {
  const auto number = [&](std::size_t at) {
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < 4 && at + i < size; ++i) {
      v |= std::uint32_t{data[at + i]} << (8 * i);
    }
    return static_cast<std::size_t>(v);
  };
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  std::size_t at = std::min<std::size_t>(8, size);
  const std::size_t slots = std::min(number(0), size - at);
  const std::size_t cells = std::min(number(4), size - at - slots);
  tools::ScenarioBytes files;
  files.slot_path = "fuzz_1.sim";
  files.cell_path = "fuzz_1.dat";
  files.slots = bytes.substr(at, slots);
  files.cells = bytes.substr(at + slots, cells);
  if (at + slots + cells < size) {
    files.geometry_path = "fuzz_linea.dat";
    files.geometry = bytes.substr(at + slots + cells);
  }
  return files;
}

// The input that files_of reads back as `files`.
inline std::string input_of(const tools::ScenarioBytes& files) {
  std::string input;
  for (std::size_t n : {files.slots.size(), files.cells.size()}) {
    for (int i = 0; i < 4; ++i)
      input += static_cast<char>((n >> (8 * i)) & 0xFF);
  }
  return input + files.slots + files.cells + files.geometry.value_or("");
}

// The first broken promise, or empty.
inline std::string decompile_bytes(const std::uint8_t* data, std::size_t size) {
  const tools::ScenarioBytes files = files_of(data, size);
  tools::DecompiledScenario d;
  try {
    d = tools::decompile(tools::decode_scenario(files), files);
  } catch (const tools::ToolError&) {
    return {};  // files no compile writes, refused as such
  }
  for (const tools::DecompileNote& n : d.notes) {
    const std::size_t file_size = n.file == tools::FileKind::kSlots
                                      ? files.slots.size()
                                  : n.file == tools::FileKind::kCells
                                      ? files.cells.size()
                                      : files.geometry.value_or("").size();
    if (n.offset > file_size)
      return "a note points beyond its file: " + n.record;
  }
  if (d.same_bytes) {
    const tools::CompiledInMemory again =
        tools::compile_in_memory(d.line_source, d.train_source, d.line_name,
                                 d.train_number, d.with_geometry ? 1 : 0);
    if (again.files.slots != files.slots || again.files.cells != files.cells ||
        again.files.geometry != files.geometry) {
      return "sources said to compile to the same files do not";
    }
  }
  return {};
}

}  // namespace scenc::fuzz
