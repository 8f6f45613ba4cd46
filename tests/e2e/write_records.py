#!/usr/bin/env python3
"""Writes the player's two records into a settings folder, so a run starts without asking.

usage: write_records.py FOLDER PLATE_CODE DATA_FOLDER SONG_PATH [TITLE] [SONG_PATH TITLE ...]

setup.ini: 276 bytes (both channel deletions on, the plate, the data folder, 100 %).
mbox.lst: 51,608 bytes (count, 100 slots of 256-byte title and 260-byte path, current 0).
"""
import os
import struct
import sys


def field(text, size):
    data = text.encode("utf-8")
    if len(data) >= size:
        sys.exit(f"too long for {size} bytes: {text}")
    return data + b"\0" * (size - len(data))


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    folder, plate, data_folder = sys.argv[1], int(sys.argv[2]), sys.argv[3]
    rest = sys.argv[4:]
    songs = []
    while rest:
        path = rest.pop(0)
        title = rest.pop(0) if rest else os.path.splitext(os.path.basename(path))[0]
        songs.append((title, path))
    os.makedirs(folder, exist_ok=True)
    settings = struct.pack("<iii", 1, 1, plate) + field(data_folder, 260) + struct.pack("<i", 100)
    assert len(settings) == 276
    entries = b"".join(field(t, 256) + field(p, 260) for t, p in songs)
    entries += b"\0" * (516 * (100 - len(songs)))
    song_list = struct.pack("<i", len(songs)) + entries + struct.pack("<i", 0)
    assert len(song_list) == 51608
    with open(os.path.join(folder, "setup.ini"), "wb") as f:
        f.write(settings)
    with open(os.path.join(folder, "mbox.lst"), "wb") as f:
        f.write(song_list)


if __name__ == "__main__":
    main()
