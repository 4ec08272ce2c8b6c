// Random pairs of sources (a line source and a train source), the same for
// the same seed on every machine, for checking the whole build against what
// must hold for any input. Three families, chosen by the seed:
//
// - targeted: a small clean scenario plus the rows that raise one fault
//   number; the seeds 0, 2, 4, ... walk through every fault in turn (and a
//   clean build), so any run of 2 x kTargetCount seeds reaches them all;
// - mutated: the embedded sources (now and then the maximal generated
//   scenario) with rows dropped, duplicated, swapped, moved, keywords in
//   another case, comments inserted, and numbers turned into ties (odd
//   multiples of 25), 0, negatives, huge values, neighbours and the limits
//   of the 8-, 16- and 32-bit fields, fields dropped or added and
//   separators changed;
// - built: sources written from the grammar, with lines from a few hundred
//   metres up to 1,000,000 m, objects crowded near both ends of the grid,
//   many signboards and stations near the limits of the slots, positions on
//   the ties of every rounding rule, and now and then the rows of a fault.
//
// Targeted and built pairs also come written a second way: other keyword
// case where the compile ignores it, other separators between fields. Both
// ways must compile to the same bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace scenc::bench {

struct SourcePair {
  std::uint64_t seed = 0;
  std::string how;  // one line saying how the pair was made
  std::string line_name = "Firenze_Pisa";
  std::string train_number = "11711";
  std::int32_t write_line_file = 1;
  // The fault number a targeted pair is made to raise (0: none); -1 for the
  // other pairs.
  std::int32_t aimed_fault = -1;
  bool line_missing = false;  // the build finds no line source at all
  // Both with CR LF line ends, as the emitters write them.
  std::string line;
  std::string train;
  // The same rows written another way; empty for mutated pairs, whose rows
  // are no longer whole.
  std::string line_restyled;
  std::string train_restyled;

  bool restyled() const { return !line_restyled.empty(); }
};

// The fault numbers the targeted pairs aim at, in the order the seeds walk
// through them; 0 is a clean build.
const std::vector<std::int32_t>& targeted_faults();

SourcePair random_source_pair(std::uint64_t seed);

// The seeds a test walks: RANDOM_SOURCES_COUNT of them (`fallback` when it
// is not set) from RANDOM_SOURCES_SEED on (0 when it is not set), so that a
// longer run is one setting away.
struct SeedRange {
  std::uint64_t first = 0;
  std::uint64_t count = 0;
};
SeedRange seeds_from_environment(std::uint64_t fallback);

enum class LineEnd { kCrLf, kLf, kCr };
// `text` (CR LF line ends) with every line end written as `end`.
std::string with_line_ends(std::string_view text, LineEnd end);

// The file names the scenario program gives the two sources of a pair.
std::string line_source_name(const SourcePair& pair);
std::string train_source_name(const SourcePair& pair);

// Writes the pair's sources into `dir` under those names (no line source
// when the pair has none), the rows written the other way into
// `dir`/restyled, and a note saying how the pair was made (how.txt).
// Returns false when a file cannot be written.
bool write_source_pair(const SourcePair& pair,
                       const std::filesystem::path& dir);

}  // namespace scenc::bench
