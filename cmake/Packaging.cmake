# Installation and the Debian package.
#
# The executables live together in lib/norik under the prefix (norik-tool starts norik-tool-full
# beside it) and bin/ holds links to the two that users run. What is the same on every
# architecture lives in share/norik: the base ("data/", the sample base that the build makes in
# build/data, target sample_base, unless another base was put there) and the sample generator's
# vocabulary. The programs look for "data/" beside their executable first (the build folder) and
# then in share/norik, found from their own folder, so an installation can be moved whole.
#
#   cmake --install build --prefix /opt/norik-test     # a local installation
#   (cd build && cpack -G DEB)                         # norik_<version>_<arch>.deb
#   cmake --build build --target screenshots           # the AppStream entry's screenshots
#
# The package's maintainer and the project's address are cache variables (NORIK_MAINTAINER,
# NORIK_HOMEPAGE), so that whoever builds the package for others names themselves.

set(NORIK_INSTALL_DIR lib/norik)
set(NORIK_SHARED_DIR share/norik)
file(RELATIVE_PATH shared_from_program /prefix/${NORIK_INSTALL_DIR} /prefix/${NORIK_SHARED_DIR})
target_compile_definitions(norik_Helpers PRIVATE NORIK_SHARED_FROM_PROGRAM="${shared_from_program}/")

if(NOT TARGET norik OR NOT TARGET norik-tool)
  return()
endif()

set(NORIK_MAINTAINER "Norik developers <maintainers@norik-viewer.org>"
    CACHE STRING "Maintainer field of the Debian package and contact of its copyright file")
set(NORIK_HOMEPAGE "https://norik-viewer.org" CACHE STRING "The project's web site (package, AppStream entry)")
# The AppStream id: the web site's domain reversed, then the program.
set(NORIK_APPSTREAM_ID org.norik_viewer.norik)
set(NORIK_SCREENSHOT_SIZE 1280x720)
set(NORIK_SCREENSHOT_URL ${NORIK_HOMEPAGE}/screenshots/${PROJECT_VERSION})
# The prefix the package installs into, named by the manual pages.
set(NORIK_PACKAGE_PREFIX /usr)
set(packaging_dir ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${packaging_dir})

# The Debian changelog is the one record of the releases: its newest entry must be this version,
# and its date is the release date the manual pages and the AppStream entry give.
file(STRINGS ${CMAKE_SOURCE_DIR}/res/debian/changelog changelog_lines)
list(GET changelog_lines 0 changelog_head)
if(NOT changelog_head MATCHES "^norik \\(([^)]+)\\)" OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "res/debian/changelog: the newest entry must be version ${PROJECT_VERSION}: ${changelog_head}")
endif()
foreach(line IN LISTS changelog_lines)
  if(line MATCHES "^ -- .*  ([A-Z][a-z][a-z], .*)$")
    execute_process(COMMAND date -u -d "${CMAKE_MATCH_1}" +%F OUTPUT_VARIABLE NORIK_RELEASE_DATE
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    execute_process(COMMAND date -u -d "${CMAKE_MATCH_1}" +%s OUTPUT_VARIABLE NORIK_RELEASE_EPOCH
                    OUTPUT_STRIP_TRAILING_WHITESPACE ERROR_QUIET)
    break()
  endif()
endforeach()
if(NOT NORIK_RELEASE_DATE)
  message(FATAL_ERROR "res/debian/changelog: the newest entry has no trailer line with a date")
endif()

# The sample base beside the built viewer, made once: build/data is where the viewer started from
# the build folder looks first. Its full-text index is made again when it is not current (of an
# older format, most often), so that an installed base carries a current one.
add_custom_target(sample_base ALL
  COMMAND ${CMAKE_COMMAND} -E env NORIK_VOCABULARY_DIR=${CMAKE_SOURCE_DIR}/res/vocabulary
          sh -c "test -f data/Norik.sdb || '$<TARGET_FILE:norik-tool>' sample data; '$<TARGET_FILE:norik-tool>' fulltext data --if-stale >/dev/null"
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR}
  COMMENT "Sample base in ${CMAKE_BINARY_DIR}/data"
  VERBATIM)
add_dependencies(sample_base norik-tool)

# Manual pages, section 1, one for each program the package puts in bin/. A page is written by
# hand in res/man/<program>.1.in (the build fills in the version, the release date and the
# prefix); a program without one gets the page help2man makes from its --help, named by the
# description given here.
set(NORIK_MANUAL_PAGES)
find_program(NORIK_HELP2MAN help2man)
function(norik_manual_page program description)
  set(page ${packaging_dir}/man/${program}.1)
  set(source ${CMAKE_SOURCE_DIR}/res/man/${program}.1.in)
  if(EXISTS ${source})
    configure_file(${source} ${page} @ONLY)
    set(depends ${page})
    set(make_page)
  else()
    if(NOT NORIK_HELP2MAN)
      message(WARNING "help2man is not installed: no manual page for ${program}")
      return()
    endif()
    set(depends ${program})
    # Dated by the release, not by the day of the build.
    set(make_page COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${NORIK_RELEASE_EPOCH}
                  ${NORIK_HELP2MAN} --no-info --section=1 --version-string=${PROJECT_VERSION}
                  --name=${description} --output=${page} $<TARGET_FILE:${program}>)
  endif()
  add_custom_command(OUTPUT ${page}.gz
    ${make_page}
    COMMAND gzip -9nf -k ${page}
    DEPENDS ${depends}
    COMMENT "Manual page of ${program}"
    VERBATIM)
  set(NORIK_MANUAL_PAGES ${NORIK_MANUAL_PAGES} ${page}.gz PARENT_SCOPE)
