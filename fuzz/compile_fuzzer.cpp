// Feeds arbitrary line and train sources to the whole build: compile,
// finishing pass, codes and the three binary files.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string problem = scenc::fuzz::build_scenario(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "build: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
