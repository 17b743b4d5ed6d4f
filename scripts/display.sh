# Sourced: starts a private Xvfb on a free display number and records its pid.
#   quorle_start_xvfb   sets DISPLAY and QUORLE_XVFB_PID
#   quorle_stop_xvfb    stops that Xvfb (and only that one)
quorle_start_xvfb() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  QUORLE_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && return 0
    kill -0 "$QUORLE_XVFB_PID" 2>/dev/null || break
    sleep 0.1
  done
  echo "could not start Xvfb on :$n" >&2
  return 1
}

quorle_stop_xvfb() {
  if [ -n "${QUORLE_XVFB_PID:-}" ]; then
    kill "$QUORLE_XVFB_PID" 2>/dev/null
    wait "$QUORLE_XVFB_PID" 2>/dev/null
    QUORLE_XVFB_PID=
  fi
}
