#!/usr/bin/python3
"""Prints what python3-mido reads from a MIDI file as one JSON object, for the composition
tests (an outside reader of the songs the engine writes):

  {"type", "division", "tracks": [{"notes": [[start, channel, key, velocity, duration]],
   "programs": [[time, channel, program]], "controls": [[time, channel, control, value]],
   "markers": [[time, text]], "texts": [...], "time_signatures": [[time, n, d, clocks]],
   "key_signatures": [[time, key]], "tempos": [[time, tempo]], "sysex": [[time, [bytes]]],
   "end": end_of_track_time}]}

A note on of velocity 0 ends a note, a note off ends the earliest sounding note of its
channel and key.
"""
import json
import sys

import mido


def track_summary(track):
    now = 0
    sounding = {}
    out = {"notes": [], "programs": [], "controls": [], "markers": [], "texts": [], "time_signatures": [],
           "key_signatures": [], "tempos": [], "sysex": [], "bends": [], "end": 0}
    for msg in track:
        now += msg.time
        if msg.type == "note_on" and msg.velocity > 0:
            sounding.setdefault((msg.channel, msg.note), []).append((now, msg.velocity))
        elif msg.type in ("note_off", "note_on"):
            started = sounding.get((msg.channel, msg.note))
            if started:
                start, velocity = started.pop(0)
                out["notes"].append([start, msg.channel, msg.note, velocity, now - start])
        elif msg.type == "program_change":
            out["programs"].append([now, msg.channel, msg.program])
        elif msg.type == "control_change":
            out["controls"].append([now, msg.channel, msg.control, msg.value])
        elif msg.type == "pitchwheel":
            out["bends"].append([now, msg.channel, msg.pitch])
        elif msg.type == "marker":
            out["markers"].append([now, msg.text])
        elif msg.type == "text":
            out["texts"].append(msg.text)
        elif msg.type == "time_signature":
            out["time_signatures"].append([now, msg.numerator, msg.denominator, msg.clocks_per_click])
        elif msg.type == "key_signature":
            out["key_signatures"].append([now, msg.key])
        elif msg.type == "set_tempo":
            out["tempos"].append([now, msg.tempo])
        elif msg.type == "sysex":
            out["sysex"].append([now, list(msg.data)])
        elif msg.type == "end_of_track":
            out["end"] = now
    out["notes"].sort()
    return out


def main(path):
    f = mido.MidiFile(path)
    print(json.dumps({"type": f.type, "division": f.ticks_per_beat,
                      "tracks": [track_summary(t) for t in f.tracks]}))


if __name__ == "__main__":
    main(sys.argv[1])
