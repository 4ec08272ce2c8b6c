// The scenario program: builds its one embedded scenario into the directory
// of its own executable. It takes no arguments but --version.
#include <cstdio>
#include <string_view>

#include "app/form1.h"
#include "app/make_platform.h"
#include "build_version.h"
#include "output/file_system.h"

int main(int argc, char** argv) {
  using namespace scenc;
  if (argc > 1 && std::string_view(argv[1]) == "--version") {
    std::printf("scenario %s\n", kBuildVersion);
    return 0;
  }
  try {
    const auto dir = program_directory();
    const auto platform = make_platform();
    Model model;
    DiskDirectory directory(dir);
    DiskSources sources(dir, model);
    Form1 form(model, *platform, directory, sources);
    return form.Form_Load();
  } catch (const FileError& e) {
    std::fprintf(stderr, "%s: %s\n", e.file.c_str(), e.reason.c_str());
    return exit_status::kFileFailed;
  }
}
