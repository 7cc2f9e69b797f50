#!/usr/bin/env bash
# Takes pictures of the installer's and the uninstaller's pages under Wine on a virtual display, into
# docs/images/installer-<page>.png: the pages as Windows 10 shows them, and the finish page once more as
# Windows 7 shows it (installer-finish-win7.png), as it names another place for the Screen Saver Settings.
# Needs the packages (scripts/package.sh windows) and ImageMagick's import.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
version=$(sed -n 's/^project(Orbivane VERSION \([0-9.]*\).*/\1/p' "$root/CMakeLists.txt")
setup=${1:-$root/build/dist/Orbivane-$version-win64-setup.exe}
out="$root/docs/images"
[[ -f $setup ]] || { echo "make-installer-shots: make the packages first (scripts/package.sh windows)" >&2; exit 1; }

work=$(mktemp -d)
source "$root/scripts/lib/session.sh"
cleanup() { stop_session; rm -rf "$work"; }
trap cleanup EXIT
x86_64-w64-mingw32-gcc -municode -O2 -o "$work/press_button.exe" "$root/tools/installer-shots/win32/press_button.c"
start_display -screen 0 1024x768x24
[[ -d $root/build/windows/wineprefix ]] && export WINEPREFIX=$root/build/windows/wineprefix
start_private_wine "$work"   # a prefix of its own: the pictures install and uninstall for real
mkdir -p "$out"

# Waits for a window whose title starts with this text and photographs it (after a moment to let the page
# paint). Titles change from page to page (the wizard adds a page's subtitle).
shoot() {  # title name
  local geometry=""
  for _ in $(seq 100); do
    # A top-level line: 0x... "title": ("class" "class")  WxH+X+Y  +X+Y
    geometry=$(xwininfo -root -tree | grep -F "\"$1" | head -1 | awk '{ print $(NF-1) }') || true
    [[ -n $geometry ]] && break
    sleep 0.1
  done
  [[ -n $geometry ]] || { echo "make-installer-shots: no window '$1'" >&2; exit 1; }
  sleep 1.5
  import -window root -crop "$geometry" +repage "$out/installer-$2.png"
  echo "make-installer-shots: $out/installer-$2.png"
}
press() {  # title button-id
  for _ in $(seq 50); do wine "$work/press_button.exe" "$1" "$2" 2>/dev/null && return; sleep 0.2; done
  echo "make-installer-shots: cannot press button $2 of '$1'" >&2; exit 1
}

windows_version() { wine reg add 'HKCU\Software\Wine' /v Version /d "$1" /f >/dev/null 2>&1; }
title="Orbivane $version Setup"
# The installer's pages, all or only the last (its finish page, named with this suffix).
install() {  # all|finish-only [suffix]
  wine "$setup" >/dev/null 2>&1 &
  local pid=$! shot=shoot
  [[ $1 == all ]] || shot=true
  $shot "$title" welcome;    press "$title" 1
  $shot "$title" components; press "$title" 1
  sleep 2   # the files page closes by itself when done
  shoot "$title" "finish${2:-}"; press "$title" 1
  wait "$pid"
}
windows_version win7
install finish-only -win7
windows_version win10
install all

title="Orbivane $version Uninstall"
wine 'C:\Program Files\Orbivane\uninstall.exe' >/dev/null 2>&1 &
shoot "$title" uninstall-confirm;    press "$title" 1
shoot "$title" uninstall-components; press "$title" 1
sleep 2
shoot "$title" uninstall-done;       press "$title" 1
# The uninstaller runs from a copy of itself: wait for it to remove the original, its last step.
for _ in $(seq 100); do [[ -e $WINEPREFIX/drive_c/Program\ Files/Orbivane/uninstall.exe ]] || break; sleep 0.1; done
