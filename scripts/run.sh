#!/usr/bin/env bash
# Runs the program: installs what is missing, builds, then runs it.
# For now: the tube tool on the default view (view 0, detail 1.0). Arguments pass through to the tool.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
"$root/scripts/build.sh" native
if (($#)); then
  exec "$root/build/native/tools/tube/orbivane-tube" "$@"
fi
exec "$root/build/native/tools/tube/orbivane-tube" --view 0 --detail 1.0
