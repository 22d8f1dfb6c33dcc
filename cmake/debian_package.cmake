# SPDX-License-Identifier: GPL-3.0-or-later
# `cpack -G DEB` in the build folder makes brindlecap_<version>_amd64.deb.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME brindlecap)
set(CPACK_PACKAGE_VENDOR "The Brindlecap team")
set(CPACK_PACKAGE_CONTACT "The Brindlecap team <team@brindlecap.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "copy files off damaged discs, keeping every readable byte")
# Joined as one string: a list's separators would be taken out with the
# text's own semicolons.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Brindlecap copies files off hard drives and off scratched or failing CDs\n"
    "and DVDs. Every sector the disc still gives is copied; only the sectors it\n"
    "will not give become zeros, and a copy made again only adds to the first.\n"
    "The source is only ever read. Includes the window program brindlecap and\n"
    "the command-line brindlecap-cli, which keeps a rescue map in GNU ddrescue's\n"
    "format, resumes, retries bad sectors and copies whole folders.")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
# Revision 1 of the upstream version: Debian's changelog.Debian goes with it.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://brindlecap.example.org/")
# Libraries come from dpkg-shlibdeps; Qt's window-system plugins and the
# fonts the windows are drawn in are loaded at run time, so they are named.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-liberation")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
include(CPack)
