#!/usr/bin/env bash
# Checks the Windows packages. The zip: its files, a stripped Orbivane.scr. The installer, in a fresh Wine
# prefix on a display of its own: a silent install puts the saver into the system folder, registers it
# for uninstall and makes it the user's screen saver; the installed saver runs (/s draws, /c opens its
# dialog); installing over itself works; the silent uninstall removes saver, entry and SCRNSAVE.EXE and
# keeps the user's settings. Then the switches: /NOTCURRENT, and /REMOVESETTINGS with another saver chosen.
# Last the signed installer: its signatures, and those of the saver and uninstaller it installs, verify.
# Usage: windows.sh <setup.exe> <zip> <version> <objdump for PE files> <signed setup.exe> <its certificate>
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/session.sh"
source "$here/checks.sh"
setup=$1 zip=$2 version=$3 objdump=$4 signed_setup=$5 certificate=$6
work=$(mktemp -d)
cleanup() { stop_session; rm -rf "$work"; }
trap cleanup EXIT

# --- The zip -----------------------------------------------------------------------------------------
expect "zip holds Orbivane.scr and README.txt" \
  test "$(unzip -Z1 "$zip" | sort | tr '\n' ' ')" = "Orbivane.scr README.txt "
unzip -q "$zip" -d "$work/zip"
stripped() { ! "$objdump" -h "$1" | grep -q '\.debug_'; }
# Each cpack generator strips its own copy, and strip stamps the PE header with the time (and so the
# checksum): the same program differs only within the first 512 bytes.
same_program() {
  [[ $(stat -c %s "$1") == $(stat -c %s "$2") ]] && { cmp -l "$1" "$2" || true; } | awk '$1 > 512 { exit 1 }'
}
expect "zip's Orbivane.scr stripped" stripped "$work/zip/Orbivane.scr"
expect "README.txt says how to install" grep -q 'Right-click Orbivane.scr and choose "Install"' "$work/zip/README.txt"
expect "README.txt has Windows line ends" grep -q $'\r$' "$work/zip/README.txt"
expect "Orbivane.scr's version block says $version.0" \
  bash -c "strings -el '$work/zip/Orbivane.scr' | grep -A1 -x FileVersion | tail -1 | grep -qx '$version.0'"
signed_by_test_certificate() { osslsigncode verify -CAfile "$certificate" -in "$1" >/dev/null 2>&1; }
expect "unsigned packages: Orbivane.scr carries no signature" bash -c "! osslsigncode extract-signature \
  -in '$work/zip/Orbivane.scr' -out '$work/none.p7' >/dev/null 2>&1"

# --- The installer -----------------------------------------------------------------------------------
start_display -screen 0 640x480x24
start_private_wine "$work"
drive_c="$WINEPREFIX/drive_c"
scr="$drive_c/windows/system32/Orbivane.scr"
uninstaller="$drive_c/Program Files/Orbivane/uninstall.exe"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Orbivane'
desktop_key='HKCU\Control Panel\Desktop'

# One value from the registry ("" when absent).
reg_value() {  # key name
  wine reg query "$1" /v "$2" 2>/dev/null </dev/null | tr -d '\r' |
    awk -v n="$2" 'tolower($1) == tolower(n) { $1 = ""; $2 = ""; sub(/^  /, ""); print; exit }'
}
reg_key_absent() { ! wine reg query "$1" >/dev/null 2>&1 </dev/null; }

