// Feeds arbitrary bytes to the field reader of both sources.
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_entries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string problem = scenc::fuzz::read_fields(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "field reader: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
