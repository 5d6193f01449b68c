"""Tests of counting the reported names from the web server's log into a database."""
import datetime
import glob
import io
import os
import pwd
import shutil
import subprocess
import sys
import tempfile
import unittest
import urllib.parse
from contextlib import redirect_stdout

TOOLS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, TOOLS)
import collect_submissions as cs  # noqa: E402
import definition_releases as dr  # noqa: E402

T1 = datetime.datetime(2026, 3, 1, 10, 0, tzinfo=datetime.timezone.utc)
T2 = T1 + datetime.timedelta(minutes=1)
T3 = T2 + datetime.timedelta(minutes=1)


def sent(name: bytes) -> bytes:
    """A name as the program sends it: enciphered and percent-encoded."""
    return urllib.parse.quote_from_bytes(dr.encode_line(name), safe="-_.~|").encode("ascii")


def escaped(raw: bytes) -> bytes:
    """Raw bytes as the web server logs them."""
    return b"".join(b"\\x%02X" % c if c in b'"\\' or not 0x20 <= c < 0x7F else bytes((c,)) for c in raw)


EVIL, SPY = b"evil.exe", "spy \xe9t\xe9.dll".encode("cp1252")
# (log line, {(name, kind): count} it adds, names it rejects)
LINES = [
    (sent(EVIL) + b"|", {("evil.exe", "submitted"): 1}, 0),
    # Not percent-encoded by the sender: the web server's escaping is undone instead.
    (escaped(dr.encode_line(EVIL)) + b"|", {("evil.exe", "submitted"): 1}, 0),
    (escaped(dr.encode_line(SPY) + b"|"), {("spy été.dll", "submitted"): 1}, 0),
    # "+" is an enciphered byte, never a blank; an encoded separator still separates.
    (b"+" + sent(b".exe") + b"%7C", {("\xed.exe", "submitted"): 1}, 0),
    (b"|", {}, 0),
    (b"-", {}, 0),
    (b"|".join([sent(EVIL), sent(SPY), sent(EVIL)]) + b"%7c" + sent(b"a.exe"),
     {("evil.exe", "anonymous"): 2, ("spy été.dll", "anonymous"): 1, ("a.exe", "anonymous"): 1}, 0),
    (sent(b"b.exe") + b"||" + sent(b"b.exe"), {("b.exe", "anonymous"): 2}, 0),
    # NUL; a byte the cipher never makes; a control character; a byte the code page lacks.
    (b"|".join([sent(b"x\0.exe"), b"%00", sent(b"\x01.exe"), sent(b"\x81.exe"), sent(b"ok")]),
     {("ok", "anonymous"): 1}, 4),
    (sent(b"\xff") + b"|", {}, 1),
]


def expected(lines):
    rows, rejected = {}, 0
    for _, adds, bad in lines:
        for key, n in adds.items():
            rows[key] = rows.get(key, 0) + n
        rejected += bad
    return rows, rejected


