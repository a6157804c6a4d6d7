# `cpack -G DEB`: one Debian package holding the programs, the contract library with its headers
# and CMake package, and the desktop integration. Its dependencies are read from the binaries,
# apart from what the programs load at run time.
set(TOVIN_PACKAGE_NAME tovin-share)
set(TOVIN_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${TOVIN_PACKAGE_NAME})

# Debian wants the copyright and the changelog, compressed reproducibly, beside every package.
configure_file(${PROJECT_SOURCE_DIR}/data/packaging/changelog.in
    ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog @ONLY)
execute_process(
    COMMAND gzip -9 -n -f ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog
    COMMAND_ERROR_IS_FATAL ANY
)
install(FILES
    ${PROJECT_SOURCE_DIR}/data/packaging/copyright
    ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
    DESTINATION ${TOVIN_DOC_DIR}
)

set(CPACK_PACKAGE_NAME ${TOVIN_PACKAGE_NAME})
set(CPACK_PACKAGE_VENDOR Brindlex)
set(CPACK_PACKAGE_CONTACT "tovin developers <tovin@brindlex.com>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "share files, links and text with a tovin chat")
set(CPACK_PACKAGE_DESCRIPTION "tovin-share is the share sheet of the tovin chat application: from a file
manager or the command line, pick one of your chats, add a caption and press
Send, and the share is queued on disk for tovin to deliver. tovin-host shows
the host application's side: the chat list, the queued shares, and the signal
and URL that announce them. The contract library, with its headers and CMake
package, lets a host application read the queue.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Loaded or started at run time, so no binary names them: Qt's Wayland platform, dbus-send for the
# enqueue signal, and xdg-open for the host URL.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-wayland, dbus-bin")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# What a host application built against the library links too.
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "nlohmann-json3-dev, libsimdjson-dev, uuid-dev, pkg-config")
include(CPack)
