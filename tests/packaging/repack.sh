#!/usr/bin/env bash
# Packs this tree's packages a second time, through a staging folder of its own, into <out>. Then either
#   --repeat <dist>  each package must equal its namesake in <dist>, made with the same SOURCE_DATE_EPOCH
#                    from a staging folder at another path; and no shipped program names the source tree;
#   --signed         the Windows installer only, signed with a throwaway self-signed certificate made here
#                    (<out>/cert.pem), for windows.sh to verify and install.
# Usage: repack.sh <cpack> <build-dir> <source-dir> <out> (--repeat <dist> | --signed)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/checks.sh"
cpack=$1 build=$2 source_dir=$3 out=$4 mode=$5 dist=${6:-}
rm -rf "$out"
mkdir -p "$out"
cd "$build"

if [[ $mode == --signed ]]; then
  openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Orbivane test signer" \
    -addext extendedKeyUsage=codeSigning -keyout "$out/key.pem" -out "$out/cert.pem" 2>/dev/null
  ORBIVANE_SIGN_CERT=$out/cert.pem ORBIVANE_SIGN_KEY=$out/key.pem \
    "$cpack" --config CPackConfig.cmake -G NSIS -B "$out/staging" -D CPACK_OUTPUT_FILE_PREFIX="$out" >/dev/null
  exit
fi

"$cpack" --config CPackConfig.cmake -B "$out/staging" -D CPACK_OUTPUT_FILE_PREFIX="$out" >/dev/null
for package in "$out"/*.exe "$out"/*.zip "$out"/*.deb; do
  [[ -f $package ]] || continue
  expect "$(basename "$package") repeats byte for byte" cmp "$package" "$dist/$(basename "$package")"
  # The shipped programs (the .deb's and the zip's; the installer carries the zip's Orbivane.scr).
  case $package in
    *.zip) unzip -q "$package" -d "$out/unpacked" ;;
    *.deb) dpkg-deb -x "$package" "$out/unpacked" ;;
  esac
done
expect "no shipped file names the source tree $source_dir" bash -c "! grep -rqaF '$source_dir' '$out/unpacked'"
finish
