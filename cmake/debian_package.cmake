# `cpack -G DEB` in the build folder makes brindlecap_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlecap)
set(CPACK_PACKAGE_VENDOR "The Brindlecap team")
set(CPACK_PACKAGE_CONTACT "The Brindlecap team <team@brindlecap.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy files off damaged discs, keeping every readable byte")
set(CPACK_PACKAGE_DESCRIPTION
    "Brindlecap copies files off hard drives and off scratched or damaged CDs\n"
    "and DVDs, chunk by chunk. A chunk that cannot be read is written as zeros,\n"
    "so the copy always runs to its end. The source is only ever read.\n"
    "Includes the window program brindlecap and the command-line brindlecap-cli.")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brindlecap.example.org/")
# Libraries come from dpkg-shlibdeps; Qt's window-system plugins and the
# fonts the windows are drawn in are loaded at run time, so they are named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
