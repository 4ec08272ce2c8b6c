#include "tools/source_names.h"

#include "model/track_model.h"

namespace scenc::tools {

std::string default_line_name(const std::filesystem::path& line_source) {
  const std::string file = line_source.filename().string();
  if (file.ends_with(file_ending::kLineSource)) {
    return file.substr(0, file.size() - file_ending::kLineSource.size());
  }
  return line_source.stem().string();
}

std::string default_train_number(const std::filesystem::path& train_source,
                                 const std::string& line_name) {
  const std::string file = train_source.filename().string();
  const std::string prefix = line_name + "_";
  if (file.size() >= prefix.size() + file_ending::kTrainSource.size() &&
      file.starts_with(prefix) && file.ends_with(file_ending::kTrainSource)) {
    return file.substr(prefix.size(),
                       file.size() - prefix.size() - file_ending::kTrainSource.size());
  }
  return train_source.stem().string();
}

}  // namespace scenc::tools
