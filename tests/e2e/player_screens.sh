#!/usr/bin/env bash
# Whole-window check: starts the real player under Xvfb once per plate type with a fresh
# settings folder and a one-song list, lets it play into a capture file, takes a screenshot,
# presses QUIT with the mouse and checks what was played and what was saved.
#
# usage: player_screens.sh TUNECASE PROGRAM_FOLDER OUTPUT_FOLDER SONG
# Exits 77 (skipped) when Xvfb, xdotool or ImageMagick's import is missing.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/e2e_lib.sh"
[ "${1:-}" = "--inside" ] || { need python3 imagemagick; restart_under_xvfb 1024x600 "TUNECASE PROGRAM_FOLDER OUTPUT_FOLDER SONG" "$@"; }
shift
# The test run may ask Qt for its offscreen platform; this check needs the X server.
unset QT_QPA_PLATFORM

TUNECASE=$(realpath "$1")
PROGRAM=$(realpath "$2")
OUT=$3
SONG=$(realpath "$4")
OUT=$(output_folder "$OUT")
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT


# The player window is the "PC TUNECASE" window that is 430 pixels wide (the plate window
# has the same caption).
find_player_window() { find_window '^PC TUNECASE$' 430x; }

run_plate() {
  local code=$1 name=$2
  local home="$WORK/$code"
  local config="$home/config"
  local capture="$home/capture.txt"
  mkdir -p "$home/data"
  python3 "$HERE/write_records.py" "$config/TNC" "$code" "$home/data" "$SONG" "Three tracks"

  (cd "$PROGRAM" && HOME="$home" XDG_CONFIG_HOME="$config" TUNECASE_MIDI_CAPTURE="$capture" \
     TUNECASE_AUTOSTART=1 TUNECASE_NO_SHUTDOWN_PAGE=1 exec "$TUNECASE") >"$home/log.txt" 2>&1 &
  local pid=$!

  local window=""
  wait_until 10 find_player_window >/dev/null && window=$(find_player_window)
  if [ -z "$window" ]; then
    fail "$name: no player window"
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    return
  fi

  # Let the song play a while so the plate turns and keys go down.
  sleep 2.5
  local shot="$OUT/plate-$code.png"
  /usr/bin/import -window root "$shot"
  local colours
  colours=$(/usr/bin/identify -format '%k' "$shot")
  [ "$colours" -ge 8 ] || fail "$name: the screenshot has only $colours colours"

  # QUIT: the picture button at (330, 70)-(418, 97) of the player window.
  xdotool mousemove --window "$window" 370 83 click 1
  if ! wait_until 10 ended "$pid"; then
    fail "$name: still running 10 s after QUIT"
    kill "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || fail "$name: the player exited with an error"

  local noteons
  noteons=$(grep -cE '^[0-9]+ 9[0-9A-F] [0-9A-F]{2} ([1-7][0-9A-F]|0[1-9A-F])$' "$capture" || true)
  [ "$noteons" -ge 3 ] || fail "$name: only $noteons note-ons were played"
  local settings="$config/TNC/setup.ini" list="$config/TNC/mbox.lst"
  [ "$(stat -c %s "$settings")" = 276 ] || fail "$name: setup.ini is not 276 bytes"
  [ "$(stat -c %s "$list")" = 51608 ] || fail "$name: mbox.lst is not 51608 bytes"
  local saved
  saved=$(python3 -c 'import struct,sys; print(struct.unpack_from("<i", open(sys.argv[1],"rb").read(), 8)[0])' "$settings")
  [ "$saved" = "$code" ] || fail "$name: saved plate $saved"
  echo "$name: $noteons note-ons, screenshot $shot ($colours colours)"
}

run_plate 260 "None"
run_plate 261 "Large Disk"
run_plate 262 "Small Disk"
run_plate 263 "Paper"
run_plate 264 "Toypiano(Large)"
run_plate 265 "Toypiano(Small)"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all plates shown and played"
