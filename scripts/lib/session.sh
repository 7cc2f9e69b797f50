# Sourced by the scripts: starts a virtual X display and a persistent Wine server, and stops both on exit.
# Sets DISPLAY, WINEPREFIX, WINEDEBUG. Call start_display [screen-args...], then start_wine <prefix-dir>.

session_pids=()

stop_session() {
  if [[ -n ${WINEPREFIX:-} ]] && command -v wineserver >/dev/null; then
    wineserver -k >/dev/null 2>&1 || true
  fi
  for pid in "${session_pids[@]}"; do
    kill "$pid" >/dev/null 2>&1 || true
  done
  for pid in "${session_pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  session_pids=()
}

# Starts Xvfb on a free display (it writes the number it picked to a file descriptor).
start_display() {
  local fifo; fifo=$(mktemp -u)
  mkfifo "$fifo"
  local args=("$@")
  ((${#args[@]})) || args=(-screen 0 1280x1024x24)
  Xvfb -displayfd 3 -nolisten tcp -noreset +extension GLX "${args[@]}" 3>"$fifo" >/dev/null 2>&1 &
  session_pids+=($!)
  local n
  if ! read -r -t 20 n <"$fifo"; then
    rm -f "$fifo"; echo "session: Xvfb did not start" >&2; return 1
  fi
  rm -f "$fifo"
  export DISPLAY=":$n"
}

# Creates (once) and warms a Wine prefix, with a persistent server so that Wine's background
# services do not hold the test runner's output pipes.
start_wine() {
  export WINEPREFIX=$1
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
  mkdir -p "$WINEPREFIX"
  wineserver -p >/dev/null 2>&1 </dev/null
  wine cmd /c exit >/dev/null 2>&1 </dev/null || true
  # Without a window manager, an unmanaged Wine makes every full-screen window's destruction wait 2 s.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1 </dev/null || true
  # A fault a program does not handle goes to the system's crash handling first. With no debugger to
  # start there, Wine hands it back to the program at once, instead of opening a crash window that waits
  # for a click.
  local aedebug='HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug'
  wine reg add "$aedebug" /v Debugger /d '' /f >/dev/null 2>&1 </dev/null || true
  wine reg add "$aedebug" /v Auto /d 1 /f >/dev/null 2>&1 </dev/null || true
}

# A Wine session of its own in a copy of the current prefix (Wine's server is per prefix), for tests
# that need their own display beside the shared one. Call after start_display.
start_private_wine() {  # workdir
  if [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]]; then
    cp -a "$WINEPREFIX" "$1/prefix"
  fi
  unset WINEPREFIX
  start_wine "$1/prefix"
}
