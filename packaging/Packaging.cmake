# Packages made with CPack: the Windows installer and zip from the Windows tree, the .deb from the native tree.
# `cmake --build <tree> --target package` (or scripts/package.sh, for both trees) writes them to ORBIVANE_DIST_DIR.
set(ORBIVANE_VENDOR "The Orbivane authors" CACHE STRING "Publisher named by the packages")
set(ORBIVANE_MAINTAINER "The Orbivane authors <maintainers@orbivane.example>" CACHE STRING
    "Maintainer field of the .deb (name <address>)")
set(ORBIVANE_DIST_DIR "${CMAKE_BINARY_DIR}/dist" CACHE PATH "Where the package target writes the packages")

# The About tab's web host (a cache variable of the settings dialog, which the native tree does not build).
set(ORBIVANE_WEB_HOST "www.orbivane.example" CACHE STRING "Host name of the product's web site")

set(pkg_dir ${CMAKE_CURRENT_LIST_DIR})
set(CPACK_PACKAGE_NAME Orbivane)
set(CPACK_PACKAGE_VENDOR "${ORBIVANE_VENDOR}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Fractal screen saver: the Mandelbrot and Julia sets on a turning tube")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://${ORBIVANE_WEB_HOST}/")
set(CPACK_OUTPUT_FILE_PREFIX "${ORBIVANE_DIST_DIR}")
set(CPACK_STRIP_FILES ON)
# Per-generator file names and signing. After staging: the .deb's documentation is compressed, the Windows
# program signed when asked, then every staged time set to SOURCE_DATE_EPOCH.
set(CPACK_PROJECT_CONFIG_FILE "${pkg_dir}/cpack_options.cmake")
set(CPACK_PRE_BUILD_SCRIPTS "${pkg_dir}/debian/compress_docs.cmake" "${pkg_dir}/windows/sign_staged.cmake"
    "${pkg_dir}/stage_times.cmake")

if(ORBIVANE_WINDOWS)
  # The installer script is ours (packaging/windows/NSIS.template.in), found on CPack's module path.
  list(PREPEND CMAKE_MODULE_PATH "${pkg_dir}/windows")
  set(CPACK_GENERATOR "NSIS;ZIP")
  # One staging folder for both: the installer takes Orbivane.scr from it, the zip everything.
  set(CPACK_MONOLITHIC_INSTALL ON)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
  set(CPACK_NSIS_MUI_ICON "${PROJECT_SOURCE_DIR}/resources/pictures/orbivane.ico")
  set(CPACK_ORBIVANE_PACKAGING_DIR "${pkg_dir}/windows")
  set(CPACK_ORBIVANE_WEB_HOST "${ORBIVANE_WEB_HOST}")
  # The zip carries Orbivane.scr and a short text on installing it by hand.
  configure_file("${pkg_dir}/windows/README.txt.in" "${CMAKE_BINARY_DIR}/packaging/README.txt" @ONLY NEWLINE_STYLE CRLF)
  install(FILES "${CMAKE_BINARY_DIR}/packaging/README.txt" DESTINATION . COMPONENT zip_readme)
else()
  include(GNUInstallDirs)
  set(CPACK_GENERATOR DEB)
  set(CPACK_COMPONENTS_ALL orbivane)
  set(CPACK_DEB_COMPONENT_INSTALL OFF)
  # Install into DESTDIR with the real prefix, so that files naming installed paths (the desktop entry) are right.
  set(CPACK_SET_DESTDIR ON)
  set(CPACK_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_PACKAGE_NAME orbivane)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORBIVANE_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION x11)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SUGGESTS xscreensaver)
  # The synopsis is CPACK_PACKAGE_DESCRIPTION_SUMMARY; these are the lines below it.
  string(JOIN "\n" CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Orbivane paints the escape-time colours of the Mandelbrot set and a Julia"
    "set on a lit, translucent tube wound as a helix. The tube turns slowly,"
    "fades in, and after a while fades into the next of five built-in images."
    ""
    "The program runs under XScreenSaver, xsecurelock, xfce4-screensaver and"
    "MATE, or in a window of its own.")
  # Documentation every Debian package carries; compressed by compress_docs.cmake before packing.
  configure_file("${pkg_dir}/debian/changelog.in" "${CMAKE_BINARY_DIR}/packaging/changelog" @ONLY)
  install(FILES "${pkg_dir}/debian/copyright" "${CMAKE_BINARY_DIR}/packaging/changelog"
          DESTINATION "${CMAKE_INSTALL_DATADIR}/doc/orbivane" COMPONENT orbivane)
endif()

include(CPack)
