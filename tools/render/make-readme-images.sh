#!/usr/bin/env bash
# Renders the README's pictures of the five built-in images into docs/images/view-K.png.
# Usage: tools/render/make-readme-images.sh [path/to/orbivane-render]   (default: the native build's)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tool=${1:-$root/build/native/tools/render/orbivane-render}
mkdir -p "$root/docs/images"
for view in 0 1 2 3 4; do
  # 120 ticks: the 100-tick fade-in is complete and the tube has turned a little.
  "$tool" --view "$view" --detail 2 --size 800x500 --ticks 120 --seed 2 --out "$root/docs/images/view-$view.png"
done
