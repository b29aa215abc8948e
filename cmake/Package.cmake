# The Debian package, made by CPack from the install rules: ./dev.sh package configures a
# Release build with -DQM_PACKAGE=ON and runs `cpack -G DEB` in it, which writes
# quillmere_VERSION_ARCH.deb.
option(QM_PACKAGE "Install what the Debian package carries besides the program (its changelog)" OFF)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quillmere)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Quillmere team")
set(CPACK_PACKAGE_CONTACT "The Quillmere team <support@quillmere.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://quillmere.org/")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "cut MP3 files into pieces and join MP3 files")
# The long description: paragraphs are separated by an empty line, lines are kept under 80
# columns as Debian wants them.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION [=[
Quillmere cuts MP3 files into pieces by size, count, duration, time range,
hand-set points, the pauses of the audio, cue sheets, ID3v2 chapters or
label files, and joins several files into one. Direct splitting and joining
copy the MPEG frames untouched, at disk speed, with a fresh Xing/Info frame
and gapless encoder delay and padding; the re-encoding paths decode, fade,
resample and encode again with LAME.

Every output is named from a template and tagged from the source's tag, and
is either complete or absent: a failed or cancelled run never leaves half a
file and never damages an existing one.

The package holds the desktop program (Qt 6), with waveform, preview
playback and batch pages, and quillmere-cli, which does the same work from
the command line and scripts, with JSON output.]=])
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)

if(QM_PACKAGE)
  # A package's changelog, gzipped like the manual pages, from the version and its release day.
  execute_process(COMMAND date -u -R -d ${QM_RELEASE_DATE} OUTPUT_VARIABLE QM_RELEASE_RFC2822
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  configure_file(${PROJECT_SOURCE_DIR}/data/debian/changelog.in ${PROJECT_BINARY_DIR}/debian/changelog @ONLY)
  execute_process(COMMAND gzip -9n -c ${PROJECT_BINARY_DIR}/debian/changelog
                  OUTPUT_FILE ${PROJECT_BINARY_DIR}/debian/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
  install(FILES ${PROJECT_BINARY_DIR}/debian/changelog.gz DESTINATION ${QM_INSTALL_DOCDIR})
endif()

include(CPack)
