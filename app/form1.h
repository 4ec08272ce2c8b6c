// The build run: one start of the scenario program builds its one embedded
// scenario from start to end.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/platform.h"
#include "compiler/source_store.h"
#include "model/track_model.h"
#include "output/output_directory.h"

namespace scenc {

// The identity of the one scenario this program carries.
inline constexpr std::string_view kEmbeddedLineName = "Firenze_Pisa";
inline constexpr std::string_view kEmbeddedTrainNumber = "11711";

// Exit statuses of a build run.
namespace exit_status {
inline constexpr int kClean = 0;
inline constexpr int kFaultRecorded = 1;  // files written all the same
inline constexpr int kErrorExit = 2;      // no binary file written
inline constexpr int kFileFailed = 3;
}  // namespace exit_status

class Form1 {
 public:
  // `directory` receives every file; `sources` gives the compiler the two
  // sources back (in the program, the files the emitters just wrote).
  Form1(Model& model, Platform& platform, OutputDirectory& directory,
        SourceStore& sources)
      : model(model),
        platform_(platform),
        directory_(directory),
        sources_(sources) {}

  // Runs the whole build and returns the exit status. File failures throw
  // FileError.
  int Form_Load();
  // The error exit: shows " Errore n. " and `a`; the run ends after it.
  int errore(const std::string& a);

  Model& model;

 private:
  Platform& platform_;
  OutputDirectory& directory_;
  SourceStore& sources_;
};

// The text the error exit shows for the number `a`.
std::string error_exit_text(const std::string& a);

}  // namespace scenc
