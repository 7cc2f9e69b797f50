#!/usr/bin/env bash
# Makes the packages into build/dist: the Windows installer and zip (from build/pkg-windows) and the Linux
# .deb (from build/pkg-native). These trees are configured without tests and benchmarks.
# Usage: scripts/package.sh [native|windows|web|all]   (default all; web: orbivane-web-<version>.zip)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
which=${1:-all}
dist="$root/build/dist"
"$root/scripts/setup.sh"

common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBIVANE_TESTS=OFF -DORBIVANE_BENCHMARKS=OFF
        -DORBIVANE_DIST_DIR="$dist")
if [[ $which == windows || $which == all ]]; then
  cmake -S "$root" -B "$root/build/pkg-windows" "${common[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/pkg-windows" -j "$(nproc)" --target package
fi
if [[ $which == native || $which == all ]]; then
  cmake -S "$root" -B "$root/build/pkg-native" "${common[@]}" >/dev/null
  cmake --build "$root/build/pkg-native" -j "$(nproc)" --target package
  # A package with lintian errors is not handed out.
  deb=$(ls -t "$dist"/orbivane_*.deb | head -1)
  report=$(lintian "$deb" 2>/dev/null || true)
  [[ -n $report ]] && echo "$report"
  if grep -q '^E: ' <<<"$report"; then
    echo "package: lintian found errors in $deb" >&2; exit 1
  fi
fi
if [[ $which == web || $which == all ]]; then
  # The web page: build/web's zip of its static folder.
  "$root/scripts/build.sh" web
  mkdir -p "$dist"
  cp "$root"/build/web/orbivane-web-*.zip "$dist/"
fi
echo "package: in $dist:"
ls -l "$dist"
