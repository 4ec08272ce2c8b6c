// An author's two sources compiled in memory for the plot: the compile the
// scenario program runs, with its three files encoded but written nowhere
// and decoded again, so that the picture shows what the simulator would
// load, and every fault and warning of the check beside it.
#pragma once

#include <filesystem>
#include <vector>

#include "tools/plot/scene.h"
#include "tools/decode/scenario_set.h"

namespace scenc::tools {

struct CompiledSources {
  // Its paths name the files a compile beside the line source would write.
  ScenarioSet scenario;
  SourceFindings findings;
};

// Reads and compiles both sources; throws ToolError when one cannot be
// read. A build that ends at its error exit is still drawn as far as it
// got, with the error exit among the diagnostics.
CompiledSources compile_sources(const std::filesystem::path& line_source,
                                const std::filesystem::path& train_source);

}  // namespace scenc::tools
