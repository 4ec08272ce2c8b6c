# Fails when a file of scenarioc or of the core includes a file of the
# scenario program's host (app/): the host is a thin shell around the core,
# and scenarioc must build without it.
# Run as: cmake -DSOURCE_DIR=<checkout> -P host_includes.cmake
set(offenders "")
foreach(dir tools model compiler scenario output testing)
  file(GLOB_RECURSE files ${SOURCE_DIR}/${dir}/*.h ${SOURCE_DIR}/${dir}/*.cpp)
  foreach(file ${files})
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]app/")
    foreach(line ${lines})
      file(RELATIVE_PATH name ${SOURCE_DIR} ${file})
      string(APPEND offenders "  ${name}: ${line}\n")
    endforeach()
  endforeach()
endforeach()
if(offenders)
  message(FATAL_ERROR "These files include the program's host (app/):\n${offenders}")
endif()
message(STATUS "No file of tools/ or the core includes app/")
