#include "model/track_model.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <new>

namespace scenc {

namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
// Arrays from this size on take whole huge pages: one fault and one clear
// per 2 MiB instead of one per 4 KiB, for at most one page of slack.
constexpr std::size_t kLargeArray = std::size_t{1} << 20;

std::size_t in_huge_pages(std::size_t bytes) {
  return (bytes + kHugePage - 1) / kHugePage * kHugePage;
}

}  // namespace

void* LineProfile::allocate_profile_memory(std::size_t bytes) {
  if (bytes < kLargeArray) return ::operator new(bytes);
  const std::size_t size = in_huge_pages(bytes);
  // Map one huge page more than needed and cut it down to an aligned run.
  void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  const auto first = reinterpret_cast<std::uintptr_t>(raw);
  const std::uintptr_t start = (first + kHugePage - 1) / kHugePage * kHugePage;
  if (start > first) ::munmap(raw, start - first);
  const std::size_t tail = first + kHugePage - start;
  if (tail > 0) ::munmap(reinterpret_cast<void*>(start + size), tail);
  auto* memory = reinterpret_cast<void*>(start);
#ifdef MADV_HUGEPAGE
  ::madvise(memory, size, MADV_HUGEPAGE);
#endif
  return memory;
}

void LineProfile::release_profile_memory(void* p, std::size_t bytes) {
  if (bytes < kLargeArray) {
    ::operator delete(p);
  } else {
    ::munmap(p, in_huge_pages(bytes));
  }
}

void LineProfile::allocate(std::int64_t last_metre) {
  // The size is recorded only once both arrays exist: an allocation that
  // fails leaves no profile, never one whose metres have no storage.
  metres_ = 0;
  const auto size = static_cast<std::size_t>(2 * (last_metre + 1));
  values_.clear();
  values_.resize(size);
  tags_.assign(size, static_cast<std::uint8_t>(Tag::kEmpty));
  metres_ = last_metre + 1;
}

void LineProfile::release() {
  metres_ = 0;
  values_.clear();
  values_.shrink_to_fit();
  tags_.clear();
  tags_.shrink_to_fit();
}

LineProfile::DoubleRun LineProfile::double_run(std::int64_t from,
                                               std::int64_t to) {
  const auto count = static_cast<std::size_t>(to - from + 1);
  for (int coordinate = 0; coordinate < 2; ++coordinate) {
    std::fill_n(tags_.begin() + static_cast<std::ptrdiff_t>(index(coordinate, from)),
                count, static_cast<std::uint8_t>(Tag::kDouble));
  }
  return {values_.data() + index(0, from), values_.data() + index(1, from)};
}

void Model::record_fault(const FaultRecord& fault) {
  error_code = fault.code;
  if (fault.position) error_position = *fault.position;
  fault_log.push_back(fault);
}

const CellPlacement* Model::placement_of(std::int32_t cell) const {
  const auto it =
      std::find_if(row_of_cell.rbegin(), row_of_cell.rend(),
                   [cell](const CellPlacement& p) { return p.cell == cell; });
  return it == row_of_cell.rend() ? nullptr : &*it;
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
    line_profile.allocate(last_metre_for_length(length));
  }
}

}  // namespace scenc
