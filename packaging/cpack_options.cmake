# Read by cpack for each generator: the package file names, and whether the Windows packages are signed.
if(CPACK_GENERATOR STREQUAL "NSIS")
  set(CPACK_PACKAGE_FILE_NAME "Orbivane-${CPACK_PACKAGE_VERSION}-win64-setup")
elseif(CPACK_GENERATOR STREQUAL "ZIP")
  set(CPACK_PACKAGE_FILE_NAME "Orbivane-${CPACK_PACKAGE_VERSION}-win64")
endif()

# Signing is asked for at packing time by naming a certificate and its key (both or neither); see
# windows/sign.sh for the other variables. Orbivane.scr is signed while staged (windows/sign_staged.cmake),
# the uninstaller and the installer by makensis as it writes them.
set(CPACK_ORBIVANE_SIGN OFF)
set(CPACK_ORBIVANE_SIGN_COMMANDS "; Not signed: no certificate named.")
if(CPACK_GENERATOR MATCHES "^(NSIS|ZIP)$"
   AND NOT ("$ENV{ORBIVANE_SIGN_CERT}" STREQUAL "" AND "$ENV{ORBIVANE_SIGN_KEY}" STREQUAL ""))
  if("$ENV{ORBIVANE_SIGN_CERT}" STREQUAL "" OR "$ENV{ORBIVANE_SIGN_KEY}" STREQUAL "")
    message(FATAL_ERROR "Signing needs both ORBIVANE_SIGN_CERT and ORBIVANE_SIGN_KEY")
  endif()
  set(CPACK_ORBIVANE_SIGN ON)
  set(sign "bash \"${CPACK_ORBIVANE_PACKAGING_DIR}/sign.sh\" \"%1\"")
  set(CPACK_ORBIVANE_SIGN_COMMANDS "!uninstfinalize '${sign}' = 0\n!finalize '${sign}' = 0")
endif()
