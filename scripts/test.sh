#!/usr/bin/env bash
# Runs every test: installs what is missing, builds both trees, runs the native tests, then the
# Windows tests under Wine on a virtual display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all

source "$root/scripts/lib/session.sh"
trap stop_session EXIT
start_display -screen 0 1280x1024x24
start_wine "$root/build/windows/wineprefix"

status=0
ctest --test-dir "$root/build/native" --output-on-failure -j "$(nproc)" || status=1
ctest --test-dir "$root/build/windows" --output-on-failure -j "$(nproc)" || status=1
exit $status
