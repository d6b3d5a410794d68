# Sourced: start_display / stop_display manage a private Xvfb for windows
# and message boxes shown under Wine.
start_display() {
  if [ -n "${QUILL_DISPLAY:-}" ]; then export DISPLAY="$QUILL_DISPLAY"; return; fi
  local n
  for n in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
    QUILL_XVFB_PID=$!
    for _ in $(seq 1 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    return
  done
  echo "no free display number for Xvfb" >&2
  return 1
}
stop_display() {
  if [ -n "${QUILL_XVFB_PID:-}" ]; then kill "$QUILL_XVFB_PID" 2>/dev/null || true; fi
}
