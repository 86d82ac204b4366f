# The Debian package, built with `cpack -G DEB` in a configured build folder (make package).
# It holds whatever the install rules install: the application, its open helper (under
# libexec), the desktop entry, the AppStream metainfo, the icon, the udev rule, the manual page
# and the copyright and changelog. `make package` builds it hardened (LORVANEL_HARDEN); the
# suite checks that build with lintian and reads each binary's hardening itself.
set(LORVANEL_PACKAGE_MAINTAINER "Lorvanel maintainers <maintainers@lorvanel.invalid>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lorvanel)
set(CPACK_PACKAGE_VENDOR Lorvanel)
set(CPACK_PACKAGE_CONTACT "${LORVANEL_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Manage the music on an iPod")
set(CPACK_PACKAGE_DESCRIPTION
    "Lorvanel opens the music library of an iPod classic, nano or shuffle plugged
in over USB: it lists and edits the tracks and playlists, imports audio files
(converting them to AAC where needed) and exports tracks back to a folder. An
iPod touch is shown read-only.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
# Libraries from what the binaries link; the rest is loaded at run time: the SVG icons, the
# preview's audio decoders and the fonts with Chinese characters.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "gstreamer1.0-plugins-base, gstreamer1.0-plugins-good, gstreamer1.0-libav, fonts-dejavu-core, fonts-noto-cjk, fonts-wqy-microhei, qt6-translations-l10n")
# The binaries go in without their debugging symbols.
set(CPACK_STRIP_FILES ON)
# Reload udev and re-run it for the iPods plugged in, on installation and on removal.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${PROJECT_SOURCE_DIR}/dist/debian/postinst ${PROJECT_SOURCE_DIR}/dist/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
