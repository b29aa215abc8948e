# What `cmake --install` puts under the prefix: the two programs, their manual pages, the
# command line's completion for bash and zsh, the help pages as documentation and the licence,
# and for the desktop the menu entry, the icon and the AppStream description. Tests,
# benchmarks, fuzz targets and the fixture tool stay in the build folder.
#
# The desktop program shows the help pages compiled into it (qrc:/help/); the installed copy
# under share/doc/quillmere/help/ is for reading them in a browser.

include(GNUInstallDirs)
set(QM_INSTALL_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/quillmere)

# Manual pages are installed gzipped with gzip -9n (no name or time stamp in the header), as
# Debian ships them; man reads them either way, so without gzip they go in plain.
find_program(QM_GZIP gzip)
function(qm_install_manpage page)
  set(source ${PROJECT_SOURCE_DIR}/docs/man/${page})
  if(QM_GZIP)
    set(packed ${PROJECT_BINARY_DIR}/man/${page}.gz)
    add_custom_command(OUTPUT ${packed}
                       COMMAND ${CMAKE_COMMAND} -E make_directory ${PROJECT_BINARY_DIR}/man
                       COMMAND ${QM_GZIP} -9n -c ${source} > ${packed}
                       DEPENDS ${source} VERBATIM)
    add_custom_target(qm_manpage_${page} ALL DEPENDS ${packed})
    install(FILES ${packed} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  else()
    install(FILES ${source} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
endfunction()

install(TARGETS quillmere-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
qm_install_manpage(quillmere-cli.1)
install(FILES data/completion/quillmere-cli.bash DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
        RENAME quillmere-cli)
# Where Debian's zsh looks for the completions that packages bring.
install(FILES data/completion/_quillmere-cli DESTINATION ${CMAKE_INSTALL_DATADIR}/zsh/vendor-completions)
install(DIRECTORY docs/help/ DESTINATION ${QM_INSTALL_DOCDIR}/help)
install(FILES data/debian/copyright DESTINATION ${QM_INSTALL_DOCDIR})

if(QM_BUILD_GUI)
  install(TARGETS quillmere RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  qm_install_manpage(quillmere.1)
  install(FILES data/quillmere.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES data/quillmere.svg DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
  # The AppStream description names the release of this version.
  configure_file(data/quillmere.metainfo.xml.in ${PROJECT_BINARY_DIR}/data/quillmere.metainfo.xml @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/data/quillmere.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
endif()
