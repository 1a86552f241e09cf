#!/bin/sh
# Runs a GUI test program under a virtual X server. Where none can be started the program
# runs without a display, and its tests skip themselves with a message. Other programs may
# be starting servers at the same time, so the search starts at a number of our own and a
# run that lost its server to such a race is tried again from another number.
program="$1"; shift
if command -v xvfb-run >/dev/null 2>&1; then
  for attempt in 1 2 3 4; do
    log=$(mktemp)
    start=$(( 100 + ($$ * 7 + attempt * 97) % 800 ))
    xvfb-run -a -n "$start" -s "-screen 0 1024x768x24" "$program" "$@" 2>"$log"
    status=$?
    if grep -q "Xvfb failed to start\|Can't open display" "$log"; then
      last=$(cat "$log"); rm -f "$log"; continue
    fi
    cat "$log" >&2; rm -f "$log"; exit $status
  done
  printf '%s\n' "$last" >&2
fi
env -u DISPLAY "$program" "$@"
