#!/bin/sh
# Zips the page's folder so that the same sources give the same bytes: names sorted, no owner or extra
# times, and every member dated SOURCE_DATE_EPOCH when that is set (seconds since 1970, read as UTC).
# Usage: zip_page.sh <parent-dir> <folder-name> <out.zip>
set -eu
cd "$1"
rm -f "$3"
if [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
  find "$2" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
fi
find "$2" | LC_ALL=C sort | TZ=UTC zip -X -q -D -@ "$3"
