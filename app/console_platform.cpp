#include "app/console_platform.h"

#include <unistd.h>

#include <cstdio>

namespace scenc {

void ConsolePlatform::show_waiting_window() {
  if (isatty(STDERR_FILENO)) std::fputs("Attendere\n", stderr);
}

void ConsolePlatform::show_error_box(const std::string& text) {
  std::fprintf(stderr, "%s\n", text.c_str());
}

}  // namespace scenc
