#!/usr/bin/env bash
# Whole-process comparison of `tunecase-cli info` with midicsv on the same large file: a
# generated format 1 song of 8 tracks and about 55,000 events (220 KB). Both read the whole
# file; midicsv also prints every event. Needs hyperfine, midicsv and python3-mido.
#
# usage: bench/tools/info_vs_midicsv.sh [TUNECASE_CLI] [RUNS]
set -euo pipefail
CLI=${1:-build/tunecase-cli}
RUNS=${2:-40}
for tool in hyperfine midicsv; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (apt-get install $tool)" >&2; exit 2; }
done
FILE=${TMPDIR:-/tmp}/tunecase_info_bench.mid
/usr/bin/python3 - "$FILE" <<'PY'
import random, sys
import mido
random.seed(1)
song = mido.MidiFile(type=1, ticks_per_beat=480)
for t in range(8):
    track = mido.MidiTrack()
    song.tracks.append(track)
    track.append(mido.MetaMessage("track_name", name=f"Part {t + 1}"))
    if t == 0:
        track.append(mido.MetaMessage("set_tempo", tempo=500000))
    for _ in range(3430):
        note = random.randint(40, 90)
        track.append(mido.Message("note_on", note=note, velocity=80, channel=t, time=random.randint(0, 60)))
        track.append(mido.Message("note_off", note=note, velocity=0, channel=t, time=random.randint(10, 60)))
song.save(sys.argv[1])
PY
echo "file: $FILE ($(stat -c %s "$FILE") bytes)"
hyperfine -N -w 5 -r "$RUNS" "$CLI info $FILE" "midicsv $FILE"
