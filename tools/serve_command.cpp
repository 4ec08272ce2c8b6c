// The serve subcommand: the plot's HTML view of two sources, or of a
// directory of compiled files, served on 127.0.0.1 and compiled again each
// time a file changes on disk.
#include <iostream>
#include <memory>
#include <vector>

#include "tools/commands.h"
#include "tools/live/live_view.h"

namespace scenc::tools {

void register_serve_command(CLI::App& app, int& status) {
  auto request = std::make_shared<ServeRequest>();
  auto inputs = std::make_shared<std::vector<std::filesystem::path>>();
  CLI::App* serve = app.add_subcommand(
      "serve",
      "Serve the zoomable view of plot --html on 127.0.0.1 and show each "
      "new compile in every open page as soon as a source is saved, the zoom "
      "and the place in view kept");
  serve
      ->add_option("INPUT", *inputs,
                   "LINE_SOURCE TRAIN_SOURCE, compiled in memory as plot "
                   "compiles them (nothing is written); or a directory "
                   "holding one scenario's files, or the beginning of their "
                   "names, read again when they change")
      ->required()
      ->expected(1, 2);
  serve
      ->add_option("--port", request->port,
                   "the port to listen on (default: one the system chooses)")
      ->check(CLI::Range(1, 65535))
      ->option_text("PORT");
  serve->add_flag("--open", request->open,
                  "start the browser set in BROWSER (else xdg-open where a "
                  "display is named) on the page");
  serve->footer(
      "Examples:\n"
      "  scenarioc serve mine/Firenze_Pisa_linea.txt "
      "mine/Firenze_Pisa_11711-.txt --open\n"
      "  scenarioc serve out/ --port 8017\n"
      "The URL is printed on standard output; Ctrl-C ends the server.\n"
      "Exit status: 0 when ended by Ctrl-C (or a termination or hang-up); "
      "3 a source or file cannot be read at the start, or the port cannot "
      "be listened on; 64 usage error.\n");
  serve->callback([request, inputs, &status] {
    request->scenario = inputs->front();
    request->train_source =
        inputs->size() == 2 ? inputs->back() : std::filesystem::path{};
    status = serve_live_view(*request, std::cout, std::cerr);
  });
}

}  // namespace scenc::tools
