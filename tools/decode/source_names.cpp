#include "tools/decode/source_names.h"

#include "model/track_model.h"
#include "output/file_system.h"

namespace scenc::tools {

namespace fs = std::filesystem;

std::optional<std::string> read_source(const fs::path& path,
                                       std::string& reason) {
  std::string bytes;
  bool too_large = false;
  if (read_file_of_at_most(path, kLargestSource, bytes, &reason, too_large,
                           Readable::kRegularFileOnly) ==
      SourceStore::Status::kOk) {
    return bytes;
  }
  if (too_large) {
    reason = "holds more than " + std::to_string(kLargestSource) +
             " bytes (256 MiB), the largest a source may be";
  }
  return std::nullopt;
}

std::string default_line_name(const fs::path& line_source) {
  const std::string file = line_source.filename().string();
  if (file.ends_with(file_ending::kLineSource)) {
    return file.substr(0, file.size() - file_ending::kLineSource.size());
  }
  return line_source.stem().string();
}

std::string default_train_number(const fs::path& train_source,
                                 const std::string& line_name) {
  const std::string file = train_source.filename().string();
  if (is_train_of(file, line_name)) {
    const std::size_t prefix = line_name.size() + 1;
    return file.substr(prefix, file.size() - prefix -
                                   file_ending::kTrainSource.size());
  }
  return train_source.stem().string();
}

SourceKind source_kind_of_name(std::string_view file_name) {
  if (file_name.ends_with(file_ending::kLineSource)) return SourceKind::kLine;
  if (file_name.ends_with(file_ending::kTrainSource)) return SourceKind::kTrain;
  return SourceKind::kNone;
}

std::string line_source_name(std::string_view line_name) {
  return std::string(line_name) + std::string(file_ending::kLineSource);
}

std::vector<std::string> line_names_of_train(std::string_view file_name) {
  std::vector<std::string> names;
  if (!file_name.ends_with(file_ending::kTrainSource)) return names;
  const std::string_view stem =
      file_name.substr(0, file_name.size() - file_ending::kTrainSource.size());
  for (std::size_t at = stem.rfind('_'); at != std::string_view::npos && at > 0;
       at = stem.rfind('_', at - 1)) {
    names.emplace_back(stem.substr(0, at));
  }
  return names;
}

bool is_train_of(std::string_view file_name, std::string_view line_name) {
  return file_name.size() >=
             line_name.size() + 1 + file_ending::kTrainSource.size() &&
         file_name.starts_with(line_name) &&
         file_name[line_name.size()] == '_' &&
         file_name.ends_with(file_ending::kTrainSource);
}

}  // namespace scenc::tools
