#!/usr/bin/env bash
# Whole-window check of the web site dialog and the preview page: our own song server
# (tunecase-cli serve) over the sample library, the settings file pointing at it, and the
# real dialogs under Xvfb. Waits for the list, opens the first song's page with "Web Page",
# plays it with PLAY, takes a screenshot of each window, stops, closes both with the mouse
# and checks what the server was asked and what was played.
#
# usage: web_site_screens.sh WEB_SITE_CHECK TUNECASE_CLI PROGRAM_FOLDER OUTPUT_FOLDER
# Exits 77 (skipped) when Xvfb, xdotool or ImageMagick's import is missing.
set -euo pipefail

. "$(dirname "$0")/e2e_lib.sh"
[ "${1:-}" = "--inside" ] || { need imagemagick; restart_under_xvfb 1024x600 "WEB_SITE_CHECK TUNECASE_CLI PROGRAM_FOLDER OUTPUT_FOLDER" "$@"; }
shift
unset QT_QPA_PLATFORM

CHECK=$(realpath -e "$1")
CLI=$(realpath -e "$2")
PROGRAM=$(realpath -e "$3")
OUT=$(output_folder "$4")
WORK=$(mktemp -d)
server_pid=""
check_pid=""
cleanup() {
  [ -n "$check_pid" ] && kill "$check_pid" 2>/dev/null || true
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

ls "$PROGRAM"/Archive/*.mwd >/dev/null 2>&1 || { echo "FAIL: no sample library in $PROGRAM/Archive"; exit 1; }

# Our server on a free port; it prints the address it serves.
"$CLI" serve --library "$PROGRAM/Archive" --uploads "$WORK/uploads" --port 0 \
  >"$WORK/server.out" 2>"$WORK/server.log" &
server_pid=$!
wait_until 5 grep -q 'http://127\.0\.0\.1:[0-9]*' "$WORK/server.out" ||
  { echo "FAIL: the server did not start"; cat "$WORK/server.log"; exit 1; }
url=$(grep -o 'http://127\.0\.0\.1:[0-9]*' "$WORK/server.out")

# The settings file the dialogs read their server from.
mkdir -p "$WORK/config/TNC" "$WORK/data"
printf '# written by the whole-window check\nsong_server=%s\nupload_server=%s\n' "$url" "$url" \
  >"$WORK/config/TNC/servers.conf"

capture="$WORK/capture.txt"
(cd "$PROGRAM" && HOME="$WORK" XDG_CONFIG_HOME="$WORK/config" TUNECASE_MIDI_CAPTURE="$capture" \
   exec "$CHECK" "$WORK/data") >"$WORK/check.log" 2>&1 &
check_pid=$!

# The window captioned exactly CAPTION, once it is there (at most 20 s).
wait_window() { wait_until 20 find_window "^$1\$" >/dev/null && find_window "^$1\$"; }
screenshot() {
  local shot="$OUT/$1.png" colours
  /usr/bin/import -window root "$shot"
  colours=$(/usr/bin/identify -format '%k' "$shot")
  [ "$colours" -ge 8 ] || fail "$1: the screenshot has only $colours colours"
  echo "screenshot $shot ($colours colours)"
}
click() {  # window x y
  xdotool mousemove --window "$1" "$2" "$3" mousedown 1
  sleep 0.15
  xdotool mouseup 1
}

site=$(wait_window "Web Site") || { fail "no Web Site window"; cat "$WORK/check.log"; exit 1; }
wait_until 10 grep -q 'GET /music/music_get_list.php 200' "$WORK/server.log" || true
sleep 1
screenshot web-site

# "  Web Page" at (10, 290)-(110, 317) downloads the first song and opens its page.
click "$site" 60 303
page=$(wait_window "Web Page") || { fail "no Web Page window"; cat "$WORK/check.log"; exit 1; }
wait_until 10 grep -q 'GET /music/song.php?fn=' "$WORK/server.log" || true
sleep 3
# "   PLAY" at (10, 450)-(110, 477): arranges the song and plays it.
click "$page" 60 463
four_notes() { [ -s "$capture" ] && [ "$(grep -cE ' 9[0-9A-F] [0-9A-F]{2} [0-7][0-9A-F]$' "$capture")" -ge 4 ]; }
wait_until 20 four_notes || true
screenshot preview-page

# STOP, then "   CLOSE" at (530, 450)-(630, 477) once the preview has stopped.
click "$page" 60 463
sleep 2.5
click "$page" 580 463
page_gone() { ! find_window '^Web Page$' >/dev/null; }
wait_until 10 page_gone || fail "the Web Page window is still open after CLOSE"
# "   CLOSE" of the web site dialog at (250, 290)-(350, 317) ends the program.
click "$site" 300 303
if ! wait_until 10 ended "$check_pid"; then
  fail "still running 10 s after CLOSE"
  kill "$check_pid" 2>/dev/null || true
  wait "$check_pid" 2>/dev/null || true
else
  wait "$check_pid" || fail "the web site check exited with an error"
fi
check_pid=""

noteons=$(grep -cE '^[0-9]+ 9[0-9A-F] [0-9A-F]{2} ([1-7][0-9A-F]|0[1-9A-F])$' "$capture" 2>/dev/null || true)
[ "${noteons:-0}" -ge 4 ] || fail "only ${noteons:-0} note-ons were played"
for request in 'GET /music/music_get_list.php 200' 'GET /music/music_get_file.php?fn=[^ ]*\.mwd 200' \
               'GET /music/song.php?fn=[^ ]*\.mwd 200'; do
  grep -q "$request" "$WORK/server.log" || fail "the server was not asked: $request"
done
[ -z "$(ls "$WORK/data")" ] || fail "work files left in the data folder: $(ls "$WORK/data")"
grep -v '^$' "$WORK/check.log" | grep -iE 'error|fatal' | grep -v 'ERROR:gl_' | head -5 || true

echo "server log:"
sed 's/^/  /' "$WORK/server.log"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "web site and preview page shown, $noteons note-ons played"
