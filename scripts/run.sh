#!/usr/bin/env bash
# Runs the program: installs what is missing, builds, then runs the Windows screen saver through Wine.
# Switches pass through: no switch (or /s) runs full screen, /c shows the settings, /p a preview.
# Without a display it runs on a virtual one for a few seconds and prints the path of a screenshot.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" windows
exec "$root/scripts/run-saver.sh" "$@"
