# Installation and the Debian package.
#
# The viewer finds its base in "data/" beside its executable, so the executables, the base and the
# sample generator's vocabulary live together in one folder (lib/norik under the prefix), and
# bin/ holds links to the executables. The base installed is the sample base that the build makes
# in build/data (target sample_base) unless another base was put there.
#
#   cmake --install build --prefix /opt/norik-test     # a local installation
#   (cd build && cpack -G DEB)                         # norik_<version>_<arch>.deb

if(NOT TARGET norik OR NOT TARGET norik-tool)
  return()
endif()

set(NORIK_INSTALL_DIR lib/norik)

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

install(TARGETS norik norik-tool norik-tool-full RUNTIME DESTINATION ${NORIK_INSTALL_DIR})
install(DIRECTORY ${CMAKE_BINARY_DIR}/data/ DESTINATION ${NORIK_INSTALL_DIR}/data)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/vocabulary/ DESTINATION ${NORIK_INSTALL_DIR}/vocabulary)
install(CODE "
  set(bin \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  file(MAKE_DIRECTORY \"\${bin}\")
  foreach(program norik norik-tool)
    file(CREATE_LINK ../${NORIK_INSTALL_DIR}/\${program} \"\${bin}/\${program}\" SYMBOLIC)
  endforeach()
")
# The web reader beside the viewer (it reads the same data/), and its systemd unit, not enabled.
if(TARGET norik-serve)
  install(TARGETS norik-serve RUNTIME DESTINATION ${NORIK_INSTALL_DIR})
  install(CODE "file(CREATE_LINK ../${NORIK_INSTALL_DIR}/norik-serve \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/norik-serve\" SYMBOLIC)")
  install(FILES ${CMAKE_SOURCE_DIR}/res/norik-serve.service DESTINATION lib/systemd/system)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/res/norik.desktop)
  install(FILES ${CMAKE_SOURCE_DIR}/res/norik.desktop DESTINATION share/applications)
endif()
if(EXISTS ${CMAKE_SOURCE_DIR}/res/icons/hicolor)
  install(DIRECTORY ${CMAKE_SOURCE_DIR}/res/icons/hicolor DESTINATION share/icons)
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME norik)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Norik")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Viewer of a database of Russian normative and legal documents")
set(CPACK_PACKAGE_DESCRIPTION "База документов: a classifier of legislation sections, sorted document lists, search by attributes and words, documents in rich text with cross-references. Comes with a sample base.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Norik developers <norik@localhost>")
set(CPACK_DEBIAN_PACKAGE_SECTION misc)
# Library dependencies are read from the executables; the fonts make the Cyrillic texts readable
# where no desktop font is installed.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# libgsf is loaded at run time by the builder (dlopen), so shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-dejavu-core, libgsf-1-114")
# The text windows use a class of Qt's own text layout, whose interface holds for one Qt release.
if(Qt6_VERSION)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", qt6-base-abi (= ${Qt6_VERSION})")
endif()
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-translations-l10n")
include(CPack)
