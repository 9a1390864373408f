# The install rules of the Linux program and its Debian package (`make package`): the
# binary, the menu entry, the icons in the hicolor theme, the AppStream data, the manual
# page and the documents Debian wants, in the places GNUInstallDirs names.
include(GNUInstallDirs)

set(VELMOR_HOMEPAGE "https://velmor.org" CACHE STRING "The project's home page")
set(VELMOR_MAINTAINER "Velmor developers <dev@velmor.org>" CACHE STRING "The package's maintainer")
set(VELMOR_RELEASE_DATE "2026-12-09")

set(packaging ${CMAKE_SOURCE_DIR}/packaging/linux)
set(staged ${CMAKE_BINARY_DIR}/packaging)
foreach(file velmor.metainfo.xml velmor.1 copyright changelog)
  configure_file(${packaging}/${file}.in ${staged}/${file} @ONLY)
endforeach()

# Debian keeps manual pages and changelogs compressed, without a time stamp inside.
find_program(VELMOR_GZIP gzip REQUIRED)
foreach(file velmor.1 changelog)
  add_custom_command(
    OUTPUT ${staged}/${file}.gz
    COMMAND ${VELMOR_GZIP} -9nf -k ${staged}/${file}
    DEPENDS ${staged}/${file}
    COMMENT "Compressing ${file}")
  list(APPEND compressed ${staged}/${file}.gz)
endforeach()

# The icon at the theme's sizes, drawn by the code that draws the tray pictures.
set(icon_sizes 16 24 32 48 64 128 256)
set(icons ${staged}/icons)
add_custom_command(
  OUTPUT ${icons}/256x256/apps/velmor.png
  COMMAND velmor_write_png_icons ${icons} ${icon_sizes}
  DEPENDS velmor_write_png_icons
  COMMENT "Drawing the icons")
add_custom_target(velmor_package_files ALL DEPENDS ${compressed} ${icons}/256x256/apps/velmor.png)

install(TARGETS velmor RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${packaging}/velmor.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(DIRECTORY ${icons}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
# AppStream finds the data by the component's id.
install(FILES ${staged}/velmor.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo
        RENAME org.velmor.velmor.metainfo.xml)
install(FILES ${staged}/velmor.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${CMAKE_SOURCE_DIR}/README.md ${staged}/copyright ${staged}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velmor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_CONTACT ${VELMOR_MAINTAINER})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${VELMOR_HOMEPAGE})
# The runtime libraries the binary needs, as dpkg-shlibdeps reads them from it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "game connection relay that logs speech and system messages")
# The long description; the summary above is its first line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Velmor sits between the client and the server of an online role-playing
game: it relays both directions, undoes the compression of the game stream
and shows every speech and system message as a time-stamped, coloured line
in a log pane, saved as an RTF file. System messages that name a music or
sound file play it. It lives in the notification area; its interface is
German.")
include(CPack)
