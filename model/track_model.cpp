#include "model/track_model.h"

#include <algorithm>

namespace scenc {

void LineProfile::allocate(std::int64_t last_metre) {
  metres_ = last_metre + 1;
  const auto size = static_cast<std::size_t>(2 * metres_);
  values_.clear();
  values_.resize(size);
  tags_.assign(size, static_cast<std::uint8_t>(Tag::kEmpty));
}

void LineProfile::release() {
  metres_ = 0;
  values_.clear();
  values_.shrink_to_fit();
  tags_.clear();
  tags_.shrink_to_fit();
}

void Model::record_fault(std::int32_t code,
                         std::optional<std::int32_t> position,
                         SourcePlace place) {
  error_code = code;
  if (position) error_position = *position;
  fault_log.push_back(FaultRecord{code, position, place});
}

SourcePlace Model::place_of_cell(std::int32_t cell) const {
  const auto it = std::find_if(row_of_cell.rbegin(), row_of_cell.rend(),
                               [cell](const auto& e) { return e.first == cell; });
  return it == row_of_cell.rend() ? SourcePlace{} : it->second;
}

void Model::clear_for_build(std::int32_t j) {
  write_line_file = j;
  error_code = 0;
  for (auto& slot : scenario_slots) slot = ScenarioSlot{};
}

void Model::allocate_for_length(std::int32_t length) {
  const std::int64_t n = last_cell_for_length(length);
  track_cells.assign(static_cast<std::size_t>(n + 1), TrackCell{});
  if (write_line_file != 0) {
    line_profile.allocate(static_cast<std::int64_t>(length) + 7000);
  }
}

}  // namespace scenc
