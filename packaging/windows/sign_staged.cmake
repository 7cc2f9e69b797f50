# Run by cpack after staging the Windows packages' files: signs the staged Orbivane.scr when signing was
# asked for (cpack_options.cmake), so that the installer and the zip carry the same signed program.
if(NOT CPACK_ORBIVANE_SIGN)
  return()
endif()
execute_process(COMMAND bash "${CPACK_ORBIVANE_PACKAGING_DIR}/sign.sh" "${CPACK_TEMPORARY_DIRECTORY}/Orbivane.scr"
                RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "signing Orbivane.scr failed")
endif()
