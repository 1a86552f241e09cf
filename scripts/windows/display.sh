# Sourced by the Windows scripts: a private X server for Wine's windows and Direct3D.
# start_display [first display number] starts Xvfb on the first free number from there
# (default 90) and exports DISPLAY; start_display_if_none does so only when no DISPLAY is
# given; stop_display stops the server this script started, if any.
xvfb_pid=""
start_display() {
  local n
  for n in $(seq "${1:-90}" "$((${1:-90} + 30))"); do
    if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then break; fi
  done
  Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=":$n"
  sleep 1
}
start_display_if_none() {
  if [ -z "${DISPLAY:-}" ]; then start_display "$@"; fi
}
stop_display() {
  if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  xvfb_pid=""
}
