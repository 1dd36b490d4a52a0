# Desktop integration files and the Debian package (`cpack` in the build folder).
# Only the program and its data files go into the package, whatever else is
# configured (tests, tools), since nothing else has install rules.
if(NOT PROJECT_IS_TOP_LEVEL OR NOT UNIX)
  return()
endif()

include(GNUInstallDirs)

set(LUTING_APP_ID "io.github.luting_search.LutingSearch")
set(_luting_data "${PROJECT_SOURCE_DIR}/data")
install(FILES "${_luting_data}/${LUTING_APP_ID}.desktop"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${_luting_data}/${LUTING_APP_ID}.svg"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")
install(FILES "${_luting_data}/${LUTING_APP_ID}.metainfo.xml"
        DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")

# A CA file is read from its build-time path, which other machines lack.
if(LUTING_SITE_CA_FILE)
  message(STATUS "Packaging: the program reads its CA file from ${LUTING_SITE_CA_FILE}; "
                 "a package built so works only where that file exists")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME luting-search)
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Lanyu Software")
set(CPACK_PACKAGE_CONTACT "Lanyu Software <packages@lanyu-soft.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "search a torrent-search website for magnet links")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A small desktop program: type a keyword, and it lists every result's title\n"
    "and magnet link from a torrent-search website, page after page. Clicking a\n"
    "row copies its magnet link to the clipboard.")
string(JOIN "" CPACK_DEBIAN_PACKAGE_DESCRIPTION ${CPACK_DEBIAN_PACKAGE_DESCRIPTION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
# Libraries the binary links come from dpkg-shlibdeps; Qt loads its platform
# plugins (xcb, wayland) at run time, so those are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-noto-cjk | fonts-wqy-microhei | fonts-wqy-zenhei")

# CPack leaves the dependencies out without a word when dpkg-shlibdeps is
# missing; stop instead.
set(_luting_check "${PROJECT_BINARY_DIR}/cpack-check-tools.cmake")
file(WRITE "${_luting_check}" [[
find_program(_shlibdeps dpkg-shlibdeps)
if(NOT _shlibdeps)
  message(FATAL_ERROR "dpkg-shlibdeps is missing (Debian package dpkg-dev); "
                      "without it the package would list no dependencies")
endif()
]])
set(CPACK_PRE_BUILD_SCRIPTS "${_luting_check}")

# `package_source`: the source tree without .git and the build folders.
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_IGNORE_FILES "^${PROJECT_SOURCE_DIR}/\\\\.git/" "^${PROJECT_SOURCE_DIR}/build"
                               "^${PROJECT_SOURCE_DIR}/\\\\.cache/")

include(CPack)
