# Sourced by the scripts: run-time options for the programs of the sanitizer build (build/asan).
# Every report ends the program with an error; only leaks inside Mesa and the GL libraries are suppressed.
sanitizer_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1
export LSAN_OPTIONS=suppressions=$sanitizer_root/tests/sanitizers/lsan-mesa.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
