#!/usr/bin/env python3
"""Counts the names that programs report to the data server into a database.

The web server writes the data argument of each data request alone on a line of its log, as the
program sent it (percent-encoded), with the web server's own escaping (\\xHH) of '"', '\\' and
bytes outside printable ASCII. A payload that ends with "|" is one submitted file name; one
without is the list of programs that were running. Each name is enciphered with the definition
line cipher.

Each run reads the log from where the last one stopped, counts the names in memory by (name,
kind), and adds the counts to the database in one transaction together with the new position,
so a run that fails counts nothing and the next one reads the same lines again.

    collect_submissions.py --log LOG [--db FILE.sqlite | --postgres DSN] [--top N]
"""
import argparse
import collections
import datetime
import hashlib
import os
import re
import sqlite3
import sys
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import definition_releases as dr  # noqa: E402

SUBMITTED, ANONYMOUS = "submitted", "anonymous"
# Names are single-byte text in the sending system's code page, which the request does not say;
# they are read as the Western one.
CODE_PAGE = "cp1252"
# How much of a log's beginning and of what comes just before the position, beside its device
# and inode, tells that it is the file read last time and not a new one in its place.
CHECKED = 4096
# Positions of logs not read for this long are forgotten (rotated logs that are long gone).
FORGET_POSITIONS = datetime.timedelta(days=30)
DEFAULT_DB = "submissions.sqlite"

_ESCAPED = re.compile(rb"\\x([0-9A-Fa-f]{2})")
_CONTROL = re.compile("[\x00-\x1f\x7f]")

SCHEMA = """
CREATE TABLE IF NOT EXISTS reported_names (
    name TEXT NOT NULL,
    kind TEXT NOT NULL CHECK (kind IN ('submitted', 'anonymous')),
    first_seen {time} NOT NULL,
    last_seen {time} NOT NULL,
    count BIGINT NOT NULL,
    PRIMARY KEY (name, kind)
){compact};
CREATE TABLE IF NOT EXISTS log_positions (
    file_id TEXT PRIMARY KEY,
    byte_offset BIGINT NOT NULL,
    check_sha256 TEXT NOT NULL,
    read_at {time} NOT NULL
);
"""
UPSERT = ("INSERT INTO reported_names AS r (name, kind, first_seen, last_seen, count) VALUES {values} "
          "ON CONFLICT (name, kind) DO UPDATE "
          "SET last_seen = excluded.last_seen, count = r.count + excluded.count")
SAVE_POSITION = ("INSERT INTO log_positions (file_id, byte_offset, check_sha256, read_at) "
                 "VALUES ({p}, {p}, {p}, {p}) ON CONFLICT (file_id) DO UPDATE "
                 "SET byte_offset = excluded.byte_offset, check_sha256 = excluded.check_sha256, "
                 "read_at = excluded.read_at")
TOP = ("SELECT name, count FROM reported_names WHERE kind = 'submitted' "
       "ORDER BY count DESC, name LIMIT {p}")


def unescape(line: bytes) -> bytes:
    """One log line as the request carried it: undoes the web server's escaping."""
    return _ESCAPED.sub(lambda m: bytes((int(m.group(1), 16),)), line) if b"\\" in line else line


def name_of(token: bytes):
    """The plain name of one enciphered name, or None when it does not decipher cleanly: a byte
    the cipher never produces, a NUL or another byte no stored name can hold, or text that is no
    file name (control characters, bytes the code page leaves undefined)."""
    plain = dr.decode_line(token)
    if dr.encode_line(plain) != token or dr.unencodable_byte(plain) is not None:
        return None
    try:
        text = plain.decode(CODE_PAGE)
    except UnicodeDecodeError:
        return None
    return None if _CONTROL.search(text) else text


class Run:
    """What one run read: counts by enciphered name, so each distinct name is deciphered once."""

    def __init__(self):
        self.counts = {SUBMITTED: collections.Counter(), ANONYMOUS: collections.Counter()}
        self.lines = 0

    def add_line(self, line: bytes):
        """Counts the names of one line still percent-encoded: decoding each distinct name once
        instead of every line is most of the speed. The web server writes "-" for a request
        without the argument."""
        self.lines += 1
        line = unescape(line)
        if line == b"-":
            return
        if b"%7C" in line or b"%7c" in line:
            # A separator sent encoded still separates: split the decoded line, and encode each
            # name again so that all are keyed alike.
            line = b"|".join(urllib.parse.quote_from_bytes(t, safe="").encode("ascii")
                             for t in urllib.parse.unquote_to_bytes(line).split(b"|"))
        if line.endswith(b"|"):
            self.counts[SUBMITTED][line[:-1]] += 1
        else:
            self.counts[ANONYMOUS].update(line.split(b"|"))

    def rows(self):
        """Yields (name, kind, count) and then leaves in `counted`, `distinct` and `rejected` how
        many names it counted (how many different) and rejected, emptying the counts as it goes so that the enciphered and the
        plain names are not held at once. An empty name (an empty submission, or "||" in a list)
        is no name: neither counted nor rejected."""
        self.counted = self.rejected = self.distinct = 0
        for kind, counter in self.counts.items():
            totals = collections.Counter()
            while counter:
                token, n = counter.popitem()
                name = name_of(urllib.parse.unquote_to_bytes(token)) if token else ""
                if name is None:
                    self.rejected += n
                elif name:
                    totals[name] += n
            while totals:
                name, n = totals.popitem()
                self.counted += n
                self.distinct += 1
                yield name, kind, n


