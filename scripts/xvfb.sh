# Sourced by the scripts: starts one private Xvfb unless a display is already usable, exports
# DISPLAY and XDG_RUNTIME_DIR, and kills the server by its PID when the calling shell exits.
gw_start_xvfb() {
  export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d)}"
  chmod 700 "$XDG_RUNTIME_DIR" 2>/dev/null || true
  if [ -n "${GW_KEEP_DISPLAY:-}" ] && [ -n "${DISPLAY:-}" ]; then return 0; fi
  local n=90
  while [ -e "/tmp/.X${n}-lock" ] || [ -e "/tmp/.X11-unix/X${n}" ]; do n=$((n + 1)); done
  Xvfb ":${n}" -screen 0 1600x1200x24 -nolisten tcp >/dev/null 2>&1 &
  GW_XVFB_PID=$!
  trap 'kill "$GW_XVFB_PID" 2>/dev/null || true' EXIT
  for _ in $(seq 1 100); do
    [ -e "/tmp/.X11-unix/X${n}" ] && break
    sleep 0.1
  done
  export DISPLAY=":${n}"
}
