# Sourced by the package tests: checks that count failures, and waiting for a condition with a time limit.
failures=0

pass() { echo "ok: $*"; }
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
expect() {  # description command...: passes when the command succeeds
  local what=$1; shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}

# Runs a command every 0.2 s until it succeeds; gives up after the limit (seconds).
wait_until() {  # limit command...
  local limit=$1; shift
  local end=$((SECONDS + limit))
  until "$@"; do
    ((SECONDS < end)) || return 1
    sleep 0.2
  done
}

# Share of the screen's pixels that are clearly coloured (the tube, not the black or grey around it): the
# chroma (max - min of red, green, blue) above 0.1. The same as an -fx expression, a hundred times faster.
coloured_share() {  # work-dir
  xwd -root -silent >"$1/screen.xwd" &&
    convert "$1/screen.xwd" -colorspace HCL -channel G -separate +channel -threshold 10% -format '%[fx:mean]' info:
}
screen_shows_tube() {  # work-dir
  local share; share=$(coloured_share "$1") || return 1
  awk -v v="$share" 'BEGIN { exit !(v > 0.02) }'
}

finish() {
  if ((failures)); then echo "$failures check(s) failed" >&2; exit 1; fi
  echo "all checks passed"
}
