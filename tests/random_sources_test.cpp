// Random source pairs through the whole build (clear, compile, finishing
// pass, codes, the three files), checked against what must hold for any
// input: the files' sizes and layouts follow from the line length and the
// slot names, the stamps and codes follow from the names, every fault is a
// known one and the last one is the one kept, and the build gives the same
// bytes in memory, from sources on disk as the scenario program runs it, and
// through `scenarioc compile`, with any line ends and any way of writing the
// same rows.
//
// RANDOM_SOURCES_COUNT and RANDOM_SOURCES_SEED set how many seeds a run
// checks and the first one, for longer runs by hand. A pair that fails is
// written under the test's output directory (random_sources_failures/).
#include "testing/random_sources.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "child_process.h"
#include "fuzz/fuzz_entries.h"
#include "output/file_system.h"
#include "output/scenario_files.h"
#include "scenario/build_run.h"

namespace scenc {
namespace {

namespace fs = std::filesystem;
using bench::LineEnd;
using bench::SourcePair;

// Under the sanitizers every build costs several times more, and the suite
// runs twice in CI: about a minute for both runs together. The normal run
// walks through every targeted fault (two seeds a fault).
#ifdef SCENARIO_SANITIZED
constexpr std::uint64_t kDefaultCount = 40;
#else
constexpr std::uint64_t kDefaultCount = 160;
#endif

std::uint64_t seed_count() {
  return bench::seeds_from_environment(kDefaultCount).count;
}
std::uint64_t first_seed() {
  return bench::seeds_from_environment(kDefaultCount).first;
}

// What a build leaves that another build of the same pair must match.
struct Outcome {
  std::int32_t error_code = 0;
  std::int32_t error_position = 0;
  std::int32_t error_exit = 0;
  std::map<std::string, std::string> files;
};

// Names the first difference between two outcomes; empty when they agree.
std::string difference(const Outcome& a, const Outcome& b) {
  std::ostringstream out;
  if (a.error_code != b.error_code) {
    out << "error_code " << a.error_code << " against " << b.error_code << "; ";
  }
  if (a.error_position != b.error_position) {
    out << "error_position " << a.error_position << " against "
        << b.error_position << "; ";
  }
  if (a.error_exit != b.error_exit) {
    out << "error exit " << a.error_exit << " against " << b.error_exit << "; ";
  }
  std::set<std::string> names;
  for (const auto& [name, bytes] : a.files) names.insert(name);
  for (const auto& [name, bytes] : b.files) names.insert(name);
  for (const std::string& name : names) {
    const auto x = a.files.find(name);
    const auto y = b.files.find(name);
    if (x == a.files.end() || y == b.files.end()) {
      out << name << " written by one build only; ";
      continue;
    }
    if (x->second == y->second) continue;
    std::size_t at = 0;
    while (at < x->second.size() && at < y->second.size() &&
           x->second[at] == y->second[at])
      ++at;
    out << name << " differs from byte " << at << " (sizes " << x->second.size()
        << " and " << y->second.size() << "); ";
  }
  return out.str();
}

// ---- A build in memory and what must hold for it --------------------------

struct MemoryBuild {
  Model model;
  MemorySources sources;
  MemoryDirectory out;
  BuildOutcome outcome;

