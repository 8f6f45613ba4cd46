# Shared by the whole-program checks: counting failures, waiting for a condition, finding a
# window. Sourced, not run.

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# Runs COMMAND... every tenth of a second until it succeeds or SECONDS pass; its status.
wait_until() {
  local seconds=$1 i
  shift
  for ((i = 0; i < seconds * 10; i++)); do
    "$@" && return 0
    sleep 0.1
  done
  "$@"
}

# True while process PID runs.
running() { kill -0 "$1" 2>/dev/null; }
ended() { ! running "$1"; }

# True when the capture file FILE holds a note-on.
has_note_ons() { grep -q ' 9[0-9A-F] ' "$1" 2>/dev/null; }

# Prints the visible window whose caption matches the pattern CAPTION and whose geometry
# starts with SIZE ("430x", "640x520"; any size when empty); fails when there is none.
find_window() {
  local id
  for id in $(xdotool search --onlyvisible --name "$1" 2>/dev/null); do
    if [ -z "${2:-}" ] || xdotool getwindowgeometry "$id" | grep -q "Geometry: $2"; then
      echo "$id"
      return 0
    fi
  done
  return 1
}
