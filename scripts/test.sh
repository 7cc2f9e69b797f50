#!/usr/bin/env bash
# Runs every test: installs what is missing, builds the four trees (the web page too), runs the native
# tests (the page's in headless Chromium among them), the Windows tests under Wine on a virtual display,
# then the native tests again with the sanitizers, and each fuzz target briefly on its seed corpus.
# Prints how long each step took.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
started=$SECONDS
step() { echo "test.sh: $1 took $((SECONDS - started)) s"; started=$SECONDS; }
"$root/scripts/setup.sh"
"$root/scripts/build.sh" all
step "setup and the native and Windows builds"
"$root/scripts/build.sh" web  # the page, tested by the native tree's WebPage tests
step "the web page's build"
"$root/scripts/build.sh" asan
step "the sanitizer build"

source "$root/scripts/lib/session.sh"
trap stop_session EXIT
start_display -screen 0 1280x1024x24
start_wine "$root/build/windows/wineprefix"

status=0
ctest --test-dir "$root/build/native" --output-on-failure -j "$(nproc)" || status=1
step "the native tests"
ctest --test-dir "$root/build/windows" --output-on-failure -j "$(nproc)" || status=1
step "the Windows tests"
source "$root/scripts/lib/sanitizers.sh"
# The saver program's own runs on X are left out here: their one-second exit check cannot hold while the
# leak check runs at exit, and the GL driver is unloaded before it, hiding which library its leaks are in.
ctest --test-dir "$root/build/asan" --output-on-failure -j "$(nproc)" -E '^SaverOnX\.' || status=1
step "the sanitizer tests and fuzz runs"
exit $status
