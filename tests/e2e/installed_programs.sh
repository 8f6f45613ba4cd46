#!/usr/bin/env bash
# The installed programs, as a user who installed them meets them: installs the build into a
# scratch DESTDIR, then runs tunecase-cli and the player from another folder with a fresh
# home. Both must find the knowledge files, the help pages and the sample library from where
# they are installed, seed the user's library, leave the installed files alone, and play.
#
# usage: installed_programs.sh BUILD_FOLDER SONG
# Exits 77 (skipped) when Xvfb or xdotool is missing.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/e2e_lib.sh"
[ "${1:-}" = "--inside" ] || { need python3; restart_under_xvfb 1024x600 "BUILD_FOLDER SONG" "$@"; }
shift
unset QT_QPA_PLATFORM TUNECASE_PROGRAM_FOLDER XDG_DATA_HOME XDG_CONFIG_HOME XDG_CACHE_HOME XDG_RUNTIME_DIR

BUILD=$(realpath "$1")
SONG=$(realpath "$2")
# The system's Python, which has python3-mido.
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3
WORK=$(mktemp -d)
player=""
cleanup() {
  [ -n "$player" ] && kill -9 "$player" 2>/dev/null || true
  rm -rf "$WORK"
}
trap cleanup EXIT

# ---- Install ---------------------------------------------------------------------------
ROOT="$WORK/root"
DESTDIR="$ROOT" cmake --install "$BUILD" --prefix /usr >"$WORK/install.log" 2>&1 ||
  { cat "$WORK/install.log"; echo "FAIL: cmake --install"; exit 1; }
SHARE="$ROOT/usr/share/tunecase"
samples=$(find "$BUILD/data/Archive" -maxdepth 1 -name '*.mwd' | wc -l)
for f in usr/bin/tunecase usr/bin/tunecase-cli usr/libexec/tunecase/tunecase-cli-full usr/share/tunecase/PATTERN.DB \
         usr/share/tunecase/help/top.htm usr/share/tunecase/boxes.txt \
         usr/share/applications/org.tunecase.Tunecase.desktop usr/share/metainfo/org.tunecase.Tunecase.metainfo.xml \
         usr/share/icons/hicolor/scalable/apps/org.tunecase.Tunecase.svg \
         usr/share/man/man1/tunecase.1.gz usr/share/man/man1/tunecase-cli.1.gz \
         usr/share/locale/en/LC_MESSAGES/tunecase.mo usr/share/locale/ja/LC_MESSAGES/tunecase.mo \
         usr/share/tunecase/help/ja/top.htm; do
  [ -e "$ROOT/$f" ] || fail "not installed: /$f"
done
installed=$(find "$SHARE/Archive" -maxdepth 1 -name '*.mwd' | wc -l)
[ "$samples" -gt 0 ] && [ "$installed" -eq "$samples" ] || fail "$installed of $samples sample songs installed"
[ ! -e "$SHARE/songs" ] || fail "the song sheets were installed"
# The installed files, to see afterwards that running the programs changed none of them.
installed_files() { (cd "$ROOT" && find . -type f -printf '%p %s %T@\n' | sort | md5sum); }
before=$(installed_files)

# A user's session: another current folder, a home of its own, nothing of the build in reach.
export HOME="$WORK/home"
mkdir -p "$HOME" "$WORK/elsewhere"
cd "$WORK/elsewhere"
CLI="$ROOT/usr/bin/tunecase-cli"
LIBRARY="$HOME/.local/share/tunecase/Archive"

# ---- The command line --------------------------------------------------------------------
# Knowledge files: a composed song with notes in it.
if "$CLI" compose --seed 7 composed.mid >"$WORK/compose.log" 2>&1; then
  "$PYTHON" - composed.mid <<'EOF' || fail "the composed song has no notes"
import sys, mido
notes = sum(1 for t in mido.MidiFile(sys.argv[1]).tracks for m in t if m.type == "note_on" and m.velocity)
sys.exit(0 if notes > 20 else 1)
EOF
else
  fail "compose: $(head -3 "$WORK/compose.log")"
fi
# The sample library, seeded into the user's library on first use.
if "$CLI" library list --json >"$WORK/library.json" 2>&1; then
  python3 - "$WORK/library.json" "$LIBRARY" "$samples" <<'EOF' || fail "library list: $(head -c 300 "$WORK/library.json")"
