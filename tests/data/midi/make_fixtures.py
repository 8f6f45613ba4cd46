#!/usr/bin/python3
"""Writes the MIDI test files of this folder with python3-mido (a writer other than ours).

Run from anywhere: /usr/bin/python3 tests/data/midi/make_fixtures.py
The output is deterministic (fixed seeds), so re-running gives the same bytes.
"""
import os
import random
import struct

import mido

HERE = os.path.dirname(os.path.abspath(__file__))


def path(*parts):
    return os.path.join(HERE, *parts)


def conductor(tempo=500000, numerator=4, denominator=4, name="conductor"):
    t = mido.MidiTrack()
    t.append(mido.MetaMessage("track_name", name=name, time=0))
    t.append(mido.MetaMessage("time_signature", numerator=numerator, denominator=denominator, time=0))
    t.append(mido.MetaMessage("set_tempo", tempo=tempo, time=0))
    return t


def three_tracks():
    """Format 1: a conductor track, a piano part with chords, and drums on channel 9."""
    rnd = random.Random(1234)
    f = mido.MidiFile(type=1, ticks_per_beat=480)
    c = conductor(tempo=600000, numerator=3, denominator=4)
    c.append(mido.MetaMessage("set_tempo", tempo=500000, time=1440))
    c.append(mido.MetaMessage("end_of_track", time=0))
    f.tracks.append(c)

    piano = mido.MidiTrack()
    piano.append(mido.MetaMessage("track_name", name="piano", time=0))
    piano.append(mido.Message("program_change", channel=0, program=0, time=0))
    piano.append(mido.Message("control_change", channel=0, control=7, value=100, time=0))
    piano.append(mido.Message("sysex", data=[0x7E, 0x7F, 0x09, 0x01], time=0))
    events = []  # (abs time, order, message)
    t = 0
    for _ in range(48):
        chord = sorted(rnd.sample(range(48, 84), rnd.choice([1, 1, 2, 3])))
        length = rnd.choice([120, 240, 480])
        vel = rnd.randint(40, 120)
        for k in chord:
            events.append((t, 1, mido.Message("note_on", channel=0, note=k, velocity=vel)))
            # every other note ends with a velocity-0 note on, as many writers do
            off = (mido.Message("note_on", channel=0, note=k, velocity=0) if k % 2 else
                   mido.Message("note_off", channel=0, note=k, velocity=rnd.randint(0, 127)))
            events.append((t + length, 0, off))
        if rnd.random() < 0.2:
            events.append((t + 60, 2, mido.Message("pitchwheel", channel=0, pitch=rnd.randint(-8192, 8191))))
        t += length
    events.sort(key=lambda e: (e[0], e[1]))
    last = 0
    for at, _, msg in events:
        piano.append(msg.copy(time=at - last))
        last = at
    piano.append(mido.MetaMessage("end_of_track", time=0))
    f.tracks.append(piano)

    drums = mido.MidiTrack()
    drums.append(mido.Message("program_change", channel=9, program=0, time=0))
    for i in range(64):
        key = [36, 42, 38, 42][i % 4]
        drums.append(mido.Message("note_on", channel=9, note=key, velocity=100, time=0 if i == 0 else 180))
        drums.append(mido.Message("note_off", channel=9, note=key, velocity=64, time=60))
    drums.append(mido.MetaMessage("end_of_track", time=0))
    f.tracks.append(drums)
    f.save(path("mido_three_tracks.mid"))


def format0_melody():
    """Format 0: one track on two channels with a tempo change and a key signature."""
    f = mido.MidiFile(type=0, ticks_per_beat=96)
    t = mido.MidiTrack()
    t.append(mido.MetaMessage("time_signature", numerator=6, denominator=8, time=0))
    t.append(mido.MetaMessage("key_signature", key="G", time=0))
    t.append(mido.MetaMessage("set_tempo", tempo=400000, time=0))
    t.append(mido.Message("program_change", channel=1, program=10, time=0))
    keys = [67, 69, 71, 72, 74, 72, 71, 69, 67, 62, 67]
    for i, k in enumerate(keys):
        t.append(mido.Message("note_on", channel=i % 2, note=k, velocity=90, time=0 if i == 0 else 24))
        t.append(mido.Message("note_off", channel=i % 2, note=k, velocity=0, time=48))
        if i == 5:
            t.append(mido.MetaMessage("set_tempo", tempo=450000, time=0))
    t.append(mido.MetaMessage("end_of_track", time=96))
    f.tracks.append(t)
    f.save(path("mido_format0_melody.mid"))


def many_tracks():
    """Format 1 with eight parts whose notes often start at the same tick (merge order)."""
    rnd = random.Random(99)
    f = mido.MidiFile(type=1, ticks_per_beat=240)
    c = conductor(tempo=500000)
    c.append(mido.MetaMessage("end_of_track", time=0))
    f.tracks.append(c)
    for part in range(8):
        tr = mido.MidiTrack()
        tr.append(mido.Message("program_change", channel=part, program=part * 8, time=0))
        t = 0
        last = 0
        for _ in range(40):
            t += rnd.choice([0, 120, 120, 240])
            key = rnd.randint(40, 90)
            dur = rnd.choice([60, 120, 240])
            tr.append(mido.Message("note_on", channel=part, note=key, velocity=rnd.randint(1, 127), time=t - last))
            tr.append(mido.Message("note_on", channel=part, note=key, velocity=0, time=dur))
            last = t + dur
            t = last
        tr.append(mido.MetaMessage("end_of_track", time=0))
        f.tracks.append(tr)
    f.save(path("mido_eight_parts.mid"))


def raw(name, data):
    with open(path("broken", name), "wb") as out:
        out.write(data)


def header(fmt, ntracks, division):
    return b"MThd" + struct.pack(">IHHH", 6, fmt, ntracks, division)


def chunk(body):
    return b"MTrk" + struct.pack(">I", len(body)) + body


def broken_files():
    """Files no reader should accept, each with the message it must end with."""
    good = chunk(bytes([0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0x00]))
    raw("empty.mid", b"")
    raw("not_midi.mid", b"RIFF\x24\x00\x00\x00WAVEfmt this is not a midi file at all")
    raw("format2.mid", header(2, 1, 96) + good)
    raw("format0_two_tracks.mid", header(0, 2, 96) + good + good)
    raw("truncated_header.mid", b"MThd\x00\x00\x00\x06\x00")
    raw("zero_division.mid", header(0, 1, 0) + good)
    raw("zero_division_format1.mid", header(1, 1, 0) + good)
    raw("truncated_chunk.mid", header(0, 1, 96) + good[:-5])


def main():
    three_tracks()
    format0_melody()
    many_tracks()
    broken_files()


if __name__ == "__main__":
    main()
