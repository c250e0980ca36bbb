# Sourced by the test scripts that need a vac-standin process.
# start_standin OUTPUT_FILE VAC_STANDIN [options...]: starts it on a free loopback port and sets
# standin_pid and port; calls the sourcing script's fail when the stand-in ends or reports no port.
start_standin() {
  local out=$1
  shift
  # The file exists before the server starts, so the port loop never reads a file not yet made.
  : >"$out"
  "$@" --port 0 >"$out" 2>&1 &
  standin_pid=$!
  port=""
  for _ in $(seq 1 100); do
    port=$(sed -n 's/^port=\([0-9]*\)$/\1/p' "$out" | head -n 1)
    [ -n "$port" ] && return 0
    kill -0 "$standin_pid" 2>/dev/null || fail "vac-standin ended: $(cat "$out")"
    sleep 0.1
  done
  fail "vac-standin did not report its port"
}