import json, sys
listing = json.load(open(sys.argv[1]))
sys.exit(0 if listing["folder"] == sys.argv[2] and len(listing["songs"]) == int(sys.argv[3]) else 1)
EOF
else
  fail "library list: $(head -3 "$WORK/library.json")"
fi
title=$("$CLI" arrange --seed 3 "$LIBRARY/ode_to_joy.mwd" ode.mid 2>&1) || fail "arrange: $title"
[ "$title" = "Ode to Joy" ] || fail "arrange printed '$title'"
# The installed catalogues: the same refusal in English and, where the locale exists, Japanese.
clash=$( { LC_ALL=C "$CLI" library add "$LIBRARY/ode_to_joy.mwd" 2>&1 || true; } | head -1)
[ "$clash" = "A song-data file with the same name is already in the library." ] || fail "library add said '$clash'"
if locale -a 2>/dev/null | grep -qix 'ja_JP.utf8'; then
  clash=$( { LC_ALL=ja_JP.UTF-8 "$CLI" library add "$LIBRARY/ode_to_joy.mwd" 2>&1 || true; } | head -1)
  [ "$clash" = "同じ名前のMWDファイルが既にあります。" ] || fail "library add under ja_JP said '$clash'"
fi
# A strip: handed on to the installed full program, which finds the box models.
report=$("$CLI" strip --box 15-note --report ode.mid 2>&1) || fail "strip: $report"
grep -q '^Box: 15-note$' <<<"$report" || fail "strip printed: $(head -3 <<<"$report")"
# A moved installation finds its files all the same: they are found from the program's place.
mv "$ROOT/usr" "$WORK/moved"
"$WORK/moved/bin/tunecase-cli" compose --seed 7 moved.mid >/dev/null 2>&1 || fail "compose from a moved installation"
cmp -s composed.mid moved.mid || fail "a moved installation composed another song from the same seed"
mv "$WORK/moved" "$ROOT/usr"

# ---- The player ----------------------------------------------------------------------------
rm -rf "$HOME/.local"
mkdir -p "$HOME/data"
python3 "$HERE/write_records.py" "$HOME/.config/TNC" 261 "$HOME/data" "$SONG" "Three tracks"
CAPTURE="$HOME/capture.txt"
TUNECASE_MIDI_CAPTURE="$CAPTURE" TUNECASE_AUTOSTART=1 TUNECASE_NO_SHUTDOWN_PAGE=1 \
  "$ROOT/usr/bin/tunecase" >"$WORK/player.log" 2>&1 &
player=$!

wait_until 30 find_window '^PC TUNECASE$' 430x >/dev/null ||
  { cat "$WORK/player.log"; echo "FAIL: the player window did not appear"; exit 1; }
window=$(find_window '^PC TUNECASE$' 430x)
wait_until 10 has_note_ons "$CAPTURE" || fail "the player played nothing to the capture device"
seeded=$(find "$LIBRARY" -maxdepth 1 -name '*.mwd' 2>/dev/null | wc -l)
[ "$seeded" -eq "$samples" ] || fail "the player seeded $seeded of $samples sample songs into $LIBRARY"

# HELP opens the help window on the help's contents page (a missing help page would show a
# message box instead).
xdotool mousemove --window "$window" 284 83 click 1
wait_until 10 find_window '^Tunecase Help$' 640x520 >/dev/null || fail "HELP did not open the help window"

# QUIT ends the player normally (the help window may cover it: the player comes up first).
xdotool windowraise "$window"
sleep 0.3
xdotool mousemove --window "$window" 374 83 click 1
if ! wait_until 10 ended "$player"; then
  fail "the player did not end after QUIT"
else
  status=0
  wait "$player" || status=$?
  player=""
  [ "$status" -eq 0 ] || fail "the player exited with $status"
fi
[ -s "$HOME/.config/TNC/setup.ini" ] || fail "the settings were not saved"

[ "$before" = "$(installed_files)" ] || fail "the programs changed their installed files"

[ "$failures" -eq 0 ] || { echo "--- player log"; cat "$WORK/player.log"; echo "$failures failure(s)"; exit 1; }
echo "ok: installed into a DESTDIR; tunecase-cli composed, listed the seeded library ($samples songs) and" \
     "arranged from it, also when moved; the player played, seeded the library, opened its help and quit"