class Collecting(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.log = os.path.join(self.dir, "data.log")

    def open_db(self):
        db = cs.Database(os.path.join(self.dir, "names.sqlite"))
        self.addCleanup(db.close)
        return db

    def write(self, data, mode="ab", path=None):
        with open(path or self.log, mode) as f:
            f.write(data)

    def run_once(self, db, when, log=None):
        summary = cs.collect(db, log or self.log, when)
        lines, counted, rejected = (int(summary.split(" lines read")[0].rsplit(" ", 1)[1]),
                                    int(summary.split(" names counted")[0].rsplit(" ", 1)[1]),
                                    int(summary.split(" rejected")[0].rsplit(" ", 1)[1]))
        return lines, counted, rejected

    def rows(self, db):
        db.cur.execute("SELECT name, kind, count, first_seen, last_seen FROM reported_names")
        return {(r[0], r[1]): tuple(r[2:]) for r in db.cur.fetchall()}

    def check_table(self, db):
        """The table of lines, the last one cut before its newline until a later run."""
        body = b"".join(line + b"\n" for line, _, _ in LINES)
        self.write(body + sent(b"late.exe"))
        want, bad = expected(LINES)
        self.assertEqual(self.run_once(db, T1), (len(LINES), sum(want.values()), bad))
        self.assertEqual({k: v[0] for k, v in self.rows(db).items()}, want)
        self.write(b"|\n")
        self.assertEqual(self.run_once(db, T2), (1, 1, 0))
        rows = self.rows(db)
        self.assertEqual(rows[("late.exe", "submitted")][0], 1)
        stamps = {k: v[1:] for k, v in rows.items()}
        return stamps

    def test_lines_of_every_form_become_rows_once(self):
        db = self.open_db()
        stamps = self.check_table(db)
        self.assertEqual(stamps[("evil.exe", "submitted")], ("2026-03-01 10:00:00",) * 2)
        self.assertEqual(stamps[("late.exe", "submitted")], ("2026-03-01 10:01:00",) * 2)
        out = io.StringIO()
        with redirect_stdout(out):
            cs.main(["--db", os.path.join(self.dir, "names.sqlite"), "--top", "2"])
        self.assertEqual(out.getvalue().splitlines(), ["count  name", "    2  evil.exe", "    1  late.exe"])

    def test_resume_rotation_and_truncation(self):
        db = self.open_db()
        one = sent(EVIL) + b"|\n"
        rotated = self.log + ".1"
        # (what happens to the logs before the run, log read, lines the run reads)
        steps = [
            (lambda: self.write(one * 3), None, 3),
            (lambda: None, None, 0),
            (lambda: self.write(one * 2), None, 2),
            # Rotated: the renamed file is the one read before, the new one starts from 0.
            (lambda: (os.rename(self.log, rotated), self.write(one, path=rotated), self.write(one * 4)),
             rotated, 1),
            (lambda: None, None, 4),
            # Truncated in place and written again: shorter; longer with another beginning;
            # longer with the same beginning but other lines before the position.
            (lambda: self.write(one, "wb"), None, 1),
            (lambda: self.write(b"-\n" * 30 + one, "wb"), None, 31),
            (lambda: self.write(one * 400), None, 400),
            (lambda: self.write(b"-\n" * 30 + one * 390 + b"-\n" + one * 20, "wb"), None, 441),
        ]
        total = 0
        for i, (change, log, lines) in enumerate(steps):
            change()
            self.assertEqual(self.run_once(db, T1 + datetime.timedelta(minutes=i), log)[0], lines, i)
            total += lines
        self.assertEqual(self.rows(db)[("evil.exe", "submitted")][0], total - 61)  # 61 lines "-"


def _postgres_bin():
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"))
    return os.path.dirname(found[-1]) if found else None


@unittest.skipUnless(_postgres_bin(), "no PostgreSQL server on this machine")
class CollectingIntoPostgres(Collecting):
    """The same table of lines into a private PostgreSQL cluster on a socket in a temp folder."""

    def open_db(self):
        try:
            import psycopg2  # noqa: F401
        except ImportError:
            self.skipTest("no psycopg2 for this python")
        bin_dir, data = _postgres_bin(), os.path.join(self.dir, "cluster")
        as_user = []
        if os.geteuid() == 0:
            # The server refuses to run as root.
            if not shutil.which("setpriv"):
                self.skipTest("running as root without setpriv to run the server as nobody")
            nobody = pwd.getpwnam("nobody")
            os.chown(self.dir, nobody.pw_uid, nobody.pw_gid)
            as_user = ["setpriv", "--reuid", str(nobody.pw_uid), "--regid", str(nobody.pw_gid),
                       "--clear-groups"]
        quiet = dict(check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run(as_user + [os.path.join(bin_dir, "initdb"), "-D", data, "-U", "quillon",
                                  "-A", "trust", "--no-sync"], **quiet)
        ctl = as_user + [os.path.join(bin_dir, "pg_ctl"), "-D", data, "-w"]
        subprocess.run(ctl + ["-l", os.path.join(self.dir, "server.log"), "-o",
                              "-k %s -c listen_addresses=''" % self.dir, "start"], **quiet)
        self.addCleanup(subprocess.run, ctl + ["-m", "immediate", "stop"], **quiet)
        db = cs.Database(postgres="host=%s dbname=postgres user=quillon" % self.dir)
        self.addCleanup(db.close)
        return db

    def test_lines_of_every_form_become_rows_once(self):
        stamps = self.check_table(self.open_db())
        self.assertEqual(stamps[("late.exe", "submitted")], (T2, T2))

    test_resume_rotation_and_truncation = None


if __name__ == "__main__":
    unittest.main()
