#!/usr/bin/python3
"""Prints every note of a MIDI file as read by python3-mido, one per line:
"start channel key velocity duration", sorted. Note ons of velocity 0 end notes; a note off
ends the earliest sounding note of its channel and key. Used by the tests as an outside reader.
"""
import sys

import mido


def notes(file_name):
    f = mido.MidiFile(file_name)
    out = []
    for track in f.tracks:
        now = 0
        sounding = {}
        for msg in track:
            now += msg.time
            if msg.type == "note_on" and msg.velocity > 0:
                sounding.setdefault((msg.channel, msg.note), []).append((now, msg.velocity))
            elif msg.type in ("note_off", "note_on"):
                started = sounding.get((msg.channel, msg.note))
                if started:
                    start, vel = started.pop(0)
                    out.append((start, msg.channel, msg.note, vel, now - start))
    return sorted(out)


if __name__ == "__main__":
    print("type %d tracks %d division %d" % (lambda f: (f.type, len(f.tracks), f.ticks_per_beat))(
        mido.MidiFile(sys.argv[1])))
    for n in notes(sys.argv[1]):
        print("%d %d %d %d %d" % n)
