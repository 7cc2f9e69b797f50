#!/usr/bin/env bash
# Runs a Windows test program on a virtual display with two side-by-side monitors.
# Usage: two_monitors.sh <program.exe> [arguments...]
# Starts its own Xvfb (Xinerama, two screens) and its own Wine session in a copy of the build's prefix,
# so that the test neither disturbs nor depends on the display the other tests use.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/session.sh"
program=$1; shift

work=$(mktemp -d)
cleanup() { stop_session; rm -rf "$work"; }
trap cleanup EXIT

start_display +xinerama -screen 0 640x480x24 -screen 1 800x600x24
start_private_wine "$work"
# Monitors from Xinerama rather than XRandR, which reports one screen.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v UseXRandR /d N /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 </dev/null
wine "$program" "$@"
