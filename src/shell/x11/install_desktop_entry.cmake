# Install-time step: writes orbivane.desktop with the program's full installed path.
# Expects ORBIVANE_HACK_DIR, ORBIVANE_DESKTOP_DIR and ORBIVANE_DESKTOP_TEMPLATE; runs under cmake --install.
foreach(var ORBIVANE_HACK_DIR ORBIVANE_DESKTOP_DIR)
  if(IS_ABSOLUTE "${${var}}")
    set(${var}_FULL "${${var}}")
  else()
    set(${var}_FULL "${CMAKE_INSTALL_PREFIX}/${${var}}")
  endif()
endforeach()
set(ORBIVANE_PROGRAM "${ORBIVANE_HACK_DIR_FULL}/orbivane")
set(destination "$ENV{DESTDIR}${ORBIVANE_DESKTOP_DIR_FULL}/orbivane.desktop")
message(STATUS "Installing: ${destination}")
configure_file("${ORBIVANE_DESKTOP_TEMPLATE}" "${destination}" @ONLY)
list(APPEND CMAKE_INSTALL_MANIFEST_FILES "${destination}")
