# Installs the orbivane component into a scratch prefix and checks where everything lands.
# Expects BUILD_DIR, WORK_DIR, READELF, DESKTOP_FILE_VALIDATE and MAN (-D); run with cmake -P.
file(REMOVE_RECURSE "${WORK_DIR}")
execute_process(
  COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --component orbivane --prefix "${WORK_DIR}/usr"
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "install failed: ${output}")
endif()

set(program "${WORK_DIR}/usr/libexec/xscreensaver/orbivane")
set(xml "${WORK_DIR}/usr/share/xscreensaver/config/orbivane.xml")
set(desktop "${WORK_DIR}/usr/share/applications/screensavers/orbivane.desktop")
set(manual "${WORK_DIR}/usr/share/man/man6/orbivane.6")
foreach(f program xml desktop manual)
  if(NOT EXISTS "${${f}}")
    message(FATAL_ERROR "missing ${${f}}; installed:\n${output}")
  endif()
endforeach()
execute_process(COMMAND "${program}" --help RESULT_VARIABLE result OUTPUT_QUIET)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "the installed program does not run: ${result}")
endif()
file(READ "${desktop}" entry)
# The entry names the program where --prefix put it, not where the build was configured to.
foreach(line "Exec=${program} --root" "TryExec=${program}" "Categories=Screensaver;")
  string(FIND "${entry}" "${line}" at)
  if(at LESS 0)
    message(FATAL_ERROR "orbivane.desktop lacks '${line}':\n${entry}")
  endif()
endforeach()

# Installed stripped: no debugging sections and no symbol table.
execute_process(COMMAND "${READELF}" -S -W "${program}" OUTPUT_VARIABLE sections RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR sections MATCHES "\\.debug_|\\.symtab")
  message(FATAL_ERROR "the installed program is not stripped (readelf ${result}):\n${sections}")
endif()

# The desktop entry passes the validator: no error and no warning (hints are advice only).
if(NOT DESKTOP_FILE_VALIDATE)
  message(FATAL_ERROR "desktop-file-validate is missing (scripts/setup.sh installs it)")
endif()
execute_process(COMMAND "${DESKTOP_FILE_VALIDATE}" "${desktop}" RESULT_VARIABLE result
                OUTPUT_VARIABLE report ERROR_VARIABLE report)
if(NOT result EQUAL 0 OR report MATCHES "error:|warning:")
  message(FATAL_ERROR "desktop-file-validate ${result}:\n${report}")
endif()

# `man orbivane` finds the page under the prefix, and it formats without a warning.
if(NOT MAN)
  message(FATAL_ERROR "man is missing (scripts/setup.sh installs man-db)")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "MANPATH=${WORK_DIR}/usr/share/man" "${MAN}" -w orbivane
                RESULT_VARIABLE result OUTPUT_VARIABLE found ERROR_VARIABLE found)
string(STRIP "${found}" found)
if(NOT result EQUAL 0 OR NOT found STREQUAL manual)
  message(FATAL_ERROR "man -w orbivane gives '${found}' (${result}), not ${manual}")
endif()
execute_process(COMMAND "${CMAKE_COMMAND}" -E env MANWIDTH=80 "${MAN}" --warnings -l "${manual}"
                RESULT_VARIABLE result OUTPUT_VARIABLE page ERROR_VARIABLE warnings)
if(NOT result EQUAL 0 OR NOT warnings STREQUAL "" OR NOT page MATCHES "--no-settings-file")
  message(FATAL_ERROR "the manual page does not format cleanly (${result}):\n${warnings}")
endif()
file(REMOVE_RECURSE "${WORK_DIR}")
