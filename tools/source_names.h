// The scenario names an author's two source files stand for, when the
// author does not give them: "Firenze_Pisa_linea.txt" is the line
// "Firenze_Pisa", and "Firenze_Pisa_11711-.txt" its train "11711".
#pragma once

#include <filesystem>
#include <string>

namespace scenc::tools {

// The line source's file name without its ending, or else without its
// extension.
std::string default_line_name(const std::filesystem::path& line_source);

// What stands between "<line name>_" and the train source's ending, or else
// its file name without extension.
std::string default_train_number(const std::filesystem::path& train_source,
                                 const std::string& line_name);

}  // namespace scenc::tools
