// The scenario program: builds its one embedded scenario into the directory
// of its own executable. It takes no arguments but --version and --help.
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
#include "scenario/heap_pages.h"
#include "scenario/lack_of_memory.h"

namespace {

constexpr const char* kHelp =
    "Usage: scenario [--help | --version]\n"
    "\n"
    "Builds the scenario this program carries (the line Firenze_Pisa and the\n"
    "train 11711) into the directory of the program itself, whatever the\n"
    "working directory: the two sources, compiled and removed again, three\n"
    "documents for the driver, and the three binary files the simulator\n"
    "loads. It takes no other argument and asks nothing.\n"
    "\n"
    "Exit status: 0 clean build; 1 a fault recorded, the files written all\n"
    "the same; 2 error exit, no binary file written; 3 a file could not be\n"
    "read or written, or memory ran out; 64 an argument it does not take.\n"
    "\n"
    "  -h, --help   print this text and exit, writing nothing\n"
    "  --version    print the version and the commit built from, and exit\n"
    "\n"
    "See scenario(1), and scenarioc(1) for compiling scenarios of your own.\n";

// What a run fills of the heap: the model, the sources read back and the
// writer's buffers, some hundred kilobytes. In one huge page they cost one
// fault instead of about a hundred, and the writer's buffers can be large.
constexpr std::size_t kRunHeap = std::size_t{1} << 20;

// The two sources exist only while a run compiles them. From the moment the
// run holds its turn, an interrupt, a termination or a hang-up removes them
// with the run; a run that ends otherwise before the compile let go of them
// (a document that cannot be written, no memory left) removes them on its
// way out, while it still holds its turn.
class OwnSources {
 public:
  explicit OwnSources(scenc::DiskSources& sources) : sources_(sources) {}
  ~OwnSources() {
    if (!held_) return;
    try {
      sources_.remove(scenc::SourceKind::kLine);
      sources_.remove(scenc::SourceKind::kTrain);
    } catch (...) {
    }
    scenc::forget_own_files();
  }
  // The run holds its turn.
  void note() {
    scenc::note_own_files(sources_.path_of(scenc::SourceKind::kLine),
                          sources_.path_of(scenc::SourceKind::kTrain));
    held_ = true;
  }

 private:
  scenc::DiskSources& sources_;
  bool held_ = false;
};

// Answers --version and --help; anything else on the command line is
// refused before a file is touched. Returns the status to end with, or -1
// to run the build.
int answer_arguments(int argc, char** argv) {
  using namespace scenc;
  if (argc == 1) return -1;
  const std::string_view argument = argv[1];
  if (argc == 2 && argument == "--version") {
    std::printf("scenario %s\n", kBuildVersion);
    return exit_status::kClean;
  }
  if (argc == 2 && (argument == "--help" || argument == "-h")) {
    std::fputs(kHelp, stdout);
    return exit_status::kClean;
  }
  // The argument refused: the first, or the one after --help or --version.
  const bool answered =
      argument == "--version" || argument == "--help" || argument == "-h";
  std::fprintf(stderr,
               "scenario: unknown argument '%s' (it takes only --help or "
               "--version); nothing was written\n",
               answered ? argv[2] : argv[1]);
  return exit_status::kUsageError;
}

}  // namespace

const char scenc::kOutOfMemoryLine[] = "scenario: out of memory\n";

int main(int argc, char** argv) {
  using namespace scenc;
  if (const int status = answer_arguments(argc, argv); status >= 0) {
    return status;
  }
  const bool huge_pages = heap_in_huge_pages(kRunHeap);
  handle_file_signals();
  if (!throw_on_lack_of_memory()) {
    std::fputs(kOutOfMemoryLine, stderr);
    return exit_status::kFileFailed;
  }
  try {
    const auto dir = program_directory();
    RunLock lock(dir);
    Model model;
    DiskSources sources(dir, model);
    OwnSources own_sources(sources);
    const auto platform = make_platform(dir);
    TakingTurns turns(*platform, lock, [&] { own_sources.note(); });
    DiskDirectory directory(dir, BufferPool::size_for(huge_pages));
    Form1 form(model, turns, directory, sources);
    return form.Form_Load();
  } catch (const FileError& e) {
    std::fprintf(stderr, "%s: %s\n", e.file.c_str(), e.reason.c_str());
  } catch (const std::bad_alloc&) {
    // Out of memory is no fault of the sources: the run ends before any
    // binary file is replaced.
    std::fputs(kOutOfMemoryLine, stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "scenario: %s\n", e.what());
  }
  return exit_status::kFileFailed;
}
