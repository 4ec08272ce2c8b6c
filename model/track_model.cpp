#include "model/track_model.h"

#include <sys/mman.h>

#include <algorithm>
#include <bit>
#include <cmath>
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

void* LineProfile::allocate_large(std::size_t bytes) {
  if (bytes < kLargeArray) return ::operator new(bytes);
  const std::size_t size = in_huge_pages(bytes);
  // Map one huge page more than needed and cut it down to an aligned run.
  void* raw = ::mmap(nullptr, size + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) {
    // As operator new does: the program's handler for a lack of memory
    // first, which may end the program without throwing.
    if (const std::new_handler handler = std::get_new_handler()) handler();
    throw std::bad_alloc();
  }
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

void LineProfile::release_large(void* p, std::size_t bytes) {
  if (bytes < kLargeArray) {
    ::operator delete(p);
  } else {
    ::munmap(p, in_huge_pages(bytes));
  }
}

void LineProfile::allocate(std::int64_t last_metre) {
  // The size is recorded only once both arrays exist: an allocation that
  // fails leaves no profile, never one whose metres have no storage.
  release();
  const auto size = static_cast<std::size_t>(2 * (last_metre + 1));
  values_.resize(size);
  tags_.assign(size, static_cast<std::uint8_t>(Tag::kEmpty));
  metres_ = last_metre + 1;
}

void LineProfile::allocate_drawn(std::int64_t last_metre) {
  release();
  metres_ = last_metre + 1;
}

void LineProfile::release() {
  metres_ = 0;
  for (auto& tags : start_tags_) tags[0] = tags[1] = Tag::kEmpty;
  for (auto& values : start_values_) values[0] = values[1] = 0.0;
  runs_.clear();
  runs_.shrink_to_fit();
  drawn_end_ = 2;
  values_.clear();
  values_.shrink_to_fit();
  tags_.clear();
  tags_.shrink_to_fit();
}

LineProfile::Tag LineProfile::tag(int coordinate, std::int64_t metre) const {
  if (!is_drawn()) return static_cast<Tag>(tags_[index(coordinate, metre)]);
  if (metre < 2) return start_tags_[coordinate][metre];
  return metre < drawn_end_ ? Tag::kDouble : Tag::kEmpty;
}

double LineProfile::value(int coordinate, std::int64_t metre) const {
  if (!is_drawn()) {
    const std::size_t i = index(coordinate, metre);
    return tags_[i] == static_cast<std::uint8_t>(Tag::kEmpty) ? 0.0
                                                              : values_[i];
  }
  if (metre < 2) return start_values_[coordinate][metre];
  if (metre >= drawn_end_) return 0.0;
  LinePen pen = pen_at_start();
  std::int64_t next = 2;
  for (const Run& run : runs_) {
    const std::int64_t count = std::min(run.last, metre) - next + 1;
    pen.draw(count, run.turn, [](double, double) {});
    next += count;
    if (next > metre) break;
  }
  return coordinate == 0 ? pen.x1 : pen.y1;
}

namespace {

// A finite double as an odd integer times a power of two (0 for a zero).
struct OddTimesPower {
  std::int64_t odd = 0;
  int power = 0;
};

bool split(double v, OddTimesPower& out) {
  const auto bits = std::bit_cast<std::uint64_t>(v);
  const auto field = static_cast<int>((bits >> 52) & 0x7FF);
  if (field == 0x7FF) return false;  // infinite, or not a number
  std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
  int power = -1074;  // a subnormal's
  if (field != 0) {
    m |= std::uint64_t{1} << 52;
    power = field - 1075;
  }
  if (m == 0) {
    out = {};
    return true;
  }
  const int zeros = std::countr_zero(m);
  m >>= zeros;
  const auto odd = static_cast<std::int64_t>(m);
  out = {(bits >> 63) != 0 ? -odd : odd, power + zeros};
  return true;
}

}  // namespace

bool LinePen::straight_is_exact(double before, double last, int metres) {
  if (metres < 1 || metres > 64) return false;
  // Counted in units of the smallest power of two that both points are
  // multiples of, every point of the run is an integer: last + k * step.
  // Each is a double, and each sum and difference of the chain exact, as
  // long as the integers stay below 2^53; the points being in a line, the
  // largest are at its ends.
  OddTimesPower a;
  OddTimesPower b;
  if (!split(before, a) || !split(last, b)) return false;
  if (a.odd == 0 && b.odd == 0) return false;  // no step
  const int unit = a.odd == 0   ? b.power
                   : b.odd == 0 ? a.power
                                : std::min(a.power, b.power);
  // Far beyond any line, a unit this large would let the run overflow.
  if (unit > 900) return false;
  constexpr std::int64_t kGrid = std::int64_t{1} << 53;
  const auto in_units = [unit](const OddTimesPower& v, std::int64_t& out) {
    const int shift = v.power - unit;
    const auto size = static_cast<std::uint64_t>(v.odd < 0 ? -v.odd : v.odd);
    if (v.odd != 0 && std::bit_width(size) + shift > 53) return false;
    out = v.odd * (std::int64_t{1} << (v.odd != 0 ? shift : 0));
    return true;
  };
  std::int64_t from = 0;
  std::int64_t to = 0;
  if (!in_units(a, from) || !in_units(b, to)) return false;
  const std::int64_t step = to - from;  // below 2^54: no overflow
  if (step == 0) return false;
  const std::int64_t run = step * metres;  // below 2^60
  const std::int64_t end = to + run;
  return run > -kGrid && run < kGrid && end > -kGrid && end < kGrid;
}

bool LinePen::stands_still(double before, double last) {
  // A zero step takes the chain's turning sums, which on a straight run
  // add zeros: a positive zero to the coordinate standing still (which
  // keeps every value but a negative zero), and zero products to the
  // other's non-zero step (which keep it).
  return std::bit_cast<std::uint64_t>(before) ==
             std::bit_cast<std::uint64_t>(last) &&
         std::isfinite(last) && !(last == 0.0 && std::signbit(last));
}

LinePen LineProfile::pen_at_start() const {
  return LinePen{start_values_[0][0], start_values_[0][1], start_values_[1][0],
                 start_values_[1][1]};
}

void LineProfile::set_drawn(int coordinate, std::int64_t metre, double v,
                            Tag t) {
  if (metre < 2) {
    start_tags_[coordinate][metre] = t;
    start_values_[coordinate][metre] = v;
    return;
  }
  store_every_metre();
  const std::size_t i = index(coordinate, metre);
  values_[i] = v;
  tags_[i] = static_cast<std::uint8_t>(t);
}

void LineProfile::store_every_metre() {
  LineProfile stored;
  stored.allocate(metres_ - 1);
  for (int c = 0; c < 2; ++c) {
    for (std::int64_t m = 0; m < std::min<std::int64_t>(2, metres_); ++m) {
      const std::size_t i = stored.index(c, m);
      stored.values_[i] = start_values_[c][m];
      stored.tags_[i] = static_cast<std::uint8_t>(start_tags_[c][m]);
    }
  }
  LinePen pen = pen_at_start();
  std::int64_t next = 2;
  for (const Run& run : runs_) {
    pen.draw(run.last - next + 1, run.turn, [&](double x, double y) {
      stored.set(0, next, x, Tag::kDouble);
      stored.set(1, next, y, Tag::kDouble);
      ++next;
    });
  }
  stored.drawn_end_ = drawn_end_;
  *this = std::move(stored);
}

LineProfile::Mark LineProfile::mark() const {
  return Mark{runs_.size(), runs_.empty() ? 0 : runs_.back().last,
              drawn_end_};
}

void LineProfile::rewind(const Mark& m) {
  if (!is_drawn()) return;
  runs_.resize(m.runs);
  if (!runs_.empty()) runs_.back().last = m.last;
  drawn_end_ = m.drawn_end;
}

void LineProfile::draw(std::int64_t to, double turn) {
  if (to < drawn_end_) return;
  if (!is_drawn()) {
    // Stored metre by metre: the pen starts from the two metres before.
    LinePen pen{value(0, drawn_end_ - 2), value(0, drawn_end_ - 1),
                value(1, drawn_end_ - 2), value(1, drawn_end_ - 1)};
    std::int64_t next = drawn_end_;
    pen.draw(to - drawn_end_ + 1, turn, [&](double x, double y) {
      set_double(0, next, x);
      set_double(1, next, y);
      ++next;
    });
  } else if (!runs_.empty() && runs_.back().turn == turn &&
             std::signbit(runs_.back().turn) == std::signbit(turn)) {
    // Drawing on with the same turn is one run.
    runs_.back().last = to;
  } else {
    runs_.push_back(Run{to, turn});
  }
  drawn_end_ = to + 1;
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
    line_profile.allocate_drawn(last_metre_for_length(length));
  }
}

}  // namespace scenc
