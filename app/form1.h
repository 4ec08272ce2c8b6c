// The scenario program's host around the build run: the window it shows while
// it works and the error exit's message. One start builds the embedded
// scenario from start to end.
#pragma once

#include <string>

#include "app/platform.h"
#include "compiler/source_store.h"
#include "model/track_model.h"
#include "output/output_directory.h"
#include "scenario/build_run.h"

namespace scenc {

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

  // Runs the whole build and returns its exit status (`exit_status`). File
  // failures throw FileError.
  int Form_Load();
  // The error exit: shows " Errore n. " and `a`; the run ends after it.
  int errore(const std::string& a);

  Model& model;

 private:
  Platform& platform_;
  OutputDirectory& directory_;
  SourceStore& sources_;
};

}  // namespace scenc
