# The Debian package: `cpack -G DEB` in the build folder makes
# cellwick_<version>_<arch>.deb from the install rules.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME cellwick)
set(CPACK_PACKAGE_VENDOR "Quenby Works")
set(CPACK_PACKAGE_CONTACT "Cellwick Developer <dev@cellwick.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "compact spreadsheet for Excel 97 and 95 workbooks")
set(CPACK_PACKAGE_DESCRIPTION
    "Cellwick opens, edits, recalculates and saves workbooks of worksheets and\n"
    "macro sheets in the Excel 97 and Excel 95 binary formats (.xls, and .xlt\n"
    "templates), Pocket Excel (.pxl), comma-separated and tab-separated text.\n"
    "The package holds the desktop program, cellwick, and the command-line tool\n"
    "cellwick-cli, which converts and inspects workbooks without a display.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
# The libraries the programs link come from dpkg-shlibdeps (Qt's X11 and
# offscreen display plugins come with libqt6gui6). What they need without
# linking it is named here: a font with the Chinese of the menus and
# messages; a native Wayland window needs Qt's Wayland plugin (else Qt uses
# X11 through XWayland).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(TARGET cellwick)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-wqy-microhei | fonts-noto-cjk | fonts-wqy-zenhei")
  set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
      "fonts-liberation2, qt6-wayland, shared-mime-info, desktop-file-utils, hicolor-icon-theme")
endif()
include(CPack)