install() {  # what switches...
  local what=$1; shift
  local rc=0
  wine "${installer:-$setup}" /S "$@" >/dev/null 2>&1 </dev/null || rc=$?
  expect "$what: exit code 0" test "$rc" -eq 0
}
# The uninstaller copies itself away and returns at once: wait for it to remove its own file, its last step.
uninstall() {  # what switches...
  local what=$1; shift
  local quiet; quiet=$(reg_value "$uninstall_key" QuietUninstallString)
  expect "$what: QuietUninstallString is the uninstaller with /S" \
    test "$quiet" = '"C:\Program Files\Orbivane\uninstall.exe" /S'
  wine 'C:\Program Files\Orbivane\uninstall.exe' /S "$@" >/dev/null 2>&1 </dev/null || true
  expect "$what: the uninstaller finishes" wait_until 60 test ! -e "$uninstaller"
  expect "$what: Orbivane.scr removed" test ! -e "$scr"
  expect "$what: uninstall entry removed" reg_key_absent "$uninstall_key"
}
installed_checks() {  # what
  expect "$1: the zip's Orbivane.scr in the system folder" same_program "$scr" "$work/zip/Orbivane.scr"
  # The uninstall entry: complete, and its paths name the installed files.
  local name
  for name in DisplayName Publisher; do
    [[ -n $(reg_value "$uninstall_key" $name) ]] || fail "$1: the uninstall entry lacks $name"
  done
  for name in "DisplayVersion=$version" NoModify=0x1 NoRepair=0x1; do
    expect "$1: $name" test "$(reg_value "$uninstall_key" "${name%%=*}")" = "${name#*=}"
  done
  expect "$1: DisplayIcon names the saver" \
    test "$(reg_value "$uninstall_key" DisplayIcon)" = 'C:\windows\system32\Orbivane.scr,0'
  expect "$1: UninstallString names the uninstaller" test -f "$uninstaller" -a \
    "$(reg_value "$uninstall_key" UninstallString)" = '"C:\Program Files\Orbivane\uninstall.exe"'
  # In KiB: at least the saver's size, and not much more than saver and uninstaller.
  local size=$(($(reg_value "$uninstall_key" EstimatedSize)))
  local floor=$(($(stat -c %s "$scr") / 1024)) ceiling=$((($(stat -c %s "$scr") + $(stat -c %s "$uninstaller")) / 1024 + 8))
  expect "$1: EstimatedSize $size KiB within $floor..$ceiling" test "$size" -ge "$floor" -a "$size" -le "$ceiling"
}
# SCRNSAVE.EXE names the installed saver: a path without spaces (the system's short form) that Wine
# resolves to the installed file.
names_installed_saver() {
  local value; value=$(reg_value "$desktop_key" SCRNSAVE.EXE)
  [[ -n $value && $value != *" "* ]] || return 1
  local unix; unix=$(winepath -u "$value" 2>/dev/null </dev/null | tr -d '\r') || return 1
  [[ -f $unix ]] && cmp -s "$unix" "$scr"
}

# A user setting from before, which no uninstall without /REMOVESETTINGS may touch.
wine reg add 'HKCU\Software\Orbivane' /v detail_level /t REG_DWORD /d 3 /f >/dev/null 2>&1 </dev/null
install "first install"
installed_checks "first install"
expect "SCRNSAVE.EXE names the installed saver" names_installed_saver
expect "ScreenSaveActive is 1" test "$(reg_value "$desktop_key" ScreenSaveActive)" = 1

# The installed saver runs: full screen draws the tube, /c opens the settings dialog.
draws_tube() {  # what
  wine 'C:\windows\system32\Orbivane.scr' /s >/dev/null 2>&1 </dev/null &
  local pid=$!
  expect "$1: installed Orbivane.scr /s draws the tube" wait_until 120 screen_shows_tube "$work"
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
draws_tube "first install"
wine 'C:\windows\system32\Orbivane.scr' /c >/dev/null 2>&1 </dev/null &
pid=$!
dialog_open() { xwininfo -root -tree 2>/dev/null | grep -q '"Orbivane Setup"'; }
expect "installed Orbivane.scr /c opens the settings dialog" wait_until 60 dialog_open
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true

install "reinstall over itself"
installed_checks "reinstall over itself"
uninstall "uninstall"
expect "uninstall: SCRNSAVE.EXE removed" test -z "$(reg_value "$desktop_key" SCRNSAVE.EXE)"
expect "uninstall: the user's settings kept" test "$(reg_value 'HKCU\Software\Orbivane' detail_level)" = 0x3
expect "uninstall: its folder removed" test ! -e "$drive_c/Program Files/Orbivane"

# Another screen saver chosen: /NOTCURRENT leaves it, and so does the uninstaller; /REMOVESETTINGS
# removes the user's settings.
other='C:\windows\system32\other.scr'
wine reg add "$desktop_key" /v SCRNSAVE.EXE /d "$other" /f >/dev/null 2>&1 </dev/null
install "install /NOTCURRENT" /NOTCURRENT
expect "install /NOTCURRENT: Orbivane.scr in the system folder" test -f "$scr"
expect "install /NOTCURRENT: the other saver stays chosen" test "$(reg_value "$desktop_key" SCRNSAVE.EXE)" = "$other"
uninstall "uninstall /REMOVESETTINGS" /REMOVESETTINGS
expect "uninstall /REMOVESETTINGS: the other saver stays chosen" test "$(reg_value "$desktop_key" SCRNSAVE.EXE)" = "$other"
expect "uninstall /REMOVESETTINGS: the user's settings removed" reg_key_absent 'HKCU\Software\Orbivane'

# The signed installer: it, and the saver and uninstaller it installs, carry signatures that verify, and
# the installed saver runs.
installer=$signed_setup
install "signed install"
for file in "$installer" "$scr" "$uninstaller"; do
  expect "signed install: $(basename "$file") signature verifies" signed_by_test_certificate "$file"
done
draws_tube "signed install"
uninstall "signed uninstall"
finish
