#!/usr/bin/env bash
# Memory soak, run by hand (not in CI): runs the saver through many image changes and samples its
# resident memory, to show whether the low point between images or the peak climbs over a long run.
# Usage: tools/soak/soak.sh linux|wine [--seconds N] [--detail 0..4] [--images LIST] [--arrays]
#                                      [--program PATH] [--out FILE.csv]
#   linux  the X11 saver (--window) on a virtual display
#   wine   the Windows saver full screen (/s) under Wine, monitor mode 2, on two virtual monitors
#   --images 3   show only these images (e.g. the largest one, every time)
#   --arrays     hide buffer objects from Mesa (GL 1.4, no ARB_vertex_buffer_object), so every frame
#                is drawn through client arrays: the run to compare the buffer path's peak with
# An image lasts the shortest interval the settings allow (45 s) plus its build and two fades of 100
# frames each, drawn through client arrays: on a busy machine at detail 4 a fade alone can take a
# minute, so give it time (default --seconds 1500; ten image changes take at least 8 minutes). Writes
# "seconds,rss_kb,peak_kb" samples (one every second) to FILE.csv and prints, for each minute, its
# lowest and highest resident memory.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/lib/session.sh"

usage() {
  echo "usage: $0 linux|wine [--seconds N] [--detail 0..4] [--images LIST] [--arrays] [--program PATH] [--out FILE.csv]" >&2
}
mode=${1:-}; shift || true
seconds=1500
detail=4
images=0,1,2,3,4
program=
out=soak-$mode.csv
while (($#)); do
  case $1 in
    --seconds) seconds=$2; shift 2 ;;
    --detail) detail=$2; shift 2 ;;
    --images) images=$2; shift 2 ;;
    --arrays) export MESA_GL_VERSION_OVERRIDE=1.4 MESA_EXTENSION_OVERRIDE=-GL_ARB_vertex_buffer_object; shift ;;
    --program) program=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    *) usage; exit 2 ;;
  esac
done
[[ $images =~ ^[0-4](,[0-4])*$ ]] || { usage; exit 2; }

work=$(mktemp -d)
saver=
cleanup() {
  [[ -n $saver ]] && kill "$saver" 2>/dev/null || true
  stop_session
  rm -rf "$work"
}
trap cleanup EXIT

case $mode in
  linux)
    program=${program:-$root/build/native/src/shell/x11/orbivane}
    start_display -screen 0 1280x1024x24
    "$program" --window --geometry 640x400+0+0 --no-settings-file --detail-level "$detail" --interval 45 --light-source moving \
      --images "$images" &
    saver=$!
    ;;
  wine)
    program=${program:-$root/build/windows/src/shell/Orbivane.scr}
    start_display +xinerama -screen 0 640x480x24 -screen 1 800x600x24
    start_private_wine "$work"
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1
    for setting in "detail_level $detail" "monitor_mode 2" "interval_option 0" "light_source 1"; do
      set -- $setting
      wine reg add 'HKCU\Software\Orbivane' /v "$1" /t REG_DWORD /d "$2" /f >/dev/null 2>&1
    done
    for n in 0 1 2 3 4; do
      shown=0; [[ ,$images, == *,$n,* ]] && shown=1
      wine reg add 'HKCU\Software\Orbivane' /v "image_$n" /t REG_DWORD /d "$shown" /f >/dev/null 2>&1
    done
    wineserver -k >/dev/null 2>&1 || true
    wineserver -p >/dev/null 2>&1 </dev/null
    wine "$program" /s &
    saver=$!
    ;;
  *)
    usage
    exit 2
    ;;
esac

# Wine's loader hands over to the Windows process: follow the largest process that names the saver
# and runs in this soak's prefix (this script names it too; a build or test run beside it may as well).
rss_pid() {
  if [[ $mode == wine ]]; then
    local pid best= most=0 rss
    for pid in $(pgrep -u "$(id -u)" -f "$(basename "$program")" || true); do
      grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null || continue
      rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || true)
      [[ -n $rss ]] && ((rss > most)) && { most=$rss; best=$pid; }
    done
    echo "$best"
  else
    echo "$saver"
  fi
}

# Each sample is the resident memory now and the highest it reached since the last sample: the
# kernel's high-water mark, reset after each reading, catches what lasts less than a second (an image
# build on a fast machine).
echo "seconds,rss_kb,peak_kb" >"$out"
start=$SECONDS
while ((SECONDS - start < seconds)); do
  pid=$(rss_pid)
  if [[ -n $pid ]]; then
    sample=$(awk '/^VmHWM/ {hwm = $2} /^VmRSS/ {rss = $2} END {if (rss) print rss "," hwm}' "/proc/$pid/status" 2>/dev/null || true)
    echo 5 >"/proc/$pid/clear_refs" 2>/dev/null || true
    [[ -n $sample ]] && echo "$((SECONDS - start)),$sample" >>"$out"
  fi
  kill -0 "$saver" 2>/dev/null || { echo "soak: the saver ended early" >&2; break; }
  sleep 1
done

# Lowest and highest resident memory of each minute, in MiB.
awk -F, 'NR > 1 { s = int($1 / 60); if (!(s in lo) || $2 < lo[s]) lo[s] = $2; if ($3 > hi[s]) hi[s] = $3; n = s }
         END { print "minute  low_MiB  high_MiB"; for (s = 0; s <= n; ++s) if (s in lo)
               printf "%7d  %6.0f  %7.0f\n", s, lo[s] / 1024, hi[s] / 1024 }' "$out"
