#!/usr/bin/env bash
# Configures and builds both trees: build/native (Linux) and build/windows (mingw-w64, runs under Wine).
# Usage: scripts/build.sh [native|windows|all|asan]   (default all)
# asan: build/asan, native with clang, AddressSanitizer, UndefinedBehaviorSanitizer and the fuzz targets,
# without the benchmarks (not part of all).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)

usage() {
  echo "usage: scripts/build.sh [native|windows|all|asan]   (default all)" >&2
  exit 2
}

build_native() {
  cmake -S "$root" -B "$root/build/native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build "$root/build/native" -j "$jobs"
}
build_windows() {
  cmake -S "$root" -B "$root/build/windows" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/windows" -j "$jobs"
}
build_asan() {
  source "$root/scripts/lib/sanitizers.sh"  # the test lists are read by running the programs
  CC=clang CXX=clang++ cmake -S "$root" -B "$root/build/asan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DORBIVANE_SANITIZE=ON -DORBIVANE_FUZZ=ON -DORBIVANE_BENCHMARKS=OFF >/dev/null
  cmake --build "$root/build/asan" -j "$jobs"
}

# web: build/web/page, the saver as a static web page (emscripten; not part of all). The optimiser of
# Debian's emscripten finds its Node modules through NODE_PATH.
build_web() {
  export NODE_PATH=${NODE_PATH:-/usr/share/nodejs}
  emcmake cmake -S "$root" -B "$root/build/web" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORBIVANE_TESTS=OFF \
    -DORBIVANE_BENCHMARKS=OFF >/dev/null
  cmake --build "$root/build/web" -j "$jobs"
}

(($# <= 1)) || usage
case ${1:-all} in
  native) build_native ;;
  windows) build_windows ;;
  all) build_native; build_windows ;;
  asan) build_asan ;;
  web) build_web ;;
  *) usage ;;
esac
