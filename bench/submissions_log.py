#!/usr/bin/env python3
"""Writes (or appends to) a web server log of data requests, as the data page's log holds them,
for measuring tools/collect_submissions.py.

    submissions_log.py LOG LINES [--append] [--seed N]

A line in five is one submitted name from a pool of 50,000; the others are lists of 5 to 15
running programs from a pool of 2,000. Both pools are drawn with a long tail (a few names very
often, most rarely), and some names hold spaces and accented letters, so that percent-encoding
is exercised. One line in a thousand is a name that does not decipher."""
import argparse
import itertools
import os
import random
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "tools"))
import definition_releases as dr  # noqa: E402

PROGRAMS, SUBMITTED = 2000, 50000
_PLAIN = frozenset(b"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_.~|")


def percent_encode(data: bytes) -> bytes:
    """The program's encoding of the data argument."""
    return b"".join(bytes((c,)) if c in _PLAIN else b"%%%02X" % c for c in data)


def pool(rng, size, extensions):
    letters = "abcdefghijklmnopqrstuvwxyz"
    names = set()
    while len(names) < size:
        stem = "".join(rng.choice(letters) for _ in range(rng.randint(4, 12)))
        if rng.random() < 0.1:
            stem = stem.capitalize() + " " + rng.choice(["Helper", "Updäte", "Setup", "Agent"])
        names.add(stem + rng.choice(extensions))
    names = sorted(names)
    rng.shuffle(names)
    return [percent_encode(dr.encode_line(n.encode("cp1252"))) for n in names]


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("log")
    parser.add_argument("lines", type=int)
    parser.add_argument("--append", action="store_true")
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    rng = random.Random(args.seed)
    programs = pool(rng, PROGRAMS, [".exe"])
    submitted = pool(rng, SUBMITTED, [".exe", ".dll", ".scr", ".tmp"])
    # Long-tailed draws: the i-th name of a pool weighs 1 / (i + 1).
    program_weights = list(itertools.accumulate(1 / (i + 1) for i in range(len(programs))))
    submitted_weights = list(itertools.accumulate(1 / (i + 1) for i in range(len(submitted))))
    bad = percent_encode(b"=bad")  # "=" deciphers to NUL
    rng = random.Random(args.seed + 1 if args.append else args.seed)
    with open(args.log, "ab" if args.append else "wb") as f:
        batch = []
        for i in range(args.lines):
            r = rng.random()
            if r < 0.001:
                batch.append(bad + b"|")
            elif r < 0.2:
                batch.append(rng.choices(submitted, cum_weights=submitted_weights)[0] + b"|")
            else:
                batch.append(b"|".join(rng.choices(programs, cum_weights=program_weights, k=rng.randint(5, 15))))
            if len(batch) == 10000 or i == args.lines - 1:
                f.write(b"\n".join(batch) + b"\n")
                batch = []


if __name__ == "__main__":
    main()
