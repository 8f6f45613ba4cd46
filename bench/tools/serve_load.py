#!/usr/bin/env python3
"""Load on `tunecase-cli serve`, on loopback only.

Starts the server on a free port with a library folder, then
  1. CLIENTS clients (default 200) loop for SECONDS: list, download a song and compare it
     with the library's file, upload a song, delete it again;
  2. SLOW connections (default 1000, from 127.0.0.2-5) each trickle a request head a byte a
     second while one client keeps asking for the list.
Prints requests, errors, p50 and p99 for each phase. Every loop is bounded in time.

  bench/tools/serve_load.py build/tunecase-cli LIBRARY_DIR [--clients 200] [--seconds 20]
"""
import argparse
import asyncio
import base64
import os
import re
import socket
import subprocess
import sys
import tempfile
import time
import urllib.parse


async def request(method, target, body=b"", source=None, port=0, timeout=10.0):
    """One HTTP/1.1 request with Connection: close; returns (status, body)."""
    reader, writer = await asyncio.wait_for(
        asyncio.open_connection("127.0.0.1", port, local_addr=(source, 0) if source else None), timeout)
    head = f"{method} {target} HTTP/1.1\r\nHost: 127.0.0.1:{port}\r\nConnection: close\r\n"
    if body:
        head += f"Content-Type: application/x-www-form-urlencoded\r\nContent-Length: {len(body)}\r\n"
    writer.write(head.encode() + b"\r\n" + body)
    await writer.drain()
    data = await asyncio.wait_for(reader.read(), timeout)
    writer.close()
    status = int(data.split(b" ", 2)[1]) if data.startswith(b"HTTP/") else 0
    return status, data.partition(b"\r\n\r\n")[2]


def percentile(values, share):
    if not values:
        return float("nan")
    values = sorted(values)
    return values[min(len(values) - 1, int(share * len(values)))]


def report(name, times, errors):
    print(f"{name}: requests {len(times) + errors}, errors {errors}, "
          f"p50 {percentile(times, 0.5) * 1000:.1f} ms, p99 {percentile(times, 0.99) * 1000:.1f} ms")


async def busy_clients(port, library, clients, seconds, midi):
    songs = sorted(n for n in os.listdir(library) if n.lower().endswith(".mwd"))
    expected = {n: open(os.path.join(library, n), "rb").read() for n in songs[:20]}
    upload = b"name=Chimeline.mid&data=" + base64.b64encode(midi)
    times, errors = [], 0
    end = time.monotonic() + seconds

    async def timed(*args):
        nonlocal errors
        start = time.monotonic()
        try:
            status, body = await request(*args, port=port)
        except (OSError, asyncio.TimeoutError):
            errors += 1
            return None
        times.append(time.monotonic() - start)
        if status != 200:
            errors += 1
            return None
        return body

    async def one(index):
        nonlocal errors
        i = index
        while time.monotonic() < end:
            await timed("GET", "/music/music_get_list.php")
            name = list(expected)[i % len(expected)]
            got = await timed("GET", "/music/music_get_file.php?fn=" + urllib.parse.quote(name))
            if got is not None and got != expected[name]:
                errors += 1
            answer = await timed("POST", "/work/get_file.php", upload)
            if answer is not None:
                key = answer.decode(errors="replace").partition(",")[2]
                await timed("POST", "/work/get_file.php", b"del=" + key.encode())
            i += clients

    await asyncio.gather(*(one(i) for i in range(clients)))
    report(f"{clients} clients, {seconds} s (list, download+compare, upload, delete)", times, errors)


async def slow_clients(port, slow, seconds):
    holders = []
    for i in range(slow):
        try:
            _, writer = await asyncio.open_connection(
                "127.0.0.1", port, local_addr=(f"127.0.0.{2 + i // 250}", 0))
            writer.write(b"G")
            holders.append(writer)
        except OSError:
            pass
    times, errors = [], 0
    end = time.monotonic() + seconds
    head = b"ET /music/music_get_list.php HTTP/1.1\r\nHost: x\r\n\r\n"
    step = 0
    while time.monotonic() < end:
        for w in holders:  # each slow client sends one more byte of its head per round
            if step < len(head) and not w.is_closing():
                w.write(head[step:step + 1])
        step += 1
        start = time.monotonic()
        try:
            status, _ = await request("GET", "/music/music_get_list.php", port=port, timeout=5)
            times.append(time.monotonic() - start)
            errors += status != 200
        except (OSError, asyncio.TimeoutError):
            errors += 1
        await asyncio.sleep(max(0.0, 1.0 - (time.monotonic() - start)))
    open_now = sum(not w.is_closing() for w in holders)
    for w in holders:
        w.close()
    report(f"{len(holders)} slow connections opened, list requests beside them for {seconds} s", times, errors)
    print(f"  slow connections still open at the end: {open_now}")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("library")
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--slow", type=int, default=1000)
    parser.add_argument("--seconds", type=int, default=20)
    parser.add_argument("--midi", default=os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data",
                                                       "midi", "mido_three_tracks.mid"))
    args = parser.parse_args()
    midi = open(args.midi, "rb").read()
    with tempfile.TemporaryDirectory() as uploads:
        server = subprocess.Popen([args.cli, "serve", "--library", args.library, "--uploads", uploads, "--port", "0"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            line = server.stdout.readline()
            match = re.search(r":(\d+) ", line)
            if not match:
                sys.exit(f"the server did not start: {line!r}")
            port = int(match.group(1))
            asyncio.run(busy_clients(port, args.library, args.clients, args.seconds, midi))
            asyncio.run(slow_clients(port, args.slow, args.seconds))
        finally:
            server.terminate()
            server.wait(timeout=10)


if __name__ == "__main__":
    main()
