# Fails when a room of scenarioc reaches where its arrows do not point:
#   check    nothing else of tools/; no command line, no JSON library and no
#            file system outside the wording of its diagnostics
#   decode   nothing else of tools/
#   plot     check and decode
#   lsp      check and decode
#   live     plot, check and decode
#   decompile  decode and layout
#   layout   nothing else of tools/
#   format   check and layout
#   lsp      also format and layout
# and no room reaches the subcommands at tools/'s top, neither by its
# includes nor by the libraries its CMakeLists.txt links; no room includes
# another by a relative path. tools/'s top holds only the main and the
# subcommands. What tests, bench and fuzz share (testing/) reaches no tool,
# and the core (model, compiler, scenario, output) reaches neither tools
# nor testing/.
# Run as: cmake -DSOURCE_DIR=<checkout> -P tool_rooms.cmake
set(allowed_check "tools/check/")
set(allowed_decode "tools/decode/")
set(allowed_plot "tools/plot/|tools/check/|tools/decode/")
set(allowed_lsp "tools/lsp/|tools/check/|tools/decode/|tools/format/|tools/layout/")
set(allowed_live "tools/live/|tools/plot/|tools/check/|tools/decode/")
set(allowed_decompile "tools/decompile/|tools/decode/|tools/layout/")
set(allowed_layout "tools/layout/")
set(allowed_format "tools/format/|tools/check/|tools/layout/")
set(offenders "")
foreach(room check decode plot lsp live decompile layout format)
  # The libraries a room links: its own and those its arrows allow.
  string(REPLACE "tools/" "" allowed_libraries "${allowed_${room}}")
  string(REPLACE "/" "" allowed_libraries "${allowed_libraries}")
  file(STRINGS ${SOURCE_DIR}/tools/${room}/CMakeLists.txt links REGEX "scenarioc_")
  foreach(line ${links})
    string(REGEX MATCHALL "scenarioc_[a-z_]+" libraries "${line}")
    foreach(library ${libraries})
      if(NOT library MATCHES "^scenarioc_(${allowed_libraries})(_[a-z_]+)?$")
        string(APPEND offenders "  tools/${room}/CMakeLists.txt: ${library}\n")
      endif()
    endforeach()
  endforeach()
  file(GLOB_RECURSE files ${SOURCE_DIR}/tools/${room}/*.h ${SOURCE_DIR}/tools/${room}/*.cpp
       ${SOURCE_DIR}/tools/${room}/*.def)
  foreach(file ${files})
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"[^\"]*\\.\\./")
    foreach(line ${lines})
      string(APPEND offenders "  ${name}: ${line}\n")
    endforeach()
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
# At tools/'s top: the main, the subcommands and their one shared header.
file(GLOB files ${SOURCE_DIR}/tools/*.h ${SOURCE_DIR}/tools/*.cpp)
foreach(file ${files})
  get_filename_component(base ${file} NAME)
  if(NOT base MATCHES "^(scenarioc\\.cpp|commands\\.h|[a-z_]+_command\\.(h|cpp))$")
    string(APPEND offenders "  tools/${base}: belongs in a room, not among the subcommands\n")
  endif()
endforeach()
foreach(dir testing model compiler scenario output)
  set(forbidden "tools/")
  if(NOT dir STREQUAL "testing")
    set(forbidden "tools/|testing/")
  endif()
  file(GLOB_RECURSE files ${SOURCE_DIR}/${dir}/*.h ${SOURCE_DIR}/${dir}/*.cpp
       ${SOURCE_DIR}/${dir}/*.def)
  foreach(file ${files})
    file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"(${forbidden})")
    foreach(line ${lines})
      string(APPEND offenders "  ${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(offenders)
  message(FATAL_ERROR "These point against the rooms' arrows:\n${offenders}")
endif()
message(STATUS "Every room of tools/ keeps to its arrows")
