# What `cmake --install` puts where, and the Debian package CPack makes of
# it (`cpack -G DEB` in the build directory). The programs go to bin/, the
# window module to lib/<package>/ where the scenario program finds it
# relative to itself, the man pages to share/man/man1/, the completion to
# share/bash-completion/completions/, the documentation to
# share/doc/<package>/.

# The man pages carry the project's version; installed compressed, as
# Debian ships them.
set(SCENARIO_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(man_pages "")
foreach(page scenario.1 scenarioc.1)
  configure_file(docs/man/${page} ${SCENARIO_MAN_DIR}/${page} @ONLY)
  add_custom_command(
    OUTPUT ${SCENARIO_MAN_DIR}/${page}.gz
    COMMAND gzip -9 -n -k -f ${SCENARIO_MAN_DIR}/${page}
    DEPENDS ${SCENARIO_MAN_DIR}/${page}
    VERBATIM)
  list(APPEND man_pages ${SCENARIO_MAN_DIR}/${page}.gz)
endforeach()
add_custom_target(man_pages ALL DEPENDS ${man_pages})
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

install(TARGETS scenario RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(SCENARIO_HAS_WINDOW)
  install(TARGETS scenario_window LIBRARY DESTINATION ${SCENARIO_MODULE_DIR})
endif()
if(TARGET scenarioc)
  install(TARGETS scenarioc RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES tools/scenarioc-completion.bash
          DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME scenarioc)
endif()

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DOCDIR})
# The authors' reference, once it is written.
install(FILES docs/authoring.md DESTINATION ${CMAKE_INSTALL_DOCDIR} OPTIONAL)
file(GLOB format_descriptions CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/docs/formats/README.md
  ${PROJECT_SOURCE_DIR}/docs/formats/*.ksy)
install(FILES ${format_descriptions} DESTINATION ${CMAKE_INSTALL_DOCDIR}/formats)
# The editors' set-ups for `scenarioc lsp`; the VS Code extension takes the
# grammar from its own directory.
install(DIRECTORY editors/ DESTINATION ${CMAKE_INSTALL_DOCDIR}/editors)
install(FILES editors/scenario-sources.tmLanguage.json
        DESTINATION ${CMAKE_INSTALL_DOCDIR}/editors/vscode)

set(SCENARIO_PACKAGE_MAINTAINER
  "Scenario compiler maintainers <maintainers@scenario-compiler.invalid>"
  CACHE STRING "Maintainer field of the Debian package")
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${SCENARIO_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT ${SCENARIO_PACKAGE_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "scenario compiler for a train-driving simulator")
set(CPACK_PACKAGE_DESCRIPTION
  "scenario builds the one scenario it carries (the line Firenze_Pisa and\n\
the train 11711) into the three binary files the simulator loads.\n\
scenarioc compiles any line and train an author writes, reports every fault\n\
at the row that raised it, decodes the binary files and draws the line.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# The dependencies come from the libraries the programs and the module link.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS bash-completion)
include(CPack)
