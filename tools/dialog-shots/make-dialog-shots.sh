#!/usr/bin/env bash
# Takes a picture of each tab of the settings dialog under Wine on a virtual display, into
# docs/images/dialog-<tab>.png. Needs the Windows build (scripts/build.sh windows) and ImageMagick's import.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
shot="$root/build/windows/tests/config/config_dialog_shot.exe"
out="$root/docs/images"
[[ -f $shot ]] || { echo "make-dialog-shots: build the Windows tree first (scripts/build.sh windows)" >&2; exit 1; }

source "$root/scripts/lib/session.sh"
trap stop_session EXIT
start_display -screen 0 1024x768x24
start_wine "$root/build/windows/wineprefix"
# Unmanaged windows: Wine draws the frame and caption itself, as Windows would.
wine reg add 'HKCU\Software\Wine\AppDefaults\config_dialog_shot.exe\X11 Driver' /v Managed /d N /f >/dev/null 2>&1

mkdir -p "$out"
work=$(mktemp -d)
tabs=(general appearance advanced monitors about)
for i in "${!tabs[@]}"; do
  rect="$work/rect-$i"
  wine "$shot" "$i" "$rect" 4000 >/dev/null 2>&1 &
  pid=$!
  for _ in $(seq 50); do [[ -s $rect ]] && break; sleep 0.1; done
  sleep 1.5
  read -r left top right bottom < <(tr -d "\r" <"$rect")
  import -window root -crop "$((right - left))x$((bottom - top))+$left+$top" +repage "$out/dialog-${tabs[$i]}.png"
  wait "$pid" || true
done
rm -rf "$work"
echo "make-dialog-shots: wrote ${#tabs[@]} pictures to $out"
