// Feeds arbitrary bytes to the language server as a client's messages.
#include <cstdio>
#include <cstdlib>

#include "fuzz/lsp_entry.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data,
                                      std::size_t size) {
  const std::string problem = scenc::fuzz::serve_bytes(data, size);
  if (!problem.empty()) {
    std::fprintf(stderr, "lsp: %s\n", problem.c_str());
    std::abort();
  }
  return 0;
}