endfunction()
norik_manual_page(norik "viewer of a database of Russian normative and legal documents")
norik_manual_page(norik-tool "read, search, check and build bases of the Norik document viewer")
if(TARGET norik-serve)
  norik_manual_page(norik-serve "read-only web reader of a Norik document base")
endif()

# The files of the package's documentation and metadata.
configure_file(${CMAKE_SOURCE_DIR}/res/debian/copyright ${packaging_dir}/copyright @ONLY)
add_custom_command(OUTPUT ${packaging_dir}/changelog.gz
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/res/debian/changelog > ${packaging_dir}/changelog.gz
  DEPENDS ${CMAKE_SOURCE_DIR}/res/debian/changelog
  VERBATIM)
add_custom_target(package_files ALL DEPENDS ${NORIK_MANUAL_PAGES} ${packaging_dir}/changelog.gz)

# The screenshots the AppStream entry names, for the web site: the viewer on the sample base under
# a virtual display. Not part of the default build (it starts the viewer twice).
string(REPLACE "x" ";" screenshot_size ${NORIK_SCREENSHOT_SIZE})
list(GET screenshot_size 0 NORIK_SCREENSHOT_WIDTH)
list(GET screenshot_size 1 NORIK_SCREENSHOT_HEIGHT)
configure_file(${CMAKE_SOURCE_DIR}/res/norik.metainfo.xml.in ${packaging_dir}/${NORIK_APPSTREAM_ID}.metainfo.xml
               @ONLY)
add_custom_target(screenshots
  COMMAND ${CMAKE_SOURCE_DIR}/tools/make-screenshots.sh ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/data
          ${CMAKE_BINARY_DIR}/screenshots ${NORIK_SCREENSHOT_SIZE}
  COMMENT "Screenshots in ${CMAKE_BINARY_DIR}/screenshots"
  VERBATIM)
add_dependencies(screenshots sample_base norik norik-tool)

install(TARGETS norik norik-tool norik-tool-full RUNTIME DESTINATION ${NORIK_INSTALL_DIR})
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(MAKE_DIRECTORY \"\${bin}\")
  foreach(program norik norik-tool)
    file(CREATE_LINK ../${NORIK_INSTALL_DIR}/\${program} \"\${bin}/\${program}\" SYMBOLIC)
  endforeach()
")
install(DIRECTORY ${CMAKE_BINARY_DIR}/data/ DESTINATION ${NORIK_SHARED_DIR}/data)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/vocabulary/ DESTINATION ${NORIK_SHARED_DIR}/vocabulary)
install(FILES ${CMAKE_SOURCE_DIR}/res/norik.desktop DESTINATION share/applications)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/icons/hicolor DESTINATION share/icons)
install(FILES ${packaging_dir}/${NORIK_APPSTREAM_ID}.metainfo.xml DESTINATION share/metainfo)
install(FILES ${NORIK_MANUAL_PAGES} DESTINATION share/man/man1)
install(FILES ${CMAKE_SOURCE_DIR}/res/bash-completion/norik-tool DESTINATION share/bash-completion/completions)
install(FILES ${packaging_dir}/copyright ${packaging_dir}/changelog.gz DESTINATION share/doc/norik)
install(FILES ${CMAKE_SOURCE_DIR}/res/debian/norik.lintian-overrides DESTINATION share/lintian/overrides
        RENAME norik)
# The web reader beside the viewer (it reads the same data/), and its systemd unit, not enabled.
if(TARGET norik-serve)
  install(TARGETS norik-serve RUNTIME DESTINATION ${NORIK_INSTALL_DIR})
  install(CODE "file(CREATE_LINK ../${NORIK_INSTALL_DIR}/norik-serve \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/norik-serve\" SYMBOLIC)")
  install(FILES ${CMAKE_SOURCE_DIR}/res/norik-serve.service DESTINATION lib/systemd/system)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Norik")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Viewer of a database of Russian normative and legal documents")
# The extended description below the summary, its lines within 80 columns (no double quotes:
# CPack does not keep them).
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Norik («База документов») shows a read-only base of Russian
normative and legal documents: a classifier of legislation sections, document
lists sorted by date, title, type or number, a search by attributes and by
words of the titles and full texts, and documents in rich text whose
cross-references can be followed, printed, saved or handed over to the word
processor.
.
norik-tool reads, checks and builds bases on the command line. A sample base
of invented documents comes with the package.")
set(CPACK_PACKAGING_INSTALL_PREFIX ${NORIK_PACKAGE_PREFIX})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${NORIK_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${NORIK_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Library dependencies are read from the executables; the fonts make the Cyrillic texts readable
# where no desktop font is installed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libgsf is loaded at run time by the builder (dlopen), so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, libgsf-1-114, xapian-tools")
# The text windows use a class of Qt's own text layout, whose interface holds for one Qt release.
if(Qt6_VERSION)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-base-abi (= ${Qt6_VERSION})")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