def _check_digest(f, offset):
    """Digest of the bytes that must not have changed for `offset` to be where reading goes on:
    the file's beginning and what comes just before the offset."""
    n = min(offset, CHECKED)
    f.seek(0)
    head = f.read(n)
    f.seek(offset - n)
    return hashlib.sha256(head + f.read(n)).hexdigest()


def read_log(path, stored):
    """Reads the whole lines of `path` after the stored position of the same file, or from its
    beginning when the file is another one (rotated) or shorter than that position (truncated).
    `stored` maps a file identity to (offset, check digest). Returns (run, file identity, new
    position, offset started from)."""
    run = Run()
    with open(path, "rb") as f:
        st = os.fstat(f.fileno())
        file_id = "%d:%d" % (st.st_dev, st.st_ino)
        start = 0
        known = stored(file_id)
        if known and known[0] <= st.st_size and _check_digest(f, known[0]) == known[1]:
            start = known[0]
        f.seek(start)
        end = start
        for line in f:
            # A line the server is still writing is read whole next time.
            if not line.endswith(b"\n"):
                break
            end += len(line)
            run.add_line(line[:-1])
        return run, file_id, (end, _check_digest(f, end)), start


class Database:
    """The counts and the log positions, in SQLite or PostgreSQL (same tables, same statements
    apart from the placeholders and the type of times)."""

    def __init__(self, db=None, postgres=None):
        self.postgres = postgres is not None
        if self.postgres:
            try:
                import psycopg2
                import psycopg2.extras
            except ImportError:
                sys.exit("PostgreSQL needs the psycopg2 module of this python (%s)" % sys.executable)
            self._values = psycopg2.extras.execute_values
            self.conn = psycopg2.connect(postgres)
            self.p, time, compact = "%s", "TIMESTAMPTZ", ""
        else:
            self.conn = sqlite3.connect(db, timeout=600, isolation_level=None)
            # The names are stored once, in the key, instead of in the table and its key.
            self.p, time, compact = "?", "TEXT", " WITHOUT ROWID"
        self.cur = self.conn.cursor()
        self.schema = SCHEMA.format(time=time, compact=compact)

    def begin(self):
        """Starts the run's transaction, one run at a time: two runs at once would count the same
        lines twice."""
        if self.postgres:
            self.cur.execute("SELECT pg_advisory_xact_lock(7160113011)")
            self.cur.execute(self.schema)
        else:
            self.cur.execute("BEGIN IMMEDIATE")
            for statement in self.schema.split(";"):
                if statement.strip():
                    self.cur.execute(statement)

    def stamp(self, when):
        return when if self.postgres else when.strftime("%Y-%m-%d %H:%M:%S")

    def position(self, file_id):
        self.cur.execute("SELECT byte_offset, check_sha256 FROM log_positions "
                         "WHERE file_id = {p}".format(p=self.p), (file_id,))
        return self.cur.fetchone()

    def save(self, rows, file_id, position, when):
        stamp = self.stamp(when)
        values = ((name, kind, stamp, stamp, n) for name, kind, n in rows)
        if self.postgres:
            self._values(self.cur, UPSERT.format(values="%s"), values, page_size=1000)
        else:
            self.cur.executemany(UPSERT.format(values="(?, ?, ?, ?, ?)"), values)
        self.cur.execute(SAVE_POSITION.format(p=self.p), (file_id,) + tuple(position) + (stamp,))
        self.cur.execute("DELETE FROM log_positions WHERE read_at < {p}".format(p=self.p),
                         (self.stamp(when - FORGET_POSITIONS),))
        self.conn.commit() if self.postgres else self.cur.execute("COMMIT")

    def top(self, n):
        if not self.postgres:
            self.cur.execute("SELECT name FROM sqlite_master WHERE name = 'reported_names'")
            if not self.cur.fetchone():
                return []
        else:
            self.cur.execute("SELECT to_regclass('reported_names')")
            if self.cur.fetchone()[0] is None:
                return []
        self.cur.execute(TOP.format(p=self.p), (n,))
        return self.cur.fetchall()

    def close(self):
        self.conn.close()


def collect(database, log, when=None):
    """One run over `log`; returns its one-line summary."""
    when = when or datetime.datetime.now(datetime.timezone.utc).replace(microsecond=0)
    database.begin()
    run, file_id, position, start = read_log(log, database.position)
    database.save(run.rows(), file_id, position, when)
    return ("%s: %d lines read (bytes %d to %d), %d names counted (%d distinct), %d rejected"
            % (log, run.lines, start, position[0], run.counted, run.distinct, run.rejected))


def top_table(rows):
    width = max([len("count")] + [len(str(n)) for _, n in rows])
    lines = ["%*s  %s" % (width, "count", "name")]
    lines += ["%*d  %s" % (width, n, name) for name, n in rows]
    return "\n".join(lines)


def main(argv=None):
    parser = argparse.ArgumentParser(description="Counts the names reported to the data server.")
    parser.add_argument("--log", help="the web server's log of the data argument")
    where = parser.add_mutually_exclusive_group()
    where.add_argument("--db", default=DEFAULT_DB, help="SQLite database file (default %(default)s)")
    where.add_argument("--postgres", metavar="DSN", help="PostgreSQL connection string")
    parser.add_argument("--top", type=int, metavar="N", help="print the N most submitted names")
    args = parser.parse_args(argv)
    if args.log is None and args.top is None:
        parser.error("nothing to do: give --log, --top or both")
    # A terminal that cannot show a name still gets the rest of the table.
    getattr(sys.stdout, "reconfigure", lambda **_: None)(errors="backslashreplace")
    database = Database(args.db, args.postgres)
    try:
        if args.log is not None:
            print(collect(database, args.log))
        if args.top is not None:
            print(top_table(database.top(args.top)))
    finally:
        database.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