  Outcome result() const {
    return {model.error_code, model.error_position, outcome.error_exit,
            out.files};
  }
};

std::unique_ptr<MemoryBuild> build_in_memory(const SourcePair& p,
                                             const std::string& line,
                                             const std::string& train) {
  auto b = std::make_unique<MemoryBuild>();
  b->model.line_name = p.line_name;
  b->model.train_number = p.train_number;
  if (!p.line_missing) b->sources.line = line;
  b->sources.train = train;
  b->outcome =
      memorizza_percorso(b->model, p.write_line_file, b->sources, b->out);
  return b;
}

bool logged(const Model& m, std::initializer_list<std::int32_t> codes) {
  for (const FaultRecord& f : m.fault_log) {
    for (std::int32_t c : codes) {
      if (f.code == c) return true;
    }
  }
  return false;
}

// Faults that end the compile in the line stage without the general
// failure: the train source is then left as it was.
bool line_stage_ended(const Model& m) {
  return logged(m, {1, 3, 4, 5, 6, 21, 102, 103});
}

// The line stage reached its closing fills: no fault ended it.
bool line_stage_completed(const Model& m) {
  if (line_stage_ended(m)) return false;
  for (const FaultRecord& f : m.fault_log) {
    if (f.code == 25 && f.place.source == SourceKind::kLine) return false;
  }
  return true;
}

// Little-endian fields read from a file, every read checked.
class Bytes {
 public:
  explicit Bytes(const std::string& b) : b_(b) {}
  bool has(std::size_t n) const { return at_ + n <= b_.size(); }
  std::int64_t take(int size, bool is_signed) {
    std::uint64_t v = 0;
    for (int i = 0; i < size; ++i) {
      v |= std::uint64_t{static_cast<unsigned char>(
               b_[at_ + static_cast<std::size_t>(i)])}
           << (8 * i);
    }
    at_ += static_cast<std::size_t>(size);
    if (is_signed && size < 8 && (v >> (8 * size - 1)) != 0) {
      return static_cast<std::int64_t>(v) - (std::int64_t{1} << (8 * size));
    }
    return static_cast<std::int64_t>(v);
  }
  void skip(std::size_t n) { at_ += n; }
  std::string text(std::size_t n) {
    std::string s = b_.substr(at_, n);
    at_ += n;
    return s;
  }
  std::size_t at() const { return at_; }
  std::size_t size() const { return b_.size(); }

