// The file-naming rule of a scenario's two sources, as an author's tools
// read it: a line source "NAME_linea.txt" and, beside it, a train source
// "NAME_NUMBER-.txt" for each train that runs over the line. The names stand
// for the line name and the train number a compile stores.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/faults.h"

namespace scenc::tools {

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
