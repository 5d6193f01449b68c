#!/usr/bin/env python3
"""Load and slow-client measures of definition servers, one line of figures per server.

    server_load.py [--clients 100] [--processes 2] [--seconds 10] [--slow 16] [--slow-seconds 30] BASE...

For each base address (http://127.0.0.1:PORT):
  rate: CLIENTS clients ask for the update page (the whole release) over and over, each on a new
        connection, for SECONDS; prints answers per second and failures.
  slow: SLOW clients each send a request one byte every 3 seconds, for SLOW-SECONDS, while one
        ordinary client asks for the update page every half second; prints how many of its
        requests were answered, their median and slowest times, and how long the server let
        each slow client trickle before closing on it.
The clients are Python asyncio coroutines shared among PROCESSES processes; on a small machine
they, not a fast server, are the limit (the figure is then a lower bound for that server).
"""
import argparse
import asyncio
import multiprocessing
import statistics
import sys
import time
import urllib.parse

PAGE = "/asp/getDefs.asp?prog=Quillon&comp=Quillon%20Developers&date=3/16/2006%2012:00:00%20AM"


async def fetch(host, port, timeout=10.0):
    """Status of one GET of PAGE on a new connection, or None when it failed."""
    try:
        reader, writer = await asyncio.wait_for(asyncio.open_connection(host, port), timeout)
    except (OSError, asyncio.TimeoutError):
        return None
    try:
        writer.write(("GET %s HTTP/1.1\r\nHost: %s\r\nConnection: close\r\n\r\n" % (PAGE, host)).encode())
        data = await asyncio.wait_for(reader.read(-1), timeout)
        return int(data.split(b" ", 2)[1]) if data.startswith(b"HTTP/") else None
    except (OSError, asyncio.TimeoutError, ValueError, IndexError):
        return None
    finally:
        writer.close()


async def rate(host, port, clients, seconds):
    end = time.monotonic() + seconds
    counts = {"ok": 0, "failed": 0}

    async def client():
        while time.monotonic() < end:
            counts["ok" if await fetch(host, port) == 200 else "failed"] += 1

    start = time.monotonic()
    await asyncio.gather(*(client() for _ in range(clients)))
    return counts["ok"] / (time.monotonic() - start), counts["failed"]


async def slow(host, port, clients, seconds):
    request = ("GET %s HTTP/1.1\r\nHost: %s\r\nX-Padding: %s\r\n\r\n" % (PAGE, host, "x" * 64)).encode()
    end = time.monotonic() + seconds
    held = []  # seconds each slow client was let trickle before the server closed on it

    async def trickler():
        while time.monotonic() < end:
            try:
                reader, writer = await asyncio.open_connection(host, port)
            except OSError:
                await asyncio.sleep(1)
                continue
            began = time.monotonic()
            try:
                for b in request:
                    writer.write(bytes([b]))
                    await writer.drain()
                    # The server closing on us shows as data or an end of stream here.
                    try:
                        if await asyncio.wait_for(reader.read(1), 3.0) or reader.at_eof():
                            break
                    except asyncio.TimeoutError:
                        pass
                    if time.monotonic() >= end:
                        break
            except OSError:
                pass
            finally:
                if time.monotonic() < end:
                    held.append(time.monotonic() - began)
                writer.close()

    async def ordinary():
        times, failed = [], 0
        await asyncio.sleep(2)  # the slow clients are connected by now
        while time.monotonic() < end:
            began = time.monotonic()
            if await fetch(host, port) == 200:
                times.append(time.monotonic() - began)
            else:
                failed += 1
            await asyncio.sleep(0.5)
        return times, failed

    results = await asyncio.gather(ordinary(), *(trickler() for _ in range(clients)))
    return results[0][0], results[0][1], held


def _rate_part(args):
    return asyncio.run(rate(*args))


def rate_in_processes(host, port, clients, seconds, processes):
    """(answers per second, failures) of `clients` clients spread over `processes` processes."""
    shares = [clients // processes + (i < clients % processes) for i in range(processes)]
    with multiprocessing.Pool(processes) as pool:
        parts = pool.map(_rate_part, [(host, port, n, seconds) for n in shares if n])
    return sum(p[0] for p in parts), sum(p[1] for p in parts)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("bases", nargs="+", metavar="BASE")
    parser.add_argument("--clients", type=int, default=100)
    parser.add_argument("--processes", type=int, default=2)
    parser.add_argument("--seconds", type=float, default=10)
    parser.add_argument("--slow", type=int, default=16)
    parser.add_argument("--slow-seconds", type=float, default=30)
    args = parser.parse_args(argv)
    for base in args.bases:
        u = urllib.parse.urlsplit(base)
        per_second, failed = rate_in_processes(u.hostname, u.port, args.clients, args.seconds,
                                               max(1, args.processes))
        print("%s rate: %.0f answers/s at %d clients, %d failed" % (base, per_second, args.clients, failed),
              flush=True)
        times, failed, held = asyncio.run(slow(u.hostname, u.port, args.slow, args.slow_seconds))
        ms = sorted(t * 1000 for t in times)
        print("%s slow: %d slow clients: ordinary client %d answered, %d failed, median %.1f ms, "
              "slowest %.1f ms; slow clients closed after %s s" %
              (base, args.slow, len(ms), failed, statistics.median(ms) if ms else -1,
               ms[-1] if ms else -1, "%.1f-%.1f" % (min(held), max(held)) if held else "never"),
              flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
