// The console layer: the build run shown on a terminal, for machines without
// a display.
#pragma once

#include <string>

#include "app/platform.h"

namespace scenc {

// Writes "Attendere" to standard error when that is a terminal, and the
// error exit's text to standard error; never waits for a key.
class ConsolePlatform final : public Platform {
 public:
  void show_waiting_window() override;
  void show_error_box(const std::string& text) override;
};

}  // namespace scenc
