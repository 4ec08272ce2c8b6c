# Writes the page INPUT as a C++ header OUTPUT holding it as one raw string,
# kPlotViewPage, so that scenarioc carries the page without a file beside it.
file(READ "${INPUT}" page)
string(FIND "${page}" ")plotview\"" clash)
if(NOT clash EQUAL -1)
  message(FATAL_ERROR "${INPUT} holds the raw string's closing delimiter")
endif()
file(WRITE "${OUTPUT}.new"
  "// Generated from tools/plot/view.html by tools/plot/embed_page.cmake.\n"
  "#pragma once\n#include <string_view>\n"
  "namespace scenc::tools {\n"
  "inline constexpr std::string_view kPlotViewPage = R\"plotview(${page})plotview\";\n"
  "}  // namespace scenc::tools\n")
file(RENAME "${OUTPUT}.new" "${OUTPUT}")
