#!/usr/bin/env bash
# Whole-window check in English and in Japanese: for LANG=en_US.UTF-8 and LANG=ja_JP.UTF-8 the
# real player starts under Xvfb with a fresh home (the data folder question, cancelled), shows
# the empty list's message box (OK builds a list from the sample library), opens LIST, uploads
# the first song to our own server (the QR window), closes it with Escape, then plays with Space
# (the capture file shows note-ons) and quits with Ctrl+Q (exit 0, the settings saved).
# Screenshots of each step go to OUTPUT_FOLDER, named by language, to be looked at.
#
# usage: language_screens.sh TUNECASE TUNECASE_CLI PROGRAM_FOLDER OUTPUT_FOLDER
# Exits 77 (skipped) when Xvfb, xdotool, ImageMagick's import or a locale is missing.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/e2e_lib.sh"
if [ "${1:-}" != "--inside" ]; then
  need imagemagick locale:en_US.utf8 locale:ja_JP.utf8
  restart_under_xvfb 1024x700 "TUNECASE TUNECASE_CLI PROGRAM_FOLDER OUTPUT_FOLDER" "$@"
fi
shift
unset QT_QPA_PLATFORM

TUNECASE=$(realpath "$1")
CLI=$(realpath "$2")
PROGRAM=$(realpath "$3")
OUT=$(output_folder "$4")
WORK=$(mktemp -d)
PID=""
SERVER=""
cleanup() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null || true
  [ -n "$SERVER" ] && kill "$SERVER" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# Presses KEY with the pointer over window ID (no window manager: the keyboard goes where the
# pointer is).
key_to() { xdotool mousemove --window "$1" 20 20 2>/dev/null || true; sleep 0.2; xdotool key "$2"; }
# The window of WIDTH pixels whose name matches PATTERN, waited for up to 10 s.
window_of() { local size=${2:+$2x}; wait_until 10 find_window "$1" "$size" >/dev/null && find_window "$1" "$size"; }
shot() { sleep 0.7; /usr/bin/import -window "$1" "$OUT/$2"; }

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
"$CLI" serve --port "$port" --library "$PROGRAM/Archive" --uploads "$WORK/uploads" >"$WORK/server.log" 2>&1 &
SERVER=$!
mkdir -p "$WORK/uploads"

for lang in en_US.UTF-8 ja_JP.UTF-8; do
  tag=${lang%%_*}
  HOMEDIR="$WORK/home-$tag"
  CONFIG="$HOMEDIR/config"
  CAPTURE="$HOMEDIR/capture.txt"
  mkdir -p "$HOMEDIR/Music" "$CONFIG/TNC"
  printf 'upload_server=http://127.0.0.1:%s\nsong_server=http://127.0.0.1:%s\n' "$port" "$port" \
    >"$CONFIG/TNC/servers.conf"
  (cd "$PROGRAM" && exec env -u LANGUAGE -u LC_ALL LANG="$lang" HOME="$HOMEDIR" XDG_CONFIG_HOME="$CONFIG" \
     XDG_MUSIC_DIR="$HOMEDIR/Music" XDG_DATA_HOME="$HOMEDIR/.local/share" TUNECASE_MIDI_CAPTURE="$CAPTURE" \
     TUNECASE_NO_SHUTDOWN_PAGE=1 "$TUNECASE") >"$HOMEDIR/log.txt" 2>&1 &
  PID=$!

  # 1. First start: the data folder question. Cancelled, the music folder is used.
  shown() { xdotool search --onlyvisible --name '.' >/dev/null 2>&1; }
  wait_until 20 shown || true
  sleep 1
  /usr/bin/import -window root "$OUT/$tag-1-first-start.png"
  chooser=$(xdotool search --onlyvisible --name '.' 2>/dev/null | head -1 || true)
  [ -n "$chooser" ] || { fail "$tag: nothing shown at the first start: $(head -5 "$HOMEDIR/log.txt")"; break; }
  [ -n "$chooser" ] && key_to "$chooser" Escape

  # 2. The message boxes of a first start (the data folder, the empty list), each answered OK.
  boxes=0
  for n in 1 2 3; do
    box=$(window_of '^Tunecase$' '') || break
    shot "$box" "$tag-2-message-box-$n.png"
    key_to "$box" Return
    boxes=$n
    sleep 1
  done
  [ "$boxes" -ge 1 ] || fail "$tag: no message box at the first start"
  player=$(window_of 'PC TUNECASE' 430) || { fail "$tag: no player window"; break; }
  sleep 2

  # 3. LIST at (60, 70)-(148, 97): the song list, its first line chosen.
  xdotool mousemove --window "$player" 104 83 click 1
  editor=$(window_of '.' 510) || { fail "$tag: LIST opened no song list"; break; }
  xdotool mousemove --window "$editor" 60 18 click 1
  shot "$editor" "$tag-3-song-list.png"

  # 4. UPLOAD at (290, 400)-(378, 427) opens the export dialog for the upload; its TUNECASE at
  # (20, 62)-(107, 87) uploads the song: the QR window, closed with Escape.
  xdotool mousemove --window "$editor" 334 413 click 1
  if ! export_dlg=$(window_of '.' 428); then
    fail "$tag: UPLOAD showed no dialog"
  else
    shot "$export_dlg" "$tag-4-upload-dialog.png"
    xdotool mousemove --window "$export_dlg" 63 75 click 1
    # The QR window has no caption: found by its size.
    qr_window() { find_window '' '140x'; }
    if ! wait_until 20 qr_window >/dev/null || ! qr=$(qr_window); then
      /usr/bin/import -window root "$OUT/$tag-4-no-qr.png"
      fail "$tag: the upload showed no QR window: $(xdotool search --onlyvisible --name '.' getwindowname %@ 2>/dev/null | tr '\n' '|') $(tail -3 "$WORK/server.log" | tr '\n' '|')"
    else
      sleep 1
      shot "$qr" "$tag-4-qr.png"
      key_to "$qr" Escape
      gone() { ! xdotool search --onlyvisible --name '' 2>/dev/null | grep -qx "$qr"; }
      wait_until 5 gone || fail "$tag: Escape left the QR window open"
    fi
  fi

  # 5. CLOSE at (405, 400)-(493, 427); Space plays, Ctrl+Q saves and quits.
  xdotool mousemove --window "$editor" 449 413 click 1
  sleep 1
  key_to "$player" space
  wait_until 10 has_note_ons "$CAPTURE" || fail "$tag: Space played nothing"
  shot "$player" "$tag-5-playing.png"
  key_to "$player" ctrl+q
  if ! wait_until 10 ended "$PID"; then
    fail "$tag: still running 10 s after Ctrl+Q"
  else
    status=0
    wait "$PID" || status=$?
    [ "$status" -eq 0 ] || fail "$tag: Ctrl+Q exited with $status"
    PID=""
  fi
  [ "$(stat -c %s "$CONFIG/TNC/setup.ini" 2>/dev/null || echo 0)" -eq 276 ] || fail "$tag: no 276-byte settings saved"
  [ "$(stat -c %s "$CONFIG/TNC/mbox.lst" 2>/dev/null || echo 0)" -eq 51608 ] || fail "$tag: no song list saved"
done

echo "screenshots in $OUT"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "both languages: first start, message box, song list, QR window, Space and Ctrl+Q"
