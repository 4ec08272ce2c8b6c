// The file-naming rule of a scenario's two sources, as an author's tools
// read it: a line source "NAME_linea.txt" and, beside it, a train source
// "NAME_NUMBER-.txt" for each train that runs over the line. The names stand
// for the line name and the train number a compile stores.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/faults.h"
#include "model/track_model.h"

namespace scenc::tools {

// The largest source the author's tools read: 256 MiB. Every row that
// places something places it on the line, so a source that wrote a row of
// 256 bytes (the widest row, a station's seventeen columns, written out at
// their widest) for every metre of the longest line and its run-out, and
// every slot's name at the longest a slot holds, would still fit. A larger
// file is no author's source, and reading it would only fill memory.
inline constexpr std::uint64_t kLargestSource = std::uint64_t{256} << 20;
static_assert(static_cast<std::uint64_t>(kMostMetres) * 256 +
                  kSlotCount * kLongestSlotName <=
              kLargestSource);

// Reads an author's source: a regular file (a link to one is followed) of
// at most kLargestSource bytes. A device, a FIFO or a larger file is
// refused before it is read; nothing when the file cannot be had, with the
// reason.
std::optional<std::string> read_source(const std::filesystem::path& path,
                                       std::string& reason);

// The line name an author's line source stands for: its file name without
// the line source's ending, or else without its extension.
std::string default_line_name(const std::filesystem::path& line_source);

// The train number an author's train source stands for: what stands between
// "<line name>_" and the train source's ending, or else its file name
// without extension.
std::string default_train_number(const std::filesystem::path& train_source,
                                 const std::string& line_name);

// Which source a file name is by its ending: kLine, kTrain, or kNone.
SourceKind source_kind_of_name(std::string_view file_name);

// The file name of the line source of `line_name`.
std::string line_source_name(std::string_view line_name);

// The line names a train source's file name may belong to, the likeliest
// first: what stands before each "_" of the name, from the last "_" back,
// since the number is written last and line names may hold "_" themselves.
std::vector<std::string> line_names_of_train(std::string_view file_name);

// True when `file_name` is a train source of the line `line_name`.
bool is_train_of(std::string_view file_name, std::string_view line_name);

}  // namespace scenc::tools
