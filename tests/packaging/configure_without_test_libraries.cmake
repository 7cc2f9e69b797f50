# Configures the native and the Windows tree as if GoogleTest and Google Benchmark were not installed:
# both must configure, say that tests (and benchmarks) are skipped, and still make the programs.
# Expects SOURCE_DIR and WORK_DIR (-D); run with cmake -P.
file(REMOVE_RECURSE "${WORK_DIR}")

function(configure name)
  execute_process(
    COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${WORK_DIR}/${name}" -G Ninja ${ARGN}
    RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${name}: configuring failed:\n${output}")
  endif()
  set(output "${output}" PARENT_SCOPE)
endfunction()

function(expect name text)
  string(FIND "${output}" "${text}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${name}: the configure output lacks '${text}':\n${output}")
  endif()
endfunction()

function(expect_targets name present absent)
  file(READ "${WORK_DIR}/${name}/build.ninja" ninja)
  string(FIND "${ninja}" "${present}" at)
  if(at LESS 0)
    message(FATAL_ERROR "${name}: no build rule for ${present}")
  endif()
  string(FIND "${ninja}" "${absent}" at)
  if(NOT at LESS 0)
    message(FATAL_ERROR "${name}: ${absent} is built although its library is missing")
  endif()
endfunction()

configure(native -DCMAKE_DISABLE_FIND_PACKAGE_GTest=ON -DCMAKE_DISABLE_FIND_PACKAGE_benchmark=ON)
expect(native "GoogleTest not found: tests skipped")
expect(native "Google Benchmark not found: benchmarks skipped")
expect_targets(native "src/shell/x11/orbivane" "x11_options_tests")
expect_targets(native "src/shell/x11/orbivane" "fractal_bench")

configure(windows "-DCMAKE_TOOLCHAIN_FILE=${SOURCE_DIR}/cmake/mingw-w64-x86_64.cmake"
          "-DORBIVANE_GTEST_SOURCE=${WORK_DIR}/no-googletest")
expect(windows "GoogleTest sources not found")
expect_targets(windows "Orbivane.scr" "shell_win32_tests")

file(REMOVE_RECURSE "${WORK_DIR}")
message(STATUS "both trees configure without GoogleTest and Google Benchmark")
