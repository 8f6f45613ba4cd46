#!/usr/bin/env bash
# Whole-process comparison of `tunecase-cli render` with the synthesizer's own command-line
# renderer (`fluidsynth -F`) on the same prepared music-box song of about 60 s, with the same
# soundfont, in one run: both times (the best of RUNS), their ratio and both peak resident sizes
# (from /usr/bin/time -v). Skips (exit 0) where fluidsynth or GNU time is not installed.
#
# usage: bench/tools/render_vs_fluidsynth.sh [TUNECASE_CLI] [RUNS] [SOUNDFONT]
set -euo pipefail
CLI=${1:-build/tunecase-cli}
RUNS=${2:-5}
SOUNDFONT=${3:-/usr/share/sounds/sf2/default-GM.sf2}
for tool in fluidsynth /usr/bin/time; do
  if ! command -v "$tool" >/dev/null; then
    echo "skipped: $tool is not installed (apt-get install ${tool##*/})"
    exit 0
  fi
done
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# A composed song: 30 measures of 4/4 at 120 beats a minute, prepared for the music box.
"$CLI" compose --seed 1 --measures 30 "$WORK/composed.mid" >/dev/null
"$CLI" prepare "$WORK/composed.mid" "$WORK/song.mid" >/dev/null

# Prints "SECONDS CPU_SECONDS KB" for one run of the command. GNU time gives the CPU time and
# the peak size; the wall time comes from the clock around it, as GNU time rounds it to 10 ms.
measure() {
  local start end
  start=$(date +%s%N)
  /usr/bin/time -v "$@" 2>"$WORK/time.txt" >/dev/null
  end=$(date +%s%N)
  awk -F': ' -v ns=$((end - start)) '
              /User time|System time/ { cpu += $2 }
              /Maximum resident set size/ { kb = $2 }
              END { printf "%.3f %.3f %d\n", ns / 1e9, cpu, kb }' "$WORK/time.txt"
}

# The two commands take turns, so that both see the machine in the same state (a shared machine
# drifts by a fifth from minute to minute). Prints, for each, the best wall time, the CPU time
# of that run and the largest peak RSS, and the median of the runs' ratios.
ours_cmd=("$CLI" render --quiet "$WORK/song.mid" "$WORK/ours.wav")
theirs_cmd=(fluidsynth -q -n -i -F "$WORK/theirs.wav" "$SOUNDFONT" "$WORK/song.mid")
best() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a < b) }'; }
ours=999 theirs=999 ours_rss=0 theirs_rss=0 ratios=()
for _ in $(seq "$RUNS"); do
  read -r t c kb < <(measure "${ours_cmd[@]}")
  read -r u d kb2 < <(measure "${theirs_cmd[@]}")
  if best "$t" "$ours"; then ours=$t ours_cpu=$c; fi
  if best "$u" "$theirs"; then theirs=$u theirs_cpu=$d; fi
  ours_rss=$(( kb > ours_rss ? kb : ours_rss ))
  theirs_rss=$(( kb2 > theirs_rss ? kb2 : theirs_rss ))
  ratios+=("$(awk -v a="$t" -v b="$u" 'BEGIN { printf "%.3f", a / b }')")
done
median=$(printf '%s\n' "${ratios[@]}" | sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }')
seconds=$(soxi -D "$WORK/ours.wav" 2>/dev/null || echo "?")
echo "song:                 $seconds s of audio, best of $RUNS runs taken in turns, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
mb() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }
printf 'tunecase-cli render:  %6.3f s (CPU %.3f s)  peak RSS %6s MB\n' "$ours" "$ours_cpu" "$(mb "$ours_rss")"
printf 'fluidsynth -F:        %6.3f s (CPU %.3f s)  peak RSS %6s MB\n' "$theirs" "$theirs_cpu" "$(mb "$theirs_rss")"
awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "ratio (ours/theirs):  %.2f of the best times\n", a / b }'
echo "ratio (ours/theirs):  $median, the median of the runs' ratios (${ratios[*]})"
