#!/usr/bin/env bash
# Photographs the saver under Wine on a private virtual display: full screen ("/s") and in a preview
# box, and checks that the picture shows the coloured tube on the background.
# Usage: picture.sh <Orbivane.scr> <shell_win32_tests.exe> [output-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/session.sh"
saver=$1 tests=$2
out=${3:-$(mktemp -d)}
mkdir -p "$out"

work=$(mktemp -d)
cleanup() { stop_session; rm -rf "$work"; }
trap cleanup EXIT
start_display -screen 0 640x480x24
start_private_wine "$work"

# Share of pixels in a region of an image for which an ImageMagick -fx expression holds.
share() {  # image expression [crop]
  local crop=()
  [[ -n ${3:-} ]] && crop=(-crop "$3" +repage)
  convert "$1" "${crop[@]}" -fx "$2" -format "%[fx:mean]" info:
}
coloured='(max(r,max(g,b))-min(r,min(g,b)))>0.1'
check() {  # value op limit what
  if awk -v v="$1" -v l="$3" "BEGIN { exit !(v $2 l) }"; then
    echo "picture: $4 = $1 ($2 $3) ok"
  else
    echo "picture: $4 = $1, expected $2 $3" >&2; status=1
  fi
}
status=0

# Full screen: the fade-in takes 100 ticks, which a software renderer may stretch to ten seconds or more.
# Photographs every 2 s from 6 s on until the tube shows (at most 120 s on a loaded machine).
wine "$saver" /s &
pid=$!
sleep 6
for _ in $(seq 57); do
  xwd -root -silent > "$work/full.xwd"
  convert "$work/full.xwd" "$out/full-screen.png"
  awk -v v="$(share "$out/full-screen.png" "$coloured")" 'BEGIN { exit !(v > 0.1) }' && break
  sleep 2
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
check "$(share "$out/full-screen.png" "$coloured")" '>' 0.02 "coloured share, full screen"
# The tube swings nearer and farther: some frames fill most of the screen, so ask only for a black margin.
check "$(share "$out/full-screen.png" 'max(r,max(g,b))<0.05')" '>' 0.05 "black share, full screen"

# Preview: the test program hosts the preview box and prints where it is.
wine "$tests" --gtest_also_run_disabled_tests --gtest_filter='PreviewPicture.*' > "$work/hold.txt" 2>&1 &
pid=$!
# Wait for the line while the program lives (a loaded machine may take long to start it under Wine).
for _ in $(seq 1200); do
  grep -q '^preview ' "$work/hold.txt" && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
geometry=$(sed -n 's/^preview //p' "$work/hold.txt" | tr -d '\r')
sleep 4
xwd -root -silent > "$work/preview.xwd"
convert "$work/preview.xwd" "$out/preview.png"
wait "$pid" || { echo "picture: preview host failed" >&2; cat "$work/hold.txt" >&2; status=1; }
if [[ -z $geometry ]]; then
  echo "picture: no preview window" >&2; exit 1
fi
# The preview's own frame, read back in the process: the tube on the dark blue background.
readback=$(sed -n 's/^readback //p' "$work/hold.txt" | tr -d '\r')
if [[ -z $readback ]]; then
  echo "picture: no read-back of the preview" >&2; status=1
else
  read -r _ r_coloured _ r_background _ <<<"$readback"
  check "$r_coloured" '>' 0.02 "coloured share, preview read-back"
  # How much of the box the tube covers depends on how far it has turned when the frame is taken, which
  # a loaded machine shifts: as for the full screen, ask only for a margin of the background.
  check "$r_background" '>' 0.05 "dark blue share, preview read-back"
fi
# Wine 8.0 does not show OpenGL drawn into child windows (it copies the child's frame to no X drawable),
# so the preview box on the screen is photographed and measured, but only reported, until that works.
hard=$status
check "$(share "$out/preview.png" "$coloured" "$geometry")" '>' 0.02 "coloured share, preview"
check "$(share "$out/preview.png" 'r<0.03&&g<0.03&&b>0.09&&b<0.16' "$geometry")" '>' 0.3 "dark blue share, preview"
((status == hard)) || echo "picture: the preview is not shown by this Wine; not counted as a failure" >&2
status=$hard
echo "picture: screenshots in $out"
exit $status
