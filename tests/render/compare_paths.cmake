# Runs orbivane-render once per submission path with the same arguments and fails unless the PNGs match.
# -DTOOL=... -DARGS=a;b;c -DOUT_DIR=...
foreach(path immediate arrays buffers)
  execute_process(COMMAND ${TOOL} ${ARGS} --submit ${path} --out ${OUT_DIR}/path_${path}.png RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "orbivane-render --submit ${path} failed with ${rc}")
  endif()
endforeach()
foreach(path arrays buffers)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT_DIR}/path_immediate.png ${OUT_DIR}/path_${path}.png
                  RESULT_VARIABLE differ)
  if(NOT differ EQUAL 0)
    message(FATAL_ERROR "--submit ${path} drew other pixels than --submit immediate")
  endif()
endforeach()
