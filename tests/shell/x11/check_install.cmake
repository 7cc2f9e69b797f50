# Installs the orbivane component into a scratch prefix and checks where everything lands.
# Expects BUILD_DIR and WORK_DIR (-D); run with cmake -P.
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
foreach(f program xml desktop)
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
file(REMOVE_RECURSE "${WORK_DIR}")
