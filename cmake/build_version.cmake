# Writes the header that names a build: the project's version and the commit
# of the source tree, "unknown" when the tree is not a git checkout of its
# own (a source archive, or one unpacked inside another repository). The
# header is rewritten only when its text changes, so a build of the same
# commit recompiles nothing.
#
#   cmake -DSOURCE_DIR=<tree> -DPROJECT_VERSION=<x.y.z> -DOUTPUT=<header>
#         -P build_version.cmake
set(BUILD_COMMIT unknown)
find_program(GIT_COMMAND git)
if(GIT_COMMAND)
  execute_process(
    COMMAND ${GIT_COMMAND} -C ${SOURCE_DIR} rev-parse --show-toplevel
    RESULT_VARIABLE status
    OUTPUT_VARIABLE top
    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
  file(REAL_PATH "${SOURCE_DIR}" source)
  if(status EQUAL 0 AND top)
    file(REAL_PATH "${top}" top)
  endif()
  if(status EQUAL 0 AND top STREQUAL source)
    execute_process(
      COMMAND ${GIT_COMMAND} -C ${SOURCE_DIR} rev-parse --short=12 HEAD
      RESULT_VARIABLE status
      OUTPUT_VARIABLE commit
      OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    if(status EQUAL 0 AND commit)
      set(BUILD_COMMIT ${commit})
      execute_process(
        COMMAND ${GIT_COMMAND} -C ${SOURCE_DIR} status --porcelain
                --untracked-files=no
        RESULT_VARIABLE status
        OUTPUT_VARIABLE changes
        ERROR_QUIET)
      if(status EQUAL 0 AND changes)
        string(APPEND BUILD_COMMIT "-modified")
      endif()
    endif()
  endif()
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/build_version.h.in ${OUTPUT} @ONLY)
