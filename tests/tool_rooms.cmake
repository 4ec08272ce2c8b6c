# Fails when a room of scenarioc reaches where its arrows do not point:
#   check    nothing else of tools/; no command line, no JSON library and no
#            file system outside the wording of its diagnostics
#   inspect  nothing else of tools/
#   plot     check and inspect
#   lsp      check and inspect
#   live     plot, check and inspect
#   decompile  inspect and layout
#   layout   nothing else of tools/
#   format   check and layout
#   lsp      also format and layout
# and no room reaches the subcommands at tools/'s top. What tests, bench and
# fuzz share (testing/) reaches no tool.
# Run as: cmake -DSOURCE_DIR=<checkout> -P tool_rooms.cmake
set(allowed_check "tools/check/")
set(allowed_inspect "tools/inspect/")
set(allowed_plot "tools/plot/|tools/check/|tools/inspect/")
set(allowed_lsp "tools/lsp/|tools/check/|tools/inspect/|tools/format/|tools/layout/")
set(allowed_live "tools/live/|tools/plot/|tools/check/|tools/inspect/")
set(allowed_decompile "tools/decompile/|tools/inspect/|tools/layout/")
set(allowed_layout "tools/layout/")
set(allowed_format "tools/format/|tools/check/|tools/layout/")
set(offenders "")
foreach(room check inspect plot lsp live decompile layout format)
  file(GLOB_RECURSE files ${SOURCE_DIR}/tools/${room}/*.h ${SOURCE_DIR}/tools/${room}/*.cpp
       ${SOURCE_DIR}/tools/${room}/*.def)
  foreach(file ${files})
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"tools/")
    foreach(line ${lines})
      if(NOT line MATCHES "\"(${allowed_${room}})")
        string(APPEND offenders "  ${name}: ${line}\n")
      endif()
    endforeach()
    if(room STREQUAL "check" AND NOT name MATCHES "diagnostic_output")
      file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*<(CLI/|nlohmann/|filesystem>|fstream>)")
      foreach(line ${lines})
        string(APPEND offenders "  ${name}: ${line}\n")
      endforeach()
    endif()
  endforeach()
endforeach()
file(GLOB_RECURSE files ${SOURCE_DIR}/testing/*.h ${SOURCE_DIR}/testing/*.cpp)
foreach(file ${files})
  file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
  file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"tools/")
  foreach(line ${lines})
    string(APPEND offenders "  ${name}: ${line}\n")
  endforeach()
endforeach()
if(offenders)
  message(FATAL_ERROR "These includes point against the rooms' arrows:\n${offenders}")
endif()
message(STATUS "Every room of tools/ keeps to its arrows")
