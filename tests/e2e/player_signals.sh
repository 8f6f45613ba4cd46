#!/usr/bin/env bash
# The player ends through its own shutdown on SIGTERM, SIGHUP and SIGINT: it exits within a
# few seconds with status 0 and writes both records. Each run starts playing; the records
# are removed while it runs, so only the shutdown can bring them back.
#
# usage: player_signals.sh TUNECASE PROGRAM_FOLDER SONG
set -euo pipefail
[ $# -eq 3 ] || { echo "usage: $0 TUNECASE PROGRAM_FOLDER SONG" >&2; exit 2; }
TUNECASE=$(realpath "$1")
PROGRAM=$(realpath "$2")
SONG=$(realpath "$3")
HERE=$(cd "$(dirname "$0")" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export QT_QPA_PLATFORM=offscreen

. "$HERE/e2e_lib.sh"

for sig in TERM HUP INT; do
  home="$WORK/$sig"
  config="$home/config"
  mkdir -p "$home/data"
  python3 "$HERE/write_records.py" "$config/TNC" 263 "$home/data" "$SONG" "Three tracks"
  (cd "$PROGRAM" && HOME="$home" XDG_CONFIG_HOME="$config" TUNECASE_MIDI_CAPTURE="$home/capture.txt" \
     TUNECASE_AUTOSTART=1 TUNECASE_NO_SHUTDOWN_PAGE=1 exec "$TUNECASE") >"$home/log.txt" 2>&1 &
  pid=$!
  # Playing: the capture file has note-ons.
  wait_until 10 has_note_ons "$home/capture.txt" || fail "$sig: the song did not start"
  rm -f "$config/TNC/setup.ini" "$config/TNC/mbox.lst"
  kill -s "$sig" "$pid"
  if ! wait_until 5 ended "$pid"; then
    fail "$sig: still running 5 s after the signal"
    kill -9 "$pid" 2>/dev/null || true
  fi
  status=0
  wait "$pid" || status=$?
  [ "$status" -eq 0 ] || fail "$sig: exit status $status"
  [ "$(stat -c %s "$config/TNC/setup.ini" 2>/dev/null)" = 276 ] || fail "$sig: setup.ini was not saved"
  [ "$(stat -c %s "$config/TNC/mbox.lst" 2>/dev/null)" = 51608 ] || fail "$sig: mbox.lst was not saved"
  # The saved list still holds the song, and playback ended with a reset.
  grep -qa "Three tracks" "$config/TNC/mbox.lst" 2>/dev/null || fail "$sig: the list lost its song"
  tail -n 1 "$home/capture.txt" | grep -q ' FF$' || fail "$sig: playback did not end with a reset"
done

[ "$failures" -eq 0 ] || { echo "$failures failure(s)"; exit 1; }
echo "ok: TERM, HUP and INT each saved both records and exited 0"
