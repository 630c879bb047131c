# The Debian package, built with `cpack -G DEB` in a build folder. It carries no maintainer scripts: the
# icon cache and the desktop database are refreshed by dpkg triggers, and removing the package never
# reaches into anyone's home folder, where the clipboard history lives.

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME pellamor)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Pellamor developers")
set(CPACK_PACKAGE_CONTACT "Pellamor developers <support@pellamor.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "clipboard history for the Linux desktop")
# Lines kept short because dpkg shows the description as it is written.
set(CPACK_PACKAGE_DESCRIPTION
    "Pellamor keeps the last 1000 texts and images copied in any application\n\
and puts any of them back on the clipboard with one click. It runs in the\n\
system tray. The history survives restarts and stays in the user's home\n\
folder, readable only by that user.")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://pellamor.example/")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Pellamor developers <support@pellamor.example>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The libraries the program links come from dpkg-shlibdeps; what Qt loads at run time (the xcb
# platform plugin, the image format plugins for copied images) and the icon font do not show up there
# and are named by hand.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-image-formats-plugins, qt6-qpa-plugins, fonts-material-design-icons-iconfont")
# Without a CJK font, Chinese and Japanese texts in the history show as empty boxes, and without an
# emoji font copied emoji do. Qt's own dialogs speak the user's language with its translations.
# GNOME Shell shows tray icons only with the AppIndicator extension; the program still runs without
# it, opening its history as a window.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "fonts-noto-cjk, fonts-noto-color-emoji, qt6-translations-l10n, gnome-shell-extension-appindicator")
# Copied HEIF photos are decoded by libheif, which the program opens only when it meets one.
string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", libheif1")
# Text recognition is off by default, and the program opens its library itself: without it, or without
# either language's data, the settings show the switch disabled with a note saying what to install.
string(APPEND CPACK_DEBIAN_PACKAGE_RECOMMENDS ", libtesseract5, tesseract-ocr-chi-sim, tesseract-ocr-eng")

# Keeps `cpack --config CPackSourceConfig.cmake` from packing build folders and the repository itself.
set(CPACK_SOURCE_GENERATOR TXZ)
set(CPACK_SOURCE_IGNORE_FILES "/\\\\.git/" "/\\\\.cache/" "/build[^/]*/")

include(CPack)
