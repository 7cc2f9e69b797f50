#!/usr/bin/env bash
# Makes the program's pictures in resources/pictures/ from renderings of the tube by orbivane-render.
#
#   tools/pictures/make-pictures.sh [--renderer PATH] [--placeholder]
#
# Without --renderer the script looks for orbivane-render in $ORBIVANE_RENDER, then in build/native
# (scripts/build.sh native makes it). --placeholder draws stand-in pictures with ImageMagick alone, for a
# tree that has no renderer yet. Needs ImageMagick's convert. The results are committed; rerun this after
# a change to the views or the renderer.
#
# Output (all in resources/pictures/):
#   image-0.bmp .. image-4.bmp  thumbnails of the five views in order, 160 x 100, 24-bit (bitmaps 3301-3305)
#   about.bmp                   the About tab's picture, 150 x 135, 24-bit (bitmap 9003)
#   orbivane.ico                16, 32, 48 and 64 pixels, 32 bits per pixel (icon 9001)
#   orbivane-small.ico          16 and 32 pixels, 32 bits per pixel (icon 9002)
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out="$root/resources/pictures"
renderer=${ORBIVANE_RENDER:-}
placeholder=0

while (($#)); do
  case $1 in
    --renderer) renderer=$2; shift 2 ;;
    --placeholder) placeholder=1; shift ;;
    *) echo "usage: $0 [--renderer PATH] [--placeholder]" >&2; exit 2 ;;
  esac
done

if ((!placeholder)) && [[ -z $renderer ]]; then
  renderer=$(find "$root/build/native" -type f -name orbivane-render -perm -u+x 2>/dev/null | head -n 1 || true)
fi
if ((!placeholder)) && [[ -z $renderer || ! -x $renderer ]]; then
  echo "make-pictures: orbivane-render not found; build it (scripts/build.sh native) or pass --placeholder" >&2
  exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"

# Ticks of 20 ms run before a picture is taken: 8 seconds, past the 2-second fade-in, with the tube turned
# into the frame. A fixed clock start (--seed) fixes the random choices, so every run makes the same pictures.
ticks=400
detail=2

# render <view> <width>x<height> <png> [ticks]: one picture of a view, by the renderer or as a stand-in.
render() {
  local view=$1 size=$2 png=$3
  if ((placeholder)); then
    local colours=(orange blue green red purple)
    convert -size "$size" "radial-gradient:${colours[$view]}-black" \
      -fill white -gravity center -pointsize 18 -annotate 0 "$((view + 1))" "PNG24:$png"
  else
    "$renderer" --view "$view" --detail "$detail" --size "$size" --ticks "${4:-$ticks}" --seed 2 --out "$png"
  fi
}

# to_bmp <png> <width>x<height> <bmp>: scaled to fill the size, centred crop, 24-bit uncompressed bitmap.
to_bmp() {
  convert "$1" -resize "$2^" -gravity center -extent "$2" -alpha off -type TrueColor "BMP3:$3"
}

# to_ico <png> <sizes> <ico>: the tube cut out of the black around it and centred on a square, so that the
# whole ring shows even at 16 pixels; black made transparent, 32-bit entries.
to_ico() {
  local png=$1 sizes=$2 ico=$3 parts=() side
  convert "$png" -fuzz 3% -trim +repage "$work/icon-trimmed.png"
  side=$(identify -format '%[fx:max(w,h)+4]' "$work/icon-trimmed.png")
  convert "$work/icon-trimmed.png" -gravity center -background black -extent "${side}x${side}" "$work/icon-square.png"
  for s in ${sizes//,/ }; do
    convert "$work/icon-square.png" -resize "${s}x${s}" \
      -fuzz 3% -transparent black -alpha set -define png:color-type=6 "PNG32:$work/icon-$s.png"
    parts+=("$work/icon-$s.png")
  done
  convert "${parts[@]}" -define icon:format=bmp "ICO:$ico"
}

for view in 0 1 2 3 4; do
  render "$view" 320x200 "$work/view-$view.png"
  to_bmp "$work/view-$view.png" 160x100 "$out/image-$view.bmp"
done

# The About control is shorter than the picture and shows its middle, filling around it with the picture's
# top-left colour: the rendering takes the middle band and black (the renderer's background) the rest.
render 0 300x210 "$work/about.png"
convert "$work/about.png" -resize 150x105^ -gravity center -extent 150x105 \
  -background black -extent 150x135 "PNG24:$work/about-framed.png"
to_bmp "$work/about-framed.png" 150x135 "$out/about.bmp"

# The icon: view 0 after 18 seconds, when the tube has turned to face the eye as a ring.
render 0 256x256 "$work/icon.png" 900
to_ico "$work/icon.png" 16,32,48,64 "$out/orbivane.ico"
to_ico "$work/icon.png" 16,32 "$out/orbivane-small.ico"

echo "make-pictures: wrote $(ls "$out" | wc -l) files to $out$( ((placeholder)) && echo ' (stand-ins)')"
