// Feeds arbitrary bytes to the decompile as a scenario's three files.
#include <cstdio>
#include <cstdlib>

#include "fuzz/decompile_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string problem = scenc::fuzz::decompile_bytes(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "decompile: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
