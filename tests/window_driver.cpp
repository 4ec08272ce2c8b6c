// Drives the platform layer the way the build run does, for the desktop
// tests: it shows the waiting window, says "shown" on standard output, holds
// the window up without handling any window event (as the build's work
// does) until a line or the end of standard input arrives, and then takes
// the build run's error exit with the number given as its argument (1250
// when none is given). Its exit status is the error exit's.
#include <cstdio>
#include <iostream>
#include <string>

#include "app/form1.h"
#include "app/make_platform.h"

int main(int argc, char** argv) {
  using namespace scenc;
  const std::string number = argc > 1 ? argv[1] : "1250";
  // The module lies in bin/, beside the programs.
  const auto platform = make_platform(SCENARIO_BIN_DIR);
  Model model;
  MemoryDirectory directory;
  MemorySources sources;
  Form1 form(model, *platform, directory, sources);

  platform->show_waiting_window();
  std::fputs("shown\n", stdout);
  std::fflush(stdout);
  std::string line;
  std::getline(std::cin, line);
  return form.errore(number);
}
