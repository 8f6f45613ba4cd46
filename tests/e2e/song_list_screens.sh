#!/usr/bin/env bash
# Whole-window check of the song list: starts the real player under Xvfb with an empty list,
# answers OK to building one from the sample library, opens LIST, presses AUTO CMP, then
# AUTO SEL (answering OK), CLOSE and START, and checks what was made, played and saved.
# Screenshots of each step go to OUTPUT_FOLDER.
#
# usage: song_list_screens.sh TUNECASE PROGRAM_FOLDER OUTPUT_FOLDER
# PROGRAM_FOLDER must hold the knowledge files and the sample library "Archive".
# Exits 77 (skipped) when Xvfb, xdotool, ImageMagick's import or python3-mido is missing.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/e2e_lib.sh"
[ "${1:-}" = "--inside" ] || { need python3 imagemagick mido; restart_under_xvfb 1024x700 "TUNECASE PROGRAM_FOLDER OUTPUT_FOLDER" "$@"; }
shift
unset QT_QPA_PLATFORM

TUNECASE=$(realpath "$1")
PROGRAM=$(realpath "$2")
OUT=$(output_folder "$3")
WORK=$(mktemp -d)
PID=""
cleanup() {
  [ -n "$PID" ] && kill "$PID" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

library=$(find "$PROGRAM/Archive" -maxdepth 1 -name '*.mwd' 2>/dev/null | wc -l)
[ "$library" -ge 2 ] || { echo "FAIL: the sample library in $PROGRAM/Archive has $library songs"; exit 1; }
# AUTO SEL takes one less than the library holds, at most ten.
expected=$(( library - 1 < 10 ? library - 1 : 10 ))


# Waits up to 10 s for a visible window whose name is exactly $1 and, when given, whose
# width is $2 pixels; prints its id.
wait_window() {
  local size=${2:+$2x}
  wait_until 10 find_window "^$1\$" "$size" >/dev/null && find_window "^$1\$" "$size"
}

# Waits up to 20 s until the data folder holds $1 song files; prints how many it holds.
wait_songs() {
  local want=$1 i n=0
  for i in $(seq 1 100); do
    n=$(find "$DATA" -maxdepth 1 -name '*.mid' | wc -l)
    [ "$n" -eq "$want" ] && break
    sleep 0.2
  done
  echo "$n"
}

# Answers the message box with OK: Return, with the pointer over the box (no window manager,
# so the keyboard goes where the pointer is), presses its default button.
answer_ok() {
  local box i
  box=$(wait_window "Tunecase") || { fail "no message box for: $1"; return; }
  for i in 1 2 3; do
    xdotool mousemove --window "$box" 20 20 2>/dev/null || true
    xdotool key Return
    sleep 0.5
    xdotool search --onlyvisible --name '^Tunecase$' >/dev/null 2>&1 || return 0
  done
  fail "the box for $1 did not close"
}

HOMEDIR="$WORK/home"
CONFIG="$HOMEDIR/config"
DATA="$HOMEDIR/data"
CAPTURE="$HOMEDIR/capture.txt"
mkdir -p "$DATA"
# The settings of an earlier start (no data folder question) and an empty list.
python3 "$HERE/write_records.py" "$CONFIG/TNC" 261 "$DATA" /dev/null none
head -c 51608 /dev/zero >"$CONFIG/TNC/mbox.lst"

(cd "$PROGRAM" && HOME="$HOMEDIR" XDG_CONFIG_HOME="$CONFIG" XDG_DATA_HOME="$HOMEDIR/.local/share" \
   TUNECASE_MIDI_CAPTURE="$CAPTURE" \
   TUNECASE_NO_SHUTDOWN_PAGE=1 exec "$TUNECASE") >"$HOMEDIR/log.txt" 2>&1 &
PID=$!

# 1. "Song list is empty. ..." -> OK builds the list from the library.
answer_ok "the empty list"
player=$(wait_window "PC TUNECASE" 430) || { fail "no player window"; exit 1; }
n=$(wait_songs "$expected")
[ "$n" -eq "$expected" ] || fail "the first run made $n songs, not $expected"
sleep 1
/usr/bin/import -window root "$OUT/1-first-run.png"

# 2. LIST at (60, 70)-(148, 97).
xdotool mousemove --window "$player" 104 83 click 1
editor=$(wait_window "Song List") || { fail "LIST opened no song list"; exit 1; }
sleep 0.5
/usr/bin/import -window "$editor" "$OUT/2-song-list.png"

# 3. AUTO CMP at (200, 340)-(288, 367): its dialog, OK with the choices it opens with (Return,
# the pointer over it): one more song.
xdotool mousemove --window "$editor" 244 353 click 1
composer=$(wait_window "Compose a Song") || { fail "AUTO CMP opened no dialog"; exit 1; }
sleep 0.5
/usr/bin/import -window "$composer" "$OUT/3-compose-dialog.png"
xdotool mousemove --window "$composer" 20 20 key Return
n=$(wait_songs $((expected + 1)))
[ "$n" -eq $((expected + 1)) ] || fail "AUTO CMP left $n songs, not $((expected + 1))"
sleep 0.5
/usr/bin/import -window "$editor" "$OUT/3-auto-cmp.png"

# 4. AUTO SEL at (110, 400)-(198, 427), answered OK, and OK again to moving the songs made so
# far to the trash (answer_ok presses Return while a box is up): the old songs go, their
# files to the trash.
xdotool mousemove --window "$editor" 154 413 click 1
answer_ok "AUTO SEL"
n=$(wait_songs "$expected")
[ "$n" -eq "$expected" ] || fail "AUTO SEL left $n songs, not $expected"
trashed=$(ls "$HOMEDIR/.local/share/Trash/files" 2>/dev/null | grep -cE '^[0-9]+(-[0-9]+){6}\.mid$' || true)
[ "${trashed:-0}" -eq $((expected + 1)) ] || fail "AUTO SEL put ${trashed:-0} old songs in the trash, not $((expected + 1))"
sleep 1
/usr/bin/import -window "$editor" "$OUT/4-auto-sel.png"
colours=$(/usr/bin/identify -format '%k' "$OUT/4-auto-sel.png")
[ "$colours" -ge 8 ] || fail "the song list screenshot has only $colours colours"

# 5. CLOSE at (405, 400)-(493, 427), then START at (60, 36)-(148, 63).
xdotool mousemove --window "$editor" 449 413 click 1
list_gone() { ! find_window '^Song List$' >/dev/null; }
wait_until 10 list_gone || fail "CLOSE left the song list open"
sleep 0.5
xdotool mousemove --window "$player" 104 49 click 1
sleep 3
/usr/bin/import -window root "$OUT/5-playing.png"

# 6. QUIT at (330, 70)-(418, 97).
xdotool mousemove --window "$player" 370 83 click 1
if ! wait_until 10 ended "$PID"; then
  fail "still running 10 s after QUIT"
else
  wait "$PID" || fail "the player exited with an error"
  PID=""
fi

noteons=$(grep -cE '^[0-9]+ 9[0-9A-F] [0-9A-F]{2} ([1-7][0-9A-F]|0[1-9A-F])$' "$CAPTURE" 2>/dev/null || true)
[ "${noteons:-0}" -ge 3 ] || fail "START played only ${noteons:-0} note-ons"

# The saved list: the AUTO SEL songs, each a file Tunecase made in the data folder.
python3 - "$CONFIG/TNC/mbox.lst" "$DATA" "$expected" <<'EOF' || fail "the saved list is not what AUTO SEL made"
import os, re, struct, sys
raw = open(sys.argv[1], "rb").read()
assert len(raw) == 51608, len(raw)
count, current = struct.unpack_from("<i", raw, 0)[0], struct.unpack_from("<i", raw, 51604)[0]
assert count == int(sys.argv[3]), f"count {count}"
assert current == 0, f"current {current}"
titles = set()
for i in range(count):
    entry = raw[4 + 516 * i: 4 + 516 * (i + 1)]
    title = entry[:256].split(b"\0")[0].decode("utf-8")
    path = entry[256:].split(b"\0")[0].decode("utf-8")
    assert os.path.dirname(path) == sys.argv[2], path
    assert re.fullmatch(r"\d+(-\d+){6}\.mid", os.path.basename(path)), path
    assert os.path.isfile(path), path
    assert title and title != "Automatically Composed Song", title
    titles.add(title)
assert len(titles) == count, titles
print("saved list:", count, "songs:", ", ".join(sorted(titles)))
EOF

# What START played is the first entry of the new list: every key captured is one of its keys.
/usr/bin/python3 - "$CONFIG/TNC/mbox.lst" "$CAPTURE" <<'EOF' || fail "the captured notes are not the first entry's"
import struct, sys, mido
raw = open(sys.argv[1], "rb").read()
path = raw[4 + 256: 4 + 516].split(b"\0")[0].decode("utf-8")
keys = {m.note for t in mido.MidiFile(path).tracks for m in t if m.type == "note_on" and m.velocity > 0}
played = set()
for line in open(sys.argv[2]):
    parts = line.split()
    if len(parts) == 4 and parts[1][0] == "9" and int(parts[3], 16) > 0:
        played.add(int(parts[2], 16))
assert played and played <= keys, (sorted(played - keys), path)
print("played", len(played), "keys of", path)
EOF

if grep -q "ERROR\|FAIL" "$HOMEDIR/log.txt"; then fail "the player's log: $(head -3 "$HOMEDIR/log.txt")"; fi
echo "screenshots in $OUT; $noteons note-ons played"
if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "song list built, edited and played"
