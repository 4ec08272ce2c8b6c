# What `cmake --install` puts where, and the Debian package CPack makes of
# it (`cpack -G DEB` in the build directory). The programs go to bin/, the
# window module to lib/<package>/ where the scenario program finds it
# relative to itself, the man pages to share/man/man1/, the completion to
# share/bash-completion/completions/, the documentation to
# share/doc/<package>/.

set(SCENARIO_PACKAGE_MAINTAINER
  "Scenario compiler maintainers <maintainers@scenario-compiler.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

# The man pages carry the project's version, the changelog its version and
# maintainer; installed compressed, as Debian ships them.
set(SCENARIO_MAN_DIR ${CMAKE_BINARY_DIR}/man)
set(compressed_docs "")
function(scenario_compressed_doc source output)
  configure_file(${source} ${output} @ONLY)
  add_custom_command(
    OUTPUT ${output}.gz
    COMMAND gzip -9 -n -k -f ${output}
    DEPENDS ${output}
    VERBATIM)
  set(compressed_docs ${compressed_docs} ${output}.gz PARENT_SCOPE)
endfunction()
foreach(page scenario.1 scenarioc.1)
  scenario_compressed_doc(docs/man/${page} ${SCENARIO_MAN_DIR}/${page})
endforeach()
set(man_pages ${compressed_docs})
scenario_compressed_doc(cmake/changelog.in ${CMAKE_BINARY_DIR}/package/changelog)
configure_file(cmake/copyright.in ${CMAKE_BINARY_DIR}/package/copyright @ONLY)
add_custom_target(package_docs ALL DEPENDS ${compressed_docs})
# Building the programs alone (the README's build command) makes these too,
# so that installing and packaging find everything they take.
add_dependencies(scenario package_docs)
if(TARGET scenarioc)
  add_dependencies(scenarioc package_docs)
endif()
install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The programs are installed stripped, as the Debian package has them: the
# build tree keeps the symbols for a debugger. Set before the programs'
# install rules, which read it as they run.
install(CODE "set(CMAKE_INSTALL_DO_STRIP TRUE)")

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

install(FILES README.md ${CMAKE_BINARY_DIR}/package/copyright
              ${CMAKE_BINARY_DIR}/package/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
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
