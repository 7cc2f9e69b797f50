#!/usr/bin/env bash
# Checks the .deb: its file list and fields, lintian, and the saver unpacked into a scratch root running
# from there (--help, and a short --window run on a virtual display).
# Usage: deb.sh <orbivane_VERSION_ARCH.deb> <version>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/session.sh"
source "$here/checks.sh"
deb=$1 version=$2
work=$(mktemp -d)
cleanup() { stop_session; rm -rf "$work"; }
trap cleanup EXIT

# Files: exactly these, in the distribution's places, the manual page compressed.
dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | sort >"$work/files"
printf '%s\n' usr/libexec/xscreensaver/orbivane usr/share/applications/screensavers/orbivane.desktop \
  usr/share/doc/orbivane/changelog.gz usr/share/doc/orbivane/copyright \
  usr/share/man/man6/orbivane.6.gz usr/share/xscreensaver/config/orbivane.xml | sort >"$work/want"
expect "file list" diff -u "$work/want" "$work/files"
expect "every file owned by root" bash -c "! dpkg-deb -c '$deb' | awk '{ print \$2 }' | grep -qvx root/root"

field() { dpkg-deb -f "$deb" "$1"; }
expect "Package orbivane" test "$(field Package)" = orbivane
expect "Version $version" test "$(field Version)" = "$version"
expect "Architecture amd64" test "$(field Architecture)" = amd64
expect "Suggests xscreensaver" test "$(field Suggests)" = xscreensaver
# Worked out from the program's libraries by dpkg-shlibdeps, with versions.
depends=$(field Depends)
for lib in 'libc6 (>=' libx11-6 'libstdc++6 (>='; do
  expect "Depends names $lib" grep -qF "$lib" <<<"$depends"
done

# lintian: no errors. Warnings are listed for the reader.
lintian --tag-display-limit 0 "$deb" >"$work/lintian" 2>&1 || true
grep -v '^running with root' "$work/lintian" || true
expect "lintian reports no errors" bash -c "! grep -q '^E: ' '$work/lintian'"

# Unpacked into a scratch root: stripped, names its installed path, and runs from there.
root="$work/root"
dpkg-deb -x "$deb" "$root"
program="$root/usr/libexec/xscreensaver/orbivane"
expect "program stripped (no symbol table)" bash -c "! readelf -S '$program' | grep -q '\.symtab'"
desktop="$root/usr/share/applications/screensavers/orbivane.desktop"
expect "desktop entry runs the installed program" grep -qx 'Exec=/usr/libexec/xscreensaver/orbivane --root' "$desktop"
# The one version, from the build, in each place that shows it.
for check in "changelog:zcat '$root/usr/share/doc/orbivane/changelog.gz' | head -1 | grep -qF 'orbivane ($version)'" \
  "manual page:zcat '$root/usr/share/man/man6/orbivane.6.gz' | grep -qE '^\.TH ORBIVANE 6 \"[0-9]{4}-[0-9]{2}-[0-9]{2}\" \"Orbivane $version\"'" \
  "--help:'$root/usr/libexec/xscreensaver/orbivane' --help | grep -qF 'Orbivane $version:'"; do
  expect "${check%%:*} names version $version" bash -c "${check#*:}"
done
expect "manual page formats without warnings" bash -c \
  "test -z \"\$(MANWIDTH=80 man --warnings -l '$root/usr/share/man/man6/orbivane.6.gz' 2>&1 >/dev/null)\""
expect "--help prints the usage" bash -c "'$program' --help | grep -q '^Usage: orbivane'"

start_display -screen 0 640x480x24
"$program" --window --detail-level 0 >"$work/saver.log" 2>&1 &
pid=$!
expect "--window draws the tube" wait_until 90 screen_shows_tube "$work"
expect "--window still running" kill -0 "$pid"
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
finish
