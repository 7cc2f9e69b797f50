#!/usr/bin/env bash
# Makes the packages into build/dist: the Windows installer and zip (from build/pkg-windows) and the Linux
# .deb (from build/pkg-native, with the distribution's hardening flags), the web page's zip (from build/web),
# and SHA256SUMS over those made.
# These trees are configured without tests and benchmarks. Every time stamp in the packages is
# SOURCE_DATE_EPOCH, the time of the last commit unless the caller sets it, so the same commit packs to the
# same bytes.
# Signing: see README ("Signing the Windows packages").
# Usage: scripts/package.sh [native|windows|web|all] [--check-reproducible]   (default all)
#   --check-reproducible  packs from scratch without ccache, then again in a fresh clone of the last commit
#                         at another path, and compares the two byte for byte (diffoscope explains a difference)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
dist="$root/build/dist"

usage() {
  echo "usage: scripts/package.sh [native|windows|web|all] [--check-reproducible]   (default all)" >&2
  exit 2
}
which=all check=0
for arg; do
  case $arg in
    native|windows|web|all) which=$arg ;;
    --check-reproducible) check=1 ;;
    *) usage ;;
  esac
done

if [[ -z ${SOURCE_DATE_EPOCH:-} ]]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) || {
    echo "package: not a git checkout: set SOURCE_DATE_EPOCH (seconds since 1970) to the release's time" >&2
    exit 1
  }
fi
export SOURCE_DATE_EPOCH
"$root/scripts/setup.sh"

common=(-G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORBIVANE_TESTS=OFF -DORBIVANE_BENCHMARKS=OFF
        -DORBIVANE_DIST_DIR="$dist")

pack_windows() {
  cmake -S "$root" -B "$root/build/pkg-windows" "${common[@]}" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" >/dev/null
  cmake --build "$root/build/pkg-windows" -j "$(nproc)" --target package
}

pack_native() {
  # The distribution's build flags: fortified sources, stack protector, read-only relocations bound at load.
  local DEB_BUILD_MAINT_OPTIONS=hardening=+all
  export DEB_BUILD_MAINT_OPTIONS
  local cppflags; cppflags=$(dpkg-buildflags --get CPPFLAGS)
  cmake -S "$root" -B "$root/build/pkg-native" "${common[@]}" \
    -DCMAKE_C_FLAGS="$(dpkg-buildflags --get CFLAGS) $cppflags" \
    -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $cppflags" \
    -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
  cmake --build "$root/build/pkg-native" -j "$(nproc)" --target package
  # A package with lintian errors, warnings or hardening tags is not handed out.
  local deb; deb=$(ls -t "$dist"/orbivane_*.deb | head -1)
  local report; report=$(lintian "$deb" 2>/dev/null || true)
  [[ -n $report ]] && echo "$report"
  if grep -qE '^[EW]: |hardening' <<<"$report"; then
    echo "package: lintian found errors, warnings or hardening faults in $deb" >&2; exit 1
  fi
}

# The web page: build/web's zip of its static folder, zipped anew so that it takes this SOURCE_DATE_EPOCH.
pack_web() {
  rm -f "$root"/build/web/orbivane-web-*.zip
  "$root/scripts/build.sh" web
  mkdir -p "$dist"
  cp "$root"/build/web/orbivane-web-*.zip "$dist/"
}

# The packages this run made, by name (a package left in build/dist by an earlier run is not listed).
packages() {
  local version
  version=$(sed -n 's/^project(Orbivane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
  if [[ $which == windows || $which == all ]]; then
    echo "Orbivane-$version-win64-setup.exe" "Orbivane-$version-win64.zip"
  fi
  [[ $which == native || $which == all ]] && echo "orbivane_${version}_amd64.deb"
  [[ $which == web || $which == all ]] && echo "orbivane-web-$version.zip"
  return 0
}

pack() {
  if [[ $which == windows || $which == all ]]; then pack_windows; fi
  if [[ $which == native || $which == all ]]; then pack_native; fi
  if [[ $which == web || $which == all ]]; then pack_web; fi
  (cd "$dist" && packages | xargs sha256sum >SHA256SUMS)
  echo "package: in $dist (SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH):"
  cat "$dist/SHA256SUMS"
}

# Packs here from scratch, then in a clone at another path, and compares.
check_reproducible() {
  if [[ -n $(git -C "$root" status --porcelain) ]]; then
    echo "package: commit your changes first: the second build is a clone of the last commit" >&2
    exit 1
  fi
  export CCACHE_DISABLE=1  # every object compiled twice: a cache cannot hide a difference
  rm -rf "$root/build/pkg-windows" "$root/build/pkg-native" "$root/build/web"
  pack
  local other; other=$(mktemp -d "${TMPDIR:-/tmp}/orbivane-check.XXXXXX")
  local clone="$other/a/longer/path/orbivane-second"
  git clone -q --no-hardlinks "$root" "$clone"
  "$clone/scripts/package.sh" "$which"
  local name status=0
  while read -r _ name; do
    if cmp -s "$dist/$name" "$clone/build/dist/$name"; then
      echo "package: $name is the same in both builds"
    else
      echo "package: $name DIFFERS between $root and $clone" >&2
      status=1
      if command -v diffoscope >/dev/null || apt-get install -y -qq diffoscope-minimal >/dev/null 2>&1; then
        diffoscope --text - "$dist/$name" "$clone/build/dist/$name" | head -200 || true
      fi
    fi
  done <"$dist/SHA256SUMS"
  cmp -s "$dist/SHA256SUMS" "$clone/build/dist/SHA256SUMS" || status=1
  if ((status)); then
    echo "package: not reproducible; the second build stays in $clone" >&2
  else
    rm -rf "$other"
    echo "package: reproducible: both builds gave the same bytes"
  fi
  return $status
}

if ((check)); then check_reproducible; else pack; fi
