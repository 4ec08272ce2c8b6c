// The scenario program: builds its one embedded scenario into the directory
// of its own executable. It takes no arguments but --version.
#include <cstdio>
#include <exception>
#include <new>
#include <string_view>

#include "app/form1.h"
#include "app/make_platform.h"
#include "app/run_lock.h"
#include "build_version.h"
#include "output/file_system.h"
#include "output/temporary_files.h"

namespace {

// The two sources exist only while a run compiles them. A run that ends
// before the compile let go of them (a document that cannot be written, no
// memory left) removes them on its way out, while it still holds its turn.
class SourcesLeftBehind {
 public:
  SourcesLeftBehind(scenc::DiskSources& sources, const scenc::Model& model,
                    const scenc::RunLock& lock)
      : sources_(sources), model_(model), lock_(lock) {}
  ~SourcesLeftBehind() {
    if (!lock_.held() || model_.line_name.empty()) return;
    try {
      sources_.remove(scenc::SourceKind::kLine);
      sources_.remove(scenc::SourceKind::kTrain);
    } catch (...) {
    }
  }

 private:
  scenc::DiskSources& sources_;
  const scenc::Model& model_;
  const scenc::RunLock& lock_;
};

}  // namespace

int main(int argc, char** argv) {
  using namespace scenc;
  if (argc > 1 && std::string_view(argv[1]) == "--version") {
    std::printf("scenario %s\n", kBuildVersion);
    return 0;
  }
  handle_file_signals();
  try {
    const auto dir = program_directory();
    RunLock lock(dir);
    const auto platform = make_platform(dir);
    TakingTurns turns(*platform, lock);
    Model model;
    DiskDirectory directory(dir);
    DiskSources sources(dir, model);
    const SourcesLeftBehind cleanup(sources, model, lock);
    Form1 form(model, turns, directory, sources);
    return form.Form_Load();
  } catch (const FileError& e) {
    std::fprintf(stderr, "%s: %s\n", e.file.c_str(), e.reason.c_str());
  } catch (const std::bad_alloc&) {
    // Out of memory is no fault of the sources: the run ends before any
    // binary file is replaced.
    std::fputs("scenario: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "scenario: %s\n", e.what());
  }
  return exit_status::kFileFailed;
}
