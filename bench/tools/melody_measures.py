#!/usr/bin/python3
"""Measures the melodies of composed songs against figures of real tunes.

Composes seeds A..B with tunecase-cli (or reads MIDI files, or arranges every song-data file of
a folder) and prints, for the songs together, how their melodies compare with real folk and
chorale melodies; the real figures and the goals are those of the issue that asked for this tool.

  bench/tools/melody_measures.py build/tunecase-cli [--seeds 1-300] [--measures M] [-- OPTIONS]
  bench/tools/melody_measures.py build/tunecase-cli --arrange-library build/data/Archive
  bench/tools/melody_measures.py --files a.mid b.mid
  bench/tools/melody_measures.py --self-test

Everything after `--` is passed to `tunecase-cli compose` (or `arrange`) unchanged.

What is measured, per song:
  melody     the notes of MIDI channel 1 (index 1, where the composer and the arranger write the
             melody; another channel with --melody-channel). At one onset the loudest note is the
             melody (the highest on a tie) and the others, the composer's softer octave copy, are
             dropped. Channel 10 (the composer's delayed melody copy) and 9 (drums) are neither
             melody nor accompaniment; every other note is accompaniment.
  bass       the lowest accompaniment note sounding at a moment.
  interval   between consecutive melody notes, rests or not; a step is 1-2 semitones; a leap is
             more than 4 semitones; a step back follows a leap by 1-2 semitones the other way
             (a leap that ends the melody is not counted).
  rest       a silence of at least a sixteenth between one melody note's end and the next onset
             (shorter gaps are articulation: the composer shortens every gate by 3 ticks).
  beats      from the file's time signatures (4/4 when there is none): the beat is the
             denominator's note, a dotted one in 6/8, 9/8, 12/8. Strong beats are beat 1 and, in
             bars of 4 beats (or another even number from 4), the middle one (beat 3 of 4/4; only
             beat 1 of 3/4). On-beat = an onset on a beat.
  grid       an onset is off the eighth-note grid when its place in the bar is not a whole
             number of eighths.
  bar rhythm the onset places of a bar with melody onsets; the share of such bars whose rhythm
             is the song's commonest.
  key        Krumhansl-Schmuckler: the melody's pitch classes weighted by sounding length,
             correlated (Pearson r) with the Krumhansl-Kessler major and minor profiles in all
             24 keys; the best r is the key clarity. The first key signature of the file, when it
             has one, is reported beside it.
  clash      an on-beat melody note whose interval to the bass is a minor second, major seventh
             or tritone (mod 12 in {1, 11, 6}); the share is over on-beat notes with a bass.
  above      a melody onset with an accompaniment note sounding higher than the melody.
  broken     a song with a leap over an octave without a rest between its notes, 8 or more equal
             notes in a row, or a quarter or more of its on-beat notes clashing.

Over the songs: the median unless the row says otherwise; the 90th percentile (linear between
ranks) of the largest leap; the mean step-back share over the songs that have a leap with a note
after it; percentages of songs. Two melodies are the same when their notes have the same pitches,
lengths and onsets counted from the first.

A compose that fails, hangs (30 s) or writes an unreadable file is counted and listed; it never
stops the run.
"""
import argparse
import bisect
import collections
import json
import math
import os
import statistics
import subprocess
import sys
import tempfile

try:
    import mido
except ImportError:  # the distribution's python3-mido, when another interpreter runs us
    sys.path.append("/usr/lib/python3/dist-packages")
    import mido

MELODY_CHANNEL = 1
NOT_ACCOMPANIMENT = {9, 10}  # drums; the composer's delayed copy of the melody
LEAP = 5                     # semitones: a leap is more than 4
EQUAL_RUN = 8
CLASH_CLASSES = {1, 6, 11}
BROKEN_CLASH_SHARE = 0.25
COMPOSE_TIMEOUT = 30.0

# Krumhansl-Kessler key profiles, C first.
MAJOR_PROFILE = [6.35, 2.23, 3.48, 2.33, 4.38, 4.09, 2.52, 5.19, 2.39, 3.66, 2.29, 2.88]
MINOR_PROFILE = [6.33, 2.68, 3.52, 5.38, 2.60, 3.53, 2.54, 4.75, 3.98, 2.69, 3.34, 3.17]
PITCH_NAMES = ["C", "C#", "D", "Eb", "E", "F", "F#", "G", "Ab", "A", "Bb", "B"]
NAME_TO_PC = {"C": 0, "C#": 1, "Db": 1, "D": 2, "D#": 3, "Eb": 3, "E": 4, "Fb": 4, "E#": 5, "F": 5,
              "F#": 6, "Gb": 6, "G": 7, "G#": 8, "Ab": 8, "A": 9, "A#": 10, "Bb": 10, "B": 11,
              "Cb": 11, "B#": 0}