 private:
  const std::string& b_;
  std::size_t at_ = 0;
};

struct SlotView {
  std::int64_t kind = 0, num2 = 0, word1 = 0, num4 = 0;
  std::string name;
};

// Round to the nearest whole number, halves to even, for num / 50.
std::int64_t rounded_fiftieths(std::int64_t num) {
  std::int64_t q = num / 50;
  std::int64_t r = num % 50;
  if (r < 0) {
    r += 50;
    --q;
  }
  if (r > 25 || (r == 25 && q % 2 != 0)) ++q;
  return q;
}

// The two scenario codes of a pair of ASCII names.
std::pair<std::int64_t, std::int64_t> codes_of(
    const std::string& line_name, const std::string& train_number) {
  std::string s = train_number + line_name;
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  s += "ppqqrrssttuuvvzzwwxxyykkjj";
  std::int64_t plain = 0;
  std::int64_t weighted = 0;
  for (std::size_t i = 0; i < 25; ++i) {
    plain += static_cast<unsigned char>(s[i]);
    weighted +=
        static_cast<unsigned char>(s[i]) * static_cast<std::int64_t>(i + 1);
  }
  return {plain, weighted};
}

void check_files(const SourcePair& p, const MemoryBuild& b,
                 std::vector<std::string>& broken) {
  const Model& m = b.model;
  const std::string slot_name = p.line_name + "_" + p.train_number + ".sim";
  const std::string cell_name = p.line_name + "_" + p.train_number + ".dat";
  const std::string geometry_name = p.line_name + "_linea.dat";
  std::vector<std::string> expected_order;
  if (p.write_line_file != 0) expected_order.push_back(geometry_name);
  expected_order.push_back(slot_name);
  expected_order.push_back(cell_name);
  if (b.out.order != expected_order) {
    broken.push_back(
        "the files written are not the geometry (when built), slot and cell "
        "files");
    return;
  }

  // Slot file: 87 records of 34 bytes and the name.
  const std::string& slots = b.out.files.at(slot_name);
  Bytes s(slots);
  std::vector<SlotView> slot(kSlotCount);
  std::size_t names = 0;
  for (int i = 0; i < kSlotCount; ++i) {
    if (!s.has(16)) break;
    SlotView& v = slot[static_cast<std::size_t>(i)];
    v.kind = s.take(1, false);
    s.skip(4);
    v.num2 = s.take(4, true);
    s.skip(5);
    const auto n = static_cast<std::size_t>(s.take(2, false));
    if (!s.has(n + 18)) break;
    v.name = s.text(n);
    names += n;
    v.word1 = s.take(2, true);
    s.skip(12);  // word2 to word5, byte1 to byte4
    v.num4 = s.take(4, true);
  }
  if (slots.size() != 2958 + names || s.at() != s.size()) {
    broken.push_back("slot file of " + std::to_string(slots.size()) +
                     " bytes, not 2958 + " + std::to_string(names) +
                     " bytes of names");
    return;
  }
  const auto [plain_code, weighted_code] =
      codes_of(p.line_name, p.train_number);
  if (slot[kLineSlot].name != p.line_name ||
      slot[kTrainSlot].name != p.train_number) {
    broken.push_back(
        "slots 85 and 86 do not carry the line name and the train number");
  }
  if (slot[kLineSlot].word1 != 610)
    broken.push_back("slot 85 word1 is not the stamp 610");
  if (slot[kLineSlot].num4 != weighted_code) {
    broken.push_back("slot 85 num4 " + std::to_string(slot[kLineSlot].num4) +
                     " is not the weighted code " +
                     std::to_string(weighted_code));
  }

  // Cell file: 15 bytes a cell, cells 0 to N with N from the line length
  // (unless a refused length row left its number in slot 84).
  const std::string& cells = b.out.files.at(cell_name);
  const std::int64_t length = slot[kConsistSlot].num2;
  const bool length_known = !logged(m, {1});
  if (cells.size() % 15 != 0 || cells.size() < 30 ||
      (length_known && static_cast<std::int64_t>(cells.size()) !=
                           15 * (rounded_fiftieths(length + 7000) + 1))) {
    broken.push_back("cell file of " + std::to_string(cells.size()) +
                     " bytes for a line of " + std::to_string(length) + " m");
    return;
  }
  Bytes c(cells);
  const std::set<std::int64_t> kinds = {0, 1,  2,  3,  4,  5,
                                        6, 10, 11, 12, 13, 14};
  for (std::size_t i = 0; c.has(15); ++i) {
    const std::int64_t kind = c.take(1, false);
    const std::int64_t value1 = c.take(2, true);
    const std::int64_t value2 = c.take(2, true);
    c.skip(10);
    const std::string where = "cell " + std::to_string(i);
    if (i == 1) {
      if (value1 != 5121)
        broken.push_back("cell 1 value1 is not the stamp 5121");
      if (value2 != plain_code) {
        broken.push_back("cell 1 value2 " + std::to_string(value2) +
                         " is not the plain code " +
                         std::to_string(plain_code));
      }
    }
    if (kinds.count(kind) == 0) {
      broken.push_back(where + " of unknown kind " + std::to_string(kind));
    } else if (kind == 5 && (value1 < 1 || value1 > 4)) {
      broken.push_back(where + ": slow-order approach numbered " +
                       std::to_string(value1));
    } else if (kind == 10 &&
               (value1 < 1 || value1 > 79 ||
                slot[static_cast<std::size_t>(value1)].kind >= 25)) {
      broken.push_back(where + ": station marker for slot " +
                       std::to_string(value1));
    } else if (kind == 14 &&
               (value1 > 80 || value1 < (logged(m, {25}) ? -1 : 0))) {
      broken.push_back(where + ": signboard text in slot " +
                       std::to_string(value1));
    }
  }

  if (p.write_line_file == 0) return;
  // Geometry file: both halves alike, each metre 0 and 1 as 16-bit
  // integers, then doubles, then empty metres; complete, it is
  // 20 L + 139964 bytes plus 16 for each of the last two metres a curve
  // reached.
  const std::string& geometry = b.out.files.at(geometry_name);
  Bytes g(geometry);
  std::vector<std::uint8_t> tags;
  std::map<std::size_t, std::int64_t> integers;  // element index: value
  while (g.has(2)) {
    const std::int64_t tag = g.take(2, false);
    const std::size_t payload = tag == 2 ? 2 : tag == 5 ? 8 : 0;
    if ((tag != 0 && tag != 2 && tag != 5) || !g.has(payload)) {
      broken.push_back("geometry file: bad element at byte " +
                       std::to_string(g.at() - 2));
      return;
    }
    if (tag == 2) integers[tags.size()] = g.take(2, true);
    g.skip(tag == 5 ? 8 : 0);
    tags.push_back(static_cast<std::uint8_t>(tag));
  }
  const std::size_t metres = tags.size() / 2;
  if (g.at() != g.size() || tags.size() % 2 != 0 ||
      (length_known && static_cast<std::int64_t>(metres) != length + 7001)) {
    broken.push_back("geometry file of " + std::to_string(tags.size()) +
                     " elements for a line of " + std::to_string(length) +
                     " m");
    return;
  }
  if (!std::equal(tags.begin(),
                  tags.begin() + static_cast<std::ptrdiff_t>(metres),
                  tags.begin() + static_cast<std::ptrdiff_t>(metres))) {
    broken.push_back(
        "geometry file: x and y halves hold different kinds of values");
    return;
  }
  std::size_t k = 0;
  const bool seeded = metres >= 2 && tags[0] == 2;
  if (seeded) {
    const std::map<std::size_t, std::int64_t> start{
        {0, 0}, {1, 0}, {metres, 0}, {metres + 1, 1}};
    if (integers != start) {
      broken.push_back(
          "geometry file: metres 0 and 1 are not (0, 0) and (0, 1)");
    }
    k = 2;
  }
  const std::size_t first_double = k;
  while (k < metres && tags[k] == 5) ++k;
  const std::size_t doubles = k - first_double;
  while (k < metres && tags[k] == 0) ++k;
  if (k != metres) {
    broken.push_back("geometry file: metre " + std::to_string(k) +
                     " out of order");
    return;
  }
  if (line_stage_completed(m)) {
    const std::int64_t drawn_end =
        static_cast<std::int64_t>(doubles) - (length + 6997);
    if (!seeded || drawn_end < 0 || drawn_end > 2 ||
        static_cast<std::int64_t>(geometry.size()) !=
            20 * length + 139964 + 16 * drawn_end) {
      broken.push_back("geometry file of " + std::to_string(geometry.size()) +
                       " bytes for a complete plan of a line of " +
                       std::to_string(length) + " m");
    }
  }
}

// What must hold for any build, whatever the sources.
std::vector<std::string> broken_invariants(const SourcePair& p,
                                           const MemoryBuild& b) {
  std::vector<std::string> broken;
  const Model& m = b.model;
  for (const FaultRecord& f : m.fault_log) {
    if (!fuzz::is_known_fault(f.code))
      broken.push_back("unknown fault " + std::to_string(f.code));
  }
  const std::int32_t last_code =
      m.fault_log.empty() ? 0 : m.fault_log.back().code;
  std::int32_t last_position = 0;
  for (const FaultRecord& f : m.fault_log) {
    if (f.position) last_position = *f.position;
  }
  if (m.error_code != last_code) {
    broken.push_back("error_code " + std::to_string(m.error_code) +
                     " is not the last fault " + std::to_string(last_code));
  }
  if (m.error_position != last_position) {
    broken.push_back("error_position " + std::to_string(m.error_position) +
                     " is not the last position recorded " +
                     std::to_string(last_position));
  }
  if (b.sources.line_removed == p.line_missing) {
    broken.push_back(p.line_missing ? "a missing line source was let go"
                                    : "the line source was not let go");
  }
  const bool train_kept = p.line_missing || line_stage_ended(m);
  if (b.sources.train_removed == train_kept) {
    broken.push_back(
        train_kept
            ? "the train source was let go though the compile never reached it"
            : "the train source was not let go");
  }
  const std::int32_t exit = b.outcome.error_exit;
  if (!m.has_track_cells()) {
    if (exit != (m.error_code != 0 ? m.error_code : 25) ||
        !b.out.files.empty()) {
      broken.push_back(
          "a build without track cells did not end at the error exit with its "
          "fault");
    }
    return broken;
  }
  // Every kind a build places has its row in the table the tools name it by.
  for (const TrackCell& c : m.track_cells) {
    if (cell_kind_info(c.kind) == nullptr) {
      broken.push_back("a cell of kind " + std::to_string(c.kind) +
                       ", which has no row in model/cell_kinds.def");
      break;
    }
  }
  if (exit != 0) {
    if (exit != 1250 && exit != 1251)
      broken.push_back("error exit " + std::to_string(exit));
    if (!b.out.files.empty()) broken.push_back("an error exit wrote files");
    return broken;
  }
  check_files(p, b, broken);
  return broken;
}

// ---- The same pair from disk, as the program and as scenarioc ------------

bool write_file(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  return static_cast<bool>(out);
}

std::string contents(const fs::path& path) {
  std::string bytes;
  read_whole_file(path, bytes, nullptr);
  return bytes;
}

std::set<std::string> listing(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator(dir))
    names.insert(e.path().filename().string());
  return names;
}

// The build as the scenario program runs it: the sources in a program
// directory, read from there and removed once compiled, the files written
// beside them.
Outcome build_on_disk(const SourcePair& p, std::vector<std::string>& broken) {
  testing::TemporaryDirectory dir("random_sources");
  Model model;
  model.line_name = p.line_name;
  model.train_number = p.train_number;
  const std::string line_name = bench::line_source_name(p);
  const std::string train_name = bench::train_source_name(p);
  if (!p.line_missing) write_file(dir.path() / line_name, p.line);
  write_file(dir.path() / train_name, p.train);
  DiskSources sources(dir.path(), model);
  DiskDirectory out(dir.path());
  const BuildOutcome outcome =
      memorizza_percorso(model, p.write_line_file, sources, out);
  Outcome result{
      model.error_code, model.error_position, outcome.error_exit, {}};
  std::set<std::string> expected(outcome.files_written.begin(),
                                 outcome.files_written.end());
  for (const std::string& name : outcome.files_written) {
    result.files[name] = contents(dir.path() / name);
  }
  if (p.line_missing || line_stage_ended(model)) expected.insert(train_name);
  if (listing(dir.path()) != expected) {
    broken.push_back(
        "the program directory does not hold just the files written and the "
        "sources the compile never reached");
  }
  return result;
}

// The build through `scenarioc compile`, run as a process on the same two
// files: it ends with the status the build's outcome gives, and the
// sources stay as they were.
Outcome build_with_scenarioc(const SourcePair& p, int expected_status,
                             std::vector<std::string>& broken) {
  testing::TemporaryDirectory dir("random_sources_scenarioc");
  const fs::path line = dir.path() / bench::line_source_name(p);
  const fs::path train = dir.path() / bench::train_source_name(p);
  const fs::path out = dir.path() / "out";
  write_file(line, p.line);
  write_file(train, p.train);
  std::vector<std::string> argv{std::string(SCENARIO_BIN_DIR) + "/scenarioc",
                                "compile",
                                line.string(),
                                train.string(),
                                "-o",
                                out.string(),
                                "--json"};
  if (p.write_line_file == 0) argv.push_back("--no-geometry");
  testing::ChildProcess child(argv, {.environment = {}});
  const std::optional<int> status =
      child.wait_for_exit(std::chrono::seconds(120));
  Outcome result;
  const std::string errors = child.stderr_text();
  if (errors.find("Sanitizer") != std::string::npos ||
      errors.find("runtime error") != std::string::npos) {
    broken.push_back("scenarioc reported: " + errors.substr(0, 2000));
    return result;
  }
  const auto report =
      nlohmann::json::parse(child.stdout_text(), nullptr, false);
  if (!status || report.is_discarded()) {
    broken.push_back(
        "scenarioc compile ended with status " +
        (status ? std::to_string(*status) : std::string("(killed)")) +
        " and no report: " + errors.substr(0, 2000));
    return result;
  }
  result.error_code = report["error_code"].get<std::int32_t>();
  result.error_position = report["error_position"].get<std::int32_t>();
  result.error_exit = report["error_exit"].is_null()
                          ? 0
                          : report["error_exit"].get<std::int32_t>();
  if (*status != expected_status) {
    broken.push_back("scenarioc compile ended with status " +
                     std::to_string(*status) + ", not " +
                     std::to_string(expected_status));
  }
  if (fs::exists(out)) {
    for (const std::string& name : listing(out))
      result.files[name] = contents(out / name);
  }
  if (contents(line) != p.line || contents(train) != p.train) {
    broken.push_back("scenarioc compile changed a source");
  }
  return result;
}

// ---- The tests ----------------------------------------------------------

// Reports a pair whose build broke something, with a way to get it back.
void report(const SourcePair& p, const std::vector<std::string>& broken) {
  if (broken.empty()) return;
  const fs::path dir = fs::path(SCENARIO_TEST_OUTPUT_DIR) /
                       "random_sources_failures" /
                       ("seed-" + std::to_string(p.seed));
  std::error_code ec;
  fs::remove_all(dir, ec);
  bench::write_source_pair(p, dir);
  std::string text;
  for (const std::string& b : broken) text += "\n  " + b;
  ADD_FAILURE() << "seed " << p.seed << " (" << p.how
                << (p.write_line_file == 0 ? ", no geometry" : "")
                << "):" << text << "\n  the sources are in " << dir.string()
                << "; the same pair again: random_sources --seed " << p.seed
                << " --out DIR";
}

std::set<std::int32_t> faults_raised(const MemoryBuild& b) {
  std::set<std::int32_t> raised;
  for (const FaultRecord& f : b.model.fault_log) raised.insert(f.code);
  if (b.outcome.error_exit != 0) raised.insert(b.outcome.error_exit);
  if (b.model.error_code == 0 && b.outcome.error_exit == 0) raised.insert(0);
  return raised;
}

TEST(RandomSources,
     BuildsKeepTheirInvariantsInMemoryOnDiskAndThroughScenarioc) {
  std::set<std::int32_t> raised;
  for (std::uint64_t seed = first_seed(); seed - first_seed() < seed_count();
       ++seed) {
    const SourcePair p = bench::random_source_pair(seed);
    const auto memory = build_in_memory(p, p.line, p.train);
    std::vector<std::string> broken = broken_invariants(p, *memory);
    const std::set<std::int32_t> here = faults_raised(*memory);
    raised.insert(here.begin(), here.end());
    if (p.aimed_fault >= 0 && here.count(p.aimed_fault) == 0) {
      broken.push_back("the pair was made to raise fault " +
                       std::to_string(p.aimed_fault) + " but did not");
    }
    const Outcome expected = memory->result();
    const std::string disk = difference(expected, build_on_disk(p, broken));
    if (!disk.empty())
      broken.push_back("from disk, as the program builds: " + disk);
    if (!p.line_missing) {
      const std::string tool = difference(
          expected,
          build_with_scenarioc(
              p, exit_status_of(memory->model, memory->outcome), broken));
      if (!tool.empty()) broken.push_back("through scenarioc compile: " + tool);
    }
    report(p, broken);
  }
  // Every fault number, a clean build and both stamp faults are reached
  // once the seeds have walked through all the targeted pairs.
  const auto& targeted = bench::targeted_faults();
  for (std::int32_t f = 0; f < 2000; ++f) {
    if (fuzz::is_known_fault(f)) {
      EXPECT_EQ(std::count(targeted.begin(), targeted.end(), f), 1)
          << "no pair is made to raise fault " << f;
    }
  }
  if (seed_count() >= 2 * targeted.size()) {
    for (std::int32_t f : targeted) {
      EXPECT_EQ(raised.count(f), 1u) << "no pair raised fault " << f;
    }
  }
}

TEST(RandomSources, LineEndsAndTheWayRowsAreWrittenDoNotChangeTheBuild) {
  for (std::uint64_t seed = first_seed(); seed - first_seed() < seed_count();
       ++seed) {
    const SourcePair p = bench::random_source_pair(seed);
    if (p.line_missing) continue;
    const Outcome expected = build_in_memory(p, p.line, p.train)->result();
    std::vector<std::string> broken;
    for (const auto& [end, name] :
         {std::pair{LineEnd::kLf, "LF"}, std::pair{LineEnd::kCr, "CR"}}) {
      const std::string d = difference(
          expected, build_in_memory(p, bench::with_line_ends(p.line, end),
                                    bench::with_line_ends(p.train, end))
                        ->result());
      if (!d.empty())
        broken.push_back(std::string("with ") + name + " line ends: " + d);
    }
    if (p.restyled()) {
      const std::string d = difference(
          expected,
          build_in_memory(p, p.line_restyled, p.train_restyled)->result());
      if (!d.empty()) {
        broken.push_back("written another way (the sources in restyled/): " +
                         d);
      }
    }
    report(p, broken);
  }
}

}  // namespace
}  // namespace scenc
