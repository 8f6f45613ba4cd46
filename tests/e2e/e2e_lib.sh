# Shared by the whole-program checks: starting under a virtual display, counting failures,
# waiting for a condition, finding a window. Sourced, not run.

# Exits 77 (skipped) unless every need is met: a command's name, "imagemagick" (import and
# identify by their full paths: another "convert" may come first in PATH), "mido" (the system
# interpreter's python3-mido, which reads played songs) or "locale:NAME".
need() {
  local what
  for what in "$@"; do
    case $what in
      imagemagick) [ -x /usr/bin/import ] && [ -x /usr/bin/identify ] || { echo "skipped: ImageMagick is missing"; exit 77; } ;;
      mido) /usr/bin/python3 -c 'import mido' 2>/dev/null || { echo "skipped: python3-mido is missing"; exit 77; } ;;
      locale:*) locale -a | grep -qix "${what#locale:}" || { echo "skipped: the ${what#locale:} locale is missing"; exit 77; } ;;
      *) command -v "$what" >/dev/null || { echo "skipped: $what is missing"; exit 77; } ;;
    esac
  done
}

# Runs the calling script again under a virtual X display of SIZE (WIDTHxHEIGHT), with
# "--inside" before its arguments, once Xvfb and xdotool are there and it was given as many
# arguments as USAGE names. The script calls it unless its first argument is "--inside".
#   restart_under_xvfb SIZE "USAGE" ARGS...
restart_under_xvfb() {
  local size=$1 usage=$2
  shift 2
  need xvfb-run Xvfb xdotool
  local -a names=($usage)
  [ $# -eq ${#names[@]} ] || { echo "usage: $0 $usage" >&2; exit 2; }
  exec xvfb-run -a -s "-screen 0 ${size}x24" bash "$0" --inside "$@"
}

# Makes FOLDER if needed and prints its absolute path.
output_folder() { mkdir -p "$1" && realpath "$1"; }

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
