#!/usr/bin/env bash
# Runs Orbivane.scr through Wine. With a display: full screen on it (any input ends the saver).
# Without one: on a virtual display for a few seconds, saving a screenshot whose path it prints.
# Switches pass through: "/c" shows the settings, "/p" runs a preview in a test window; default "/s".
# Usage: scripts/run-saver.sh [switch...]      Environment: SAVER_SECONDS (virtual display, default 6)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
saver="$root/build/windows/src/shell/Orbivane.scr"
[[ -x $saver ]] || "$root/scripts/build.sh" windows
source "$root/scripts/lib/session.sh"
trap stop_session EXIT

args=("$@")
((${#args[@]})) || args=(/s)

# A preview needs a window to live in: the shell tests' host window serves as the preview box.
run() {
  case ${args[0]} in
    [/-][pPlL]*)
      wine "$root/build/windows/tests/shell/shell_win32_tests.exe" --gtest_also_run_disabled_tests \
        --gtest_filter='PreviewPicture.*' ;;
    *) wine "$saver" "${args[@]}" ;;
  esac
}

if [[ -n ${DISPLAY:-} ]]; then
  start_wine "$root/build/windows/wineprefix"
  run
  exit $?
fi

start_display -screen 0 1280x1024x24
start_wine "$root/build/windows/wineprefix"
run &
pid=$!
sleep "${SAVER_SECONDS:-6}"
shot="$root/build/saver-$(date +%Y%m%d-%H%M%S).png"
xwd -root -silent | convert xwd:- "$shot"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
echo "screenshot: $shot"