# --- reading a song ------------------------------------------------------------------------

class Note:
    __slots__ = ("on", "off", "pitch", "velocity", "channel")

    def __init__(self, on, off, pitch, velocity, channel):
        self.on, self.off, self.pitch, self.velocity, self.channel = on, off, pitch, velocity, channel


class Meter:
    """Bars and beats from the time signatures; bars restart at each change."""

    def __init__(self, tpb, signatures):
        self.tpb = tpb
        self.segments = []  # (start, bar length, beat length, first bar number, numerator, denominator)
        bar = 0
        if not signatures or min(signatures)[0] > 0:  # before the first signature the bar is 4/4
            signatures = [(0, 4, 4)] + list(signatures)
        for start, num, den in sorted(signatures):
            if self.segments:
                s0, bar_len = self.segments[-1][0], self.segments[-1][1]
                if start <= s0:
                    self.segments.pop()
                else:
                    bar = self.segments[-1][3] + math.ceil((start - s0) / bar_len)
            beat = tpb * 4 // den
            if den >= 8 and num % 3 == 0 and num > 3:
                beat *= 3
            self.segments.append((start, tpb * 4 * num // den, beat, bar, num, den))
        self.starts = [s[0] for s in self.segments]

    def place(self, tick):
        """(bar number, ticks into the bar, bar length, beat length)."""
        i = bisect.bisect_right(self.starts, tick) - 1
        start, bar_len, beat, first, _, _ = self.segments[max(i, 0)]
        n, offset = divmod(tick - start, bar_len)
        return first + n, offset, bar_len, beat

    def on_beat(self, tick):
        _, offset, _, beat = self.place(tick)
        return offset % beat == 0

    def strong(self, tick):
        _, offset, bar_len, beat = self.place(tick)
        if offset == 0:
            return True
        beats = bar_len // beat
        return bar_len % beat == 0 and beats >= 4 and beats % 2 == 0 and offset == bar_len // 2

    def on_eighth_grid(self, tick):
        _, offset, _, _ = self.place(tick)
        return (offset * 2) % self.tpb == 0

    def signature_at(self, tick):
        i = bisect.bisect_right(self.starts, tick) - 1
        return self.segments[max(i, 0)][4:6]


class Song:
    def __init__(self, label, tpb, notes, signatures, key_signature):
        self.label = label
        self.tpb = tpb
        self.notes = notes
        self.meter = Meter(tpb, signatures)
        self.key_signature = key_signature  # (tonic pitch class, "major"|"minor") or None


def read_song(path, label=None):
    mf = mido.MidiFile(path)
    notes, signatures, key_signature = [], [], None
    for track in mf.tracks:
        now = 0
        sounding = collections.defaultdict(collections.deque)  # (channel, pitch) -> [(on, velocity)]
        for msg in track:
            now += msg.time
            if msg.type == "note_on" and msg.velocity > 0:
                sounding[(msg.channel, msg.note)].append((now, msg.velocity))
            elif msg.type in ("note_off", "note_on"):
                started = sounding.get((msg.channel, msg.note))
                if started:
                    on, velocity = started.popleft()
                    notes.append(Note(on, now, msg.note, velocity, msg.channel))
            elif msg.type == "time_signature":
                signatures.append((now, msg.numerator, msg.denominator))
            elif msg.type == "key_signature" and key_signature is None:
                name = msg.key
                mode = "minor" if name.endswith("m") else "major"
                key_signature = (NAME_TO_PC[name.rstrip("m")], mode)
        for (channel, pitch), started in sounding.items():  # never released: to the track's end
            for on, velocity in started:
                notes.append(Note(on, now, pitch, velocity, channel))
    notes.sort(key=lambda n: (n.on, n.channel, n.pitch))
    return Song(label or os.path.basename(path), mf.ticks_per_beat, notes, signatures, key_signature)


def melody_and_accompaniment(song, melody_channel=MELODY_CHANNEL):
    channel = melody_channel
    if not any(n.channel == channel for n in song.notes):
        # No melody channel: the pitched channel that sounds highest on average.
        pitches = collections.defaultdict(list)
        for n in song.notes:
            if n.channel != 9:
                pitches[n.channel].append(n.pitch)
        if not pitches:
            return [], []
        channel = max(pitches, key=lambda c: statistics.mean(pitches[c]))
    at_onset = collections.defaultdict(list)
    for n in song.notes:
        if n.channel == channel:
            at_onset[n.on].append(n)
    melody = [max(group, key=lambda n: (n.velocity, n.pitch)) for _, group in sorted(at_onset.items())]
    accompaniment = [n for n in song.notes if n.channel != channel and n.channel not in NOT_ACCOMPANIMENT]
    return melody, accompaniment


class Sounding:
    """The accompaniment notes sounding at a tick."""

    def __init__(self, notes):
        self.notes = sorted(notes, key=lambda n: n.on)
        self.onsets = [n.on for n in self.notes]
        self.longest = max((n.off - n.on for n in self.notes), default=0)

    def at(self, tick):
        lo = bisect.bisect_left(self.onsets, tick - self.longest)
        hi = bisect.bisect_right(self.onsets, tick)
        return [n for n in self.notes[lo:hi] if n.on <= tick < n.off]


# --- measures of one song --------------------------------------------------------------------

def pearson(xs, ys):
    mx, my = sum(xs) / len(xs), sum(ys) / len(ys)
    sxy = sum((x - mx) * (y - my) for x, y in zip(xs, ys))
    sxx = sum((x - mx) ** 2 for x in xs)
    syy = sum((y - my) ** 2 for y in ys)
    return sxy / math.sqrt(sxx * syy) if sxx > 0 and syy > 0 else 0.0


def krumhansl_key(melody):
    """(tonic pitch class, mode, r) of the best-correlated key; None without notes."""
    weights = [0.0] * 12
    for n in melody:
        weights[n.pitch % 12] += max(n.off - n.on, 1)
    if not any(weights):
        return None
    best = None
    for tonic in range(12):
        for mode, profile in (("major", MAJOR_PROFILE), ("minor", MINOR_PROFILE)):
            rotated = [profile[(pc - tonic) % 12] for pc in range(12)]
            r = pearson(weights, rotated)
            if best is None or r > best[2]:
                best = (tonic, mode, r)
    return best


def key_name(key):
    return f"{PITCH_NAMES[key[0]]} {key[1]}" if key else "-"


def measure_song(song, melody_channel=MELODY_CHANNEL):
    """A dict of the song's own values; None where a value is not defined for it."""
    melody, accompaniment = melody_and_accompaniment(song, melody_channel)
    meter, tpb = song.meter, song.tpb
    m = {"label": song.label, "notes": len(melody)}
    if not melody:
        return m
    pitches = [n.pitch for n in melody]
    intervals = [b - a for a, b in zip(pitches, pitches[1:])]
    rest_min = tpb / 4
    gaps = [b.on - a.off for a, b in zip(melody, melody[1:])]

    if intervals:
        m["steps"] = sum(1 for d in intervals if 1 <= abs(d) <= 2) / len(intervals)
        m["leaps8"] = sum(1 for d in intervals if abs(d) >= 8) / len(intervals)
        m["largest_leap"] = max(abs(d) for d in intervals)
    m["range"] = max(pitches) - min(pitches)
    followed = [(d, e) for d, e in zip(intervals, intervals[1:]) if abs(d) >= LEAP]
    if followed:
        m["step_back"] = sum(1 for d, e in followed if 1 <= abs(e) <= 2 and (d > 0) != (e > 0)) / len(followed)
    m["off_grid"] = sum(1 for n in melody if not meter.on_eighth_grid(n.on)) / len(melody)

    rhythms = collections.defaultdict(list)
    for n in melody:
        bar, offset, _, _ = meter.place(n.on)
        rhythms[bar].append(offset)
    counts = collections.Counter(tuple(r) for r in rhythms.values())
    m["common_rhythm"] = counts.most_common(1)[0][1] / len(rhythms)

    longest = 0.0
    for a, b in zip(melody, melody[1:]):
        if b.on - a.off >= rest_min:
            longest = max(longest, (b.on - a.off) / meter.place(a.off)[2])
    m["longest_rest"] = longest

    key = krumhansl_key(melody)
    m["key"] = key_name(key)
    m["key_clarity"] = key[2]
    m["last_tonic"] = pitches[-1] % 12 == key[0]
    if song.key_signature:
        m["key_signature"] = key_name(song.key_signature)
        m["last_tonic_signature"] = pitches[-1] % 12 == song.key_signature[0]
        m["key_differs"] = song.key_signature[:2] != key[:2]
    m["last_strong"] = meter.strong(melody[-1].on)

    sounding = Sounding(accompaniment)
    on_beat = clashes = above = 0
    for n in melody:
        now = sounding.at(n.on)
        if any(a.pitch > n.pitch for a in now):
            above += 1
        if now and meter.on_beat(n.on):
            on_beat += 1
            bass = min(a.pitch for a in now)
            clashes += (n.pitch - bass) % 12 in CLASH_CLASSES
    if on_beat:
        m["clash"] = clashes / on_beat
    m["above"] = above / len(melody)

    run = longest_run = 1
    for d in intervals:
        run = run + 1 if d == 0 else 1
        longest_run = max(longest_run, run)
    causes = []
    if any(abs(d) > 12 and gap < rest_min for d, gap in zip(intervals, gaps)):
        causes.append("leap over an octave without a rest")
    if longest_run >= EQUAL_RUN:
        causes.append(f"{EQUAL_RUN}+ equal notes in a row")
    if m.get("clash", 0) >= BROKEN_CLASH_SHARE:
        causes.append("a quarter of beats clashing")
    m["broken"] = causes
    m["signature"] = "%d/%d" % meter.signature_at(melody[0].on)
    m["identity"] = tuple((n.on - melody[0].on, n.pitch, n.off - n.on) for n in melody)
    return m


# --- the table -------------------------------------------------------------------------------

def percentile(values, q):
    """Linear interpolation between the closest ranks."""
    values = sorted(values)
    rank = (len(values) - 1) * q
    lo = math.floor(rank)
    hi = min(lo + 1, len(values) - 1)
    return values[lo] + (values[hi] - values[lo]) * (rank - lo)


def share_of(songs, key):
    values = [s[key] for s in songs if key in s]
    return 100.0 * sum(1 for v in values if v) / len(values) if values else None, len(values)


# (key, measure, how the songs are summed up, real melodies, goal) as the issue gives them.
ROWS = [
    ("steps", "steps of 1-2 semitones, share of intervals", "median", "0.48 (folk), 0.70 (chorale)", ">= 0.40"),
    ("leaps8", "leaps of 8+ semitones, share", "median", "0.00", "<= 0.03"),
    ("largest_leap", "largest leap, 90th percentile over songs", "p90", "12", "<= 12"),
    ("range", "pitch range, semitones", "median", "13", "<= 17"),
    ("step_back", "a leap followed by a step back the other way (mean over songs)", "mean",
     "0.22 (folk), 0.43 (chorale)", ">= 0.10"),
    ("off_grid", "onsets off the eighth-note grid", "median", "0.02", "<= 0.05"),
    ("common_rhythm", "bars that use the song's commonest bar rhythm", "median", "0.33", ">= 0.30"),
    ("longest_rest", "longest rest inside the melody, in bars", "median", "0.25", "<= 0.5"),
    ("last_tonic", "songs whose last melody note is the tonic", "percent", "76 %", ">= 70 %"),
    ("last_strong", "last note on a strong beat", "percent", "81 %", ">= 80 %"),
    ("clash", "on-beat melody notes a m2, M7 or tritone from the bass", "median", "0.02", "<= 0.05"),
    ("above", "melody onsets with an accompaniment note above the melody", "median", "0.00", "<= 0.10"),
    ("broken", "\"broken\" songs: a leap over an octave with no rest, 8+ equal notes in a row, "
     "a quarter of beats clashing", "percent", "7 % folk", "<= 2 %"),
    ("key_clarity", "keep: key clarity (Krumhansl-Schmuckler correlation)", "median", "0.81", ">= 0.75"),
]


def meets(value, goal):
    op, number = goal.split()[:2]
    return value >= float(number) if op == ">=" else value <= float(number)


def summarize(songs, failures):
    measured = [s for s in songs if s.get("notes")]
    rows = []
    for key, name, how, real, goal in ROWS:
        values = [s[key] for s in measured if key in s]
        if key == "broken":
            values = [bool(v) for v in values]
        if not values:
            value = None
        elif how == "median":
            value = statistics.median(values)
        elif how == "mean":
            value = statistics.mean(values)
        elif how == "p90":
            value = percentile(values, 0.9)
        else:
            value = 100.0 * sum(1 for v in values if v) / len(values)
        rows.append({"key": key, "measure": name, "value": value, "songs": len(values),
                     "unit": "%" if how == "percent" else "", "real": real, "goal": goal,
                     "pass": None if value is None else meets(value, goal)})
    distinct = len({s["identity"] for s in measured})
    rows.append({"key": "distinct", "measure": "keep: distinct melodies among N songs",
                 "value": distinct, "songs": len(measured), "unit": "", "real": "", "goal": "all",
                 "pass": bool(measured) and distinct == len(measured)})

    causes = collections.Counter(c for s in measured for c in s.get("broken", []))
    signature_songs = [s for s in measured if "key_signature" in s]
    notes = {
        "songs": len(songs), "measured": len(measured),
        "without_melody": [s["label"] for s in songs if not s.get("notes")],
        "failures": failures,
        "broken_causes": dict(causes),
        "meters": dict(collections.Counter(s["signature"] for s in measured)),
        "keys": dict(collections.Counter(s["key"] for s in measured).most_common(6)),
    }
    if signature_songs:
        notes["last_tonic_of_key_signature_percent"] = share_of(signature_songs, "last_tonic_signature")[0]
        notes["key_signature_differs_from_krumhansl"] = sum(1 for s in signature_songs if s["key_differs"])
        notes["with_key_signature"] = len(signature_songs)
    return {"rows": rows, "notes": notes}


def format_value(row):
    v = row["value"]
    if v is None:
        return "-"
    if row["key"] == "distinct":
        return f"{v} of {row['songs']}"
    if row["unit"] == "%":
        return f"{v:.0f} %"
    if row["key"] in ("largest_leap", "range"):
        return f"{v:g}"
    return f"{v:.2f}"


def print_table(title, summary, out=sys.stdout):
    rows, notes = summary["rows"], summary["notes"]
    print(title, file=out)
    print(f"songs: {notes['measured']} measured of {notes['songs']}"
          + (f"; meters {notes['meters']}" if notes["meters"] else ""), file=out)
    print(file=out)
    print("| measure | value | real melodies | goal | |", file=out)
    print("|---|---|---|---|---|", file=out)
    for row in rows:
        mark = {True: "pass", False: "FAIL", None: "-"}[row["pass"]]
        print(f"| {row['measure']} | {format_value(row)} | {row['real']} | {row['goal']} | {mark} |", file=out)
    print(file=out)
    if notes["broken_causes"]:
        print("broken songs by cause: " + ", ".join(f"{c}: {k}" for c, k in sorted(notes["broken_causes"].items())),
              file=out)
    if notes["keys"]:
        print("commonest Krumhansl-Schmuckler keys: " + ", ".join(f"{k} {n}" for k, n in notes["keys"].items()),
              file=out)
    if "with_key_signature" in notes:
        print(f"by the files' key signatures: last note is the tonic in "
              f"{notes['last_tonic_of_key_signature_percent']:.0f} % of {notes['with_key_signature']} songs; "
              f"the signature differs from the Krumhansl-Schmuckler key in "
              f"{notes['key_signature_differs_from_krumhansl']}", file=out)
    if notes["without_melody"]:
        print(f"songs without a melody: {len(notes['without_melody'])}: {', '.join(notes['without_melody'][:10])}",
              file=out)
    failures = notes["failures"]
    if failures:
        kinds = collections.Counter(f["kind"] for f in failures)
        print("not measured: " + ", ".join(f"{k} {n}" for k, n in kinds.items()), file=out)
        for f in failures[:10]:
            print(f"  {f['label']}: {f['kind']}: {f['detail']}", file=out)


# --- making songs ----------------------------------------------------------------------------

def run_cli(command, out_path, label, failures, timeout=COMPOSE_TIMEOUT):
    """Runs one compose or arrange; True when it wrote a file."""
    try:
        done = subprocess.run(command, capture_output=True, text=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        failures.append({"label": label, "kind": "hung", "detail": f"no end within {timeout:g} s"})
        return False
    except OSError as e:
        failures.append({"label": label, "kind": "failed", "detail": f"cannot run {command[0]}: {e.strerror}"})
        return False
    if done.returncode != 0 or not os.path.exists(out_path):
        text = (done.stderr.strip() or done.stdout.strip()).splitlines()
        failures.append({"label": label, "kind": "failed",
                         "detail": f"exit {done.returncode}" + (f": {text[0]}" if text else "")})
        return False
    return True


def measure_file(path, label, failures, songs, melody_channel):
    try:
        song = read_song(path, label)
    except OSError as e:
        failures.append({"label": label, "kind": "unreadable", "detail": e.strerror or str(e)})
        return
    except Exception as e:  # mido's many ways of saying a file is not MIDI; one bad file must not end the run
        failures.append({"label": label, "kind": "unreadable", "detail": str(e) or "not a MIDI file"})
        return
    songs.append(measure_song(song, melody_channel))


def parse_seeds(text):
    first, sep, last = text.partition("-")
    try:
        a, b = int(first), int(last) if sep else int(first)
    except ValueError:
        raise argparse.ArgumentTypeError(f"'{text}' is not a seed range such as 1-300")
    if a < 0 or b < a:
        raise argparse.ArgumentTypeError(f"'{text}' is not a seed range such as 1-300")
    return a, b


# --- self-test -------------------------------------------------------------------------------

def write_midi(path, tpb, numerator, parts, key=None):
    """parts: list of (channel, [(on, off, pitch, velocity)])."""
    mf = mido.MidiFile(type=1, ticks_per_beat=tpb)
    conductor = mido.MidiTrack([mido.MetaMessage("time_signature", numerator=numerator, denominator=4)])
    if key:
        conductor.append(mido.MetaMessage("key_signature", key=key))
    mf.tracks.append(conductor)
    for channel, notes in parts:
        events = []
        for on, off, pitch, velocity in notes:
            events.append((on, 1, mido.Message("note_on", channel=channel, note=pitch, velocity=velocity)))
            events.append((off, 0, mido.Message("note_off", channel=channel, note=pitch, velocity=64)))
        track, now = mido.MidiTrack(), 0
        for t, _, msg in sorted(events, key=lambda e: (e[0], e[1])):
            track.append(msg.copy(time=t - now))
            now = t
        mf.tracks.append(track)
    mf.save(path)


def self_test():
    """Small songs whose every value was worked out by hand."""
    failures = []

    def check(what, got, want):
        ok = (abs(got - want) < 1e-9) if isinstance(want, float) and got is not None else got == want
        if not ok:
            failures.append(f"{what}: got {got!r}, want {want!r}")

    tpb = 96
    with tempfile.TemporaryDirectory() as folder:
        # A: the C major scale up and down in quarters from beat 3, ending on C on beat 1 of bar 5;
        # the melody doubled an octave up (softer), echoed on channel 10, C3 held in the bass every
        # bar, and an Ab4 over the first two notes: above the melody, below its octave copy.
        scale = [60, 62, 64, 65, 67, 69, 71, 72, 71, 69, 67, 65, 64, 62, 60]
        melody = [(192 + 96 * i, 192 + 96 * i + 93, p, 64) for i, p in enumerate(scale)]
        copy = [(on, off, p + 12, 38) for on, off, p, _ in melody]
        echo = [(on + 48, off + 48, p, 30) for on, off, p, _ in melody]
        bass = [(384 * b, 384 * b + 381, 48, 64) for b in range(5)]
        write_midi(os.path.join(folder, "a.mid"), tpb, 4,
                   [(1, melody + copy), (10, echo), (2, bass), (3, [(192, 380, 68, 40)])], key="C")
        a = measure_song(read_song(os.path.join(folder, "a.mid")))
        check("A notes (octave copy dropped)", a["notes"], 15)
        check("A steps", a["steps"], 1.0)
        check("A leaps8", a["leaps8"], 0.0)
        check("A largest leap", a["largest_leap"], 2)
        check("A range", a["range"], 12)
        check("A step back (no leaps)", "step_back" in a, False)
        check("A off grid", a["off_grid"], 0.0)
        check("A commonest bar rhythm (3 of 5 bars)", a["common_rhythm"], 0.6)
        check("A longest rest", a["longest_rest"], 0.0)
        check("A key", a["key"], "C major")
        check("A last note tonic", a["last_tonic"], True)
        check("A last note tonic by signature", a["last_tonic_signature"], True)
        check("A last note strong", a["last_strong"], True)
        check("A clash (the two Bs over C)", a["clash"], 2 / 15)
        check("A above (Ab4 over the first two notes only)", a["above"], 2 / 15)
        check("A broken", a["broken"], [])

        # B: 3/4. C4 G5 F5 F5 | rest | A4 on the and of 1, G#4 off the eighth grid, D4 on beat 3.
        # Intervals +19 -2 0 -8 -1 -6; leaps +19 (stepped back), -8 (followed the same way).
        notes = [(0, 93, 60), (96, 189, 79), (192, 285, 77), (288, 300, 77),
                 (624, 657, 69), (660, 765, 68), (768, 861, 62)]
        write_midi(os.path.join(folder, "b.mid"), tpb, 3, [(1, [(on, off, p, 64) for on, off, p in notes])])
        b = measure_song(read_song(os.path.join(folder, "b.mid")))
        check("B steps", b["steps"], 2 / 6)
        check("B leaps8", b["leaps8"], 2 / 6)
        check("B largest leap", b["largest_leap"], 19)
        check("B range", b["range"], 19)
        check("B step back", b["step_back"], 0.5)
        check("B off grid", b["off_grid"], 1 / 7)
        check("B commonest bar rhythm (all bars differ)", b["common_rhythm"], 1 / 3)
        check("B longest rest (324 ticks of 288)", b["longest_rest"], 1.125)
        check("B last note on beat 3 of 3/4 is weak", b["last_strong"], False)
        check("B clash without accompaniment", "clash" in b, False)
        check("B broken", b["broken"], ["leap over an octave without a rest"])
        check("B meter", b["signature"], "3/4")

        # C: D4, eight E4s, C4 over C3: broken by the run alone.
        # D: D4, seven E4s, C4 over Bb2: the Es are tritones, 7 of 9 beats clash; broken by that alone.
        for name, run, bass_pitch in (("c", 8, 48), ("d", 7, 46)):
            pitches = [62] + [64] * run + [60]
            line = [(96 * i, 96 * i + 93, p, 64) for i, p in enumerate(pitches)]
            write_midi(os.path.join(folder, name + ".mid"), tpb, 4,
                       [(1, line), (2, [(0, 96 * len(pitches), bass_pitch, 64)])])
        c = measure_song(read_song(os.path.join(folder, "c.mid")))
        d = measure_song(read_song(os.path.join(folder, "d.mid")))
        check("C broken", c["broken"], ["8+ equal notes in a row"])
        check("C clash", c["clash"], 0.0)
        check("D clash", d["clash"], 7 / 9)
        check("D broken", d["broken"], ["a quarter of beats clashing"])

        # F: 4/4 over F#3: C4 E4 F4 C5(on the and of 3) B4 | C5 on beat 3. Intervals +4 +1 +7 -1 +1:
        # the major third is no leap, the fifth is stepped back. On-beat clashes: C4, F4, the last C5
        # (3 of 5; the off-beat C5 clashes too but is not counted).
        line = [(0, 60), (96, 64), (192, 65), (240, 72), (288, 71), (576, 72)]
        ends = [on for on, _ in line[1:]] + [672]
        write_midi(os.path.join(folder, "f.mid"), tpb, 4,
                   [(1, [(on, end - 3, p, 64) for (on, p), end in zip(line, ends)]), (2, [(0, 768, 54, 64)])])
        f = measure_song(read_song(os.path.join(folder, "f.mid")))
        check("F steps", f["steps"], 0.6)
        check("F step back", f["step_back"], 1.0)
        check("F clash (on-beat only)", f["clash"], 0.6)
        check("F last note on beat 3 of 4/4 is strong", f["last_strong"], True)
        check("C last note on beat 2 of 4/4 is weak", c["last_strong"], False)

        # G: C4, a bar's rest, E5 D5 C5: the leap over an octave has a rest before it, not broken.
        write_midi(os.path.join(folder, "g.mid"), tpb, 4,
                   [(1, [(0, 93, 60, 64), (384, 477, 76, 64), (480, 573, 74, 64), (576, 669, 72, 64)])])
        g = measure_song(read_song(os.path.join(folder, "g.mid")))
        check("G broken", g["broken"], [])
        check("G longest rest (291 of 384 ticks)", g["longest_rest"], 291 / 384)

        # E: only Cs: the key clarity is the correlation of a single pitch class with the best
        # profile, (p[0] - mean) / sqrt(11/12 * sum((p - mean)^2)), the major tonic here.
        write_midi(os.path.join(folder, "e.mid"), tpb, 4,
                   [(1, [(0, 93, 60, 64), (96, 189, 72, 64)])])
        e = measure_song(read_song(os.path.join(folder, "e.mid")))
        mean = sum(MAJOR_PROFILE) / 12
        want = (MAJOR_PROFILE[0] - mean) / math.sqrt(11 / 12 * sum((p - mean) ** 2 for p in MAJOR_PROFILE))
        check("E key", e["key"], "C major")
        check("E key clarity", round(e["key_clarity"], 12), round(want, 12))

        # Together: A B C D: 3 of 4 broken; largest leaps 2 19 4 4 -> 90th percentile 4 + 0.7 * 15;
        # A twice: one distinct melody of two.
        summary = summarize([a, b, c, d], [])
        row = {r["key"]: r for r in summary["rows"]}
        check("ABCD broken percent", row["broken"]["value"], 75.0)
        check("ABCD largest leap p90", row["largest_leap"]["value"], 14.5)
        check("ABCD distinct", row["distinct"]["value"], 4)
        check("AA distinct", {r["key"]: r for r in summarize([a, a], [])["rows"]}["distinct"]["value"], 1)

        # A compose that hangs or fails is counted, not fatal.
        lost = []
        run_cli([sys.executable, "-c", "import time; time.sleep(5)"], os.path.join(folder, "x.mid"), "hang", lost,
                timeout=0.5)
        run_cli([sys.executable, "-c", "raise SystemExit('no knowledge')"], os.path.join(folder, "y.mid"), "fail",
                lost)
        check("failures counted", [(f["label"], f["kind"]) for f in lost], [("hang", "hung"), ("fail", "failed")])
        check("failure reason kept", lost[1]["detail"], "exit 1: no knowledge")
    if failures:
        print("self-test: %d failed" % len(failures))
        for f in failures:
            print("  " + f)
        return 1
    print("self-test: all checks passed")
    return 0


# --- main ------------------------------------------------------------------------------------

def main(argv):
    passed = []
    if "--" in argv:
        i = argv.index("--")
        argv, passed = argv[:i], argv[i + 1:]
    parser = argparse.ArgumentParser(
        description=__doc__.split("\n\n", 1)[0],
        epilog=__doc__.split("\n\n", 1)[1], formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("cli", nargs="?", help="the tunecase-cli program")
    parser.add_argument("--seeds", type=parse_seeds, default=(1, 300), help="seeds to compose, A-B (default 1-300)")
    parser.add_argument("--measures", type=int, help="passed to compose as --measures")
    parser.add_argument("--files", nargs="+", metavar="MID", help="measure these MIDI files instead")
    parser.add_argument("--arrange-library", metavar="DIR",
                        help="arrange every .mwd of DIR (with --arrange-seed) and measure the results")
    parser.add_argument("--arrange-seed", type=int, default=1, help="seed for arrange (default 1)")
    parser.add_argument("--melody-channel", type=int, default=MELODY_CHANNEL,
                        help="channel index (0-15) of the melody (default 1)")
    parser.add_argument("--json", action="store_true", help="print the table as JSON")
    parser.add_argument("--self-test", action="store_true", help="check the measures on small hand-made songs")
    args = parser.parse_args(argv)

    if args.self_test:
        return self_test()
    if not 0 <= args.melody_channel <= 15:
        parser.error("--melody-channel takes 0 to 15")

    songs, failures = [], []
    if args.files:
        title = f"{len(args.files)} MIDI files"
        for path in args.files:
            measure_file(path, path, failures, songs, args.melody_channel)
    else:
        if not args.cli:
            parser.error("give the tunecase-cli program, --files or --self-test")
        with tempfile.TemporaryDirectory(prefix="melody-measures-") as folder:
            if args.arrange_library:
                try:
                    inputs = sorted(f for f in os.listdir(args.arrange_library) if f.lower().endswith(".mwd"))
                except OSError as e:
                    parser.error(f"cannot read {args.arrange_library}: {e.strerror}")
                title = f"arranged: {len(inputs)} songs of {args.arrange_library} (arrange --seed {args.arrange_seed})"
                for name in inputs:
                    out = os.path.join(folder, name + ".mid")
                    command = [args.cli, "arrange", "--seed", str(args.arrange_seed), *passed,
                               os.path.join(args.arrange_library, name), out]
                    if run_cli(command, out, name, failures):
                        measure_file(out, name, failures, songs, args.melody_channel)
            else:
                first, last = args.seeds
                options = (["--measures", str(args.measures)] if args.measures is not None else []) + passed
                title = f"composed: seeds {first}-{last}" + (f", {' '.join(options)}" if options else "")
                for seed in range(first, last + 1):
                    out = os.path.join(folder, f"{seed}.mid")
                    label = f"seed {seed}"
                    if run_cli([args.cli, "compose", "--seed", str(seed), *options, out], out, label, failures):
                        measure_file(out, label, failures, songs, args.melody_channel)

    summary = summarize(songs, failures)
    if args.json:
        for song in songs:
            song.pop("identity", None)
        json.dump({"title": title, **summary, "per_song": songs}, sys.stdout, indent=1)
        print()
    else:
        print_table(title, summary)
    return 0 if summary["notes"]["measured"] else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
