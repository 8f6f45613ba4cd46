#!/usr/bin/env python3
"""Load on `tunecase-cli serve`, on loopback only.

Starts the server on a free port with a library folder and a fresh database, then
  1. CLIENTS clients (default 200) loop for SECONDS: list, search (the list's and the index
     page's), download a song and compare it with the library's file, upload a song, fetch
     its page and its file (compared with what was sent), delete it again;
  2. SLOW connections (default 1000, from 127.0.0.2-5) each trickle a request head a byte a
     second while one client keeps asking for the list.
Prints requests, errors, p50, p99 and the slowest for each phase and for each kind of
request, and exits 1 when a phase had errors, the busy phase's p99 is over --p99-ms (200) or
a request beside the slow connections took over 1 s. Every loop is bounded in time.

  bench/tools/serve_load.py build/tunecase-cli LIBRARY_DIR [--clients 200] [--seconds 60] [--think-ms 0]

With --think-ms 0 the clients send back to back: the server is saturated and a request's time
is mostly its wait in the queue (200 clients / requests per second). --think-ms 250 models
people: each client pauses a random 0-500 ms before each request.
"""
import argparse
import asyncio
import base64
import os
import random
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
          f"p50 {percentile(times, 0.5) * 1000:.1f} ms, p99 {percentile(times, 0.99) * 1000:.1f} ms, "
          f"slowest {max(times, default=float('nan')) * 1000:.1f} ms")


async def busy_clients(port, library, clients, seconds, midi, think):
    songs = sorted(n for n in os.listdir(library) if n.lower().endswith(".mwd"))
    expected = {n: open(os.path.join(library, n), "rb").read() for n in songs[:20]}
    words = ["twinkle", "NIGHT", "noel", "little star", "a", "jacques"]
    upload = b"name=Chimeline.mid&data=" + base64.b64encode(midi)
    kinds = {}
    errors = 0
    end = time.monotonic() + seconds

    async def timed(kind, *args):
        nonlocal errors
        if think > 0:  # a person between two clicks, on average `think` seconds
            await asyncio.sleep(random.uniform(0, 2 * think))
        start = time.monotonic()
        try:
            status, body = await request(*args, port=port)
        except (OSError, asyncio.TimeoutError):
            errors += 1
            return None
        kinds.setdefault(kind, []).append(time.monotonic() - start)
        if status != 200:
            errors += 1
            return None
        return body

    async def one(index):
        nonlocal errors
        i = index
        while time.monotonic() < end:
            await timed("list", "GET", "/music/music_get_list.php")
            word = urllib.parse.quote(words[i % len(words)])
            await timed("search", "GET", "/music/music_get_list.php?q=" + word)
            await timed("index page", "GET", "/?q=" + word)
            name = list(expected)[i % len(expected)]
            got = await timed("download", "GET", "/music/music_get_file.php?fn=" + urllib.parse.quote(name))
            if got is not None and got != expected[name]:
                errors += 1
            answer = await timed("upload", "POST", "/work/get_file.php", upload)
            if answer is not None:
                key = answer.decode(errors="replace").partition(",")[2]
                page = await timed("upload page", "GET", "/s/" + key)
                if page is not None and b"Made with Tunecase" not in page:
                    errors += 1
                back = await timed("upload file", "GET", "/s/" + key + ".mid")
                if back is not None and back != midi:
                    errors += 1
                await timed("delete", "POST", "/work/get_file.php", b"del=" + key.encode())
            i += clients

    await asyncio.gather(*(one(i) for i in range(clients)))
    every = [t for times in kinds.values() for t in times]
    paced = f", {think * 1000:.0f} ms between requests on average" if think > 0 else ", no pause between requests"
    report(f"{clients} clients, {seconds} s{paced} (list, search, index page, download+compare, upload, upload page, "
           f"upload file+compare, delete)", every, errors)
    for kind, times in kinds.items():
        report(f"  {kind}", times, 0)
    return errors, percentile(every, 0.99)


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
    return errors, max(times, default=float("inf"))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cli")
    parser.add_argument("library")
    parser.add_argument("--clients", type=int, default=200)
    parser.add_argument("--slow", type=int, default=1000)
    parser.add_argument("--seconds", type=int, default=60)
    parser.add_argument("--slow-seconds", type=int, default=20)
    parser.add_argument("--p99-ms", type=float, default=200)
    parser.add_argument("--think-ms", type=float, default=0,
                        help="each client's average pause before a request (0: none, the server saturated)")
    parser.add_argument("--midi", default=os.path.join(os.path.dirname(__file__), "..", "..", "tests", "data",
                                                       "midi", "mido_three_tracks.mid"))
    args = parser.parse_args()
    midi = open(args.midi, "rb").read()
    with tempfile.TemporaryDirectory() as uploads:
        server = subprocess.Popen([args.cli, "serve", "--library", args.library, "--uploads", uploads, "--port", "0",
                                   "--uploads-per-minute", "0"],
                                  stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        try:
            line = server.stdout.readline()
            match = re.search(r":(\d+) ", line)
            if not match:
                sys.exit(f"the server did not start: {line!r}")
            port = int(match.group(1))
            busy_errors, p99 = asyncio.run(busy_clients(port, args.library, args.clients, args.seconds, midi,
                                                                 args.think_ms / 1000))
            slow_errors, slowest = asyncio.run(slow_clients(port, args.slow, args.slow_seconds))
        finally:
            server.terminate()
            server.wait(timeout=10)
    failed = []
    if busy_errors or slow_errors:
        failed.append(f"errors: {busy_errors} busy, {slow_errors} beside the slow connections")
    if p99 * 1000 > args.p99_ms:
        failed.append(f"p99 {p99 * 1000:.1f} ms is over {args.p99_ms:.0f} ms")
    if slowest > 1.0:
        failed.append(f"a request beside the slow connections took {slowest * 1000:.0f} ms")
    print("FAILED: " + "; ".join(failed) if failed else "passed")
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
