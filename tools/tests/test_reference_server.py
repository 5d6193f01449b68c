"""Tests of the reference definition and data server, its releases and its update texts.

Run from outside the worktree:  cd /tmp && python3 -m unittest discover -s <worktree>/tools/tests
The update texts are checked by applying them with a model of the program's merge to the
enciphered files a program would hold, and comparing what it then reads."""
import collections
import datetime
import hashlib
import os
import random
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.parse
import urllib.request

TOOLS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, TOOLS)
import definition_releases as dr  # noqa: E402
import publish_definitions  # noqa: E402

D = datetime.datetime

# quillon-cli encode (built from definitions/cipher.cpp, run under Wine) of two lines: a sample
# definition, and every byte from 1 to 254 except CR, LF and the two it refuses (0xCC, 0xCF).
CLI_PLAIN = (b"popup.exe=Quillon.Sample.Popper|[progfil]QuillonSample|Spyware",
             bytes(b for b in range(1, 255) if b not in (10, 13, 0xCC, 0xCF)))
CLI_ENCODED = (
    "adacadb2ad6ba2b5a27a8eb2a6a9a9acab6b909eaaada9a26b8dacadada2afb998adafaca4a3a6a99a8eb2a6a9"
    "a9acab909eaaada9a2b990adb6b49eafa2",
    "3e3f4041424344454648494b4c4d4e4f505152535455565758595a5b5c5d5e5f606162636465666768696a6b6c"
    "6d6e6f707172737475767778797a7b7c7d7e7f808182838485868788898a8b8c8d8e8f90919293949596979899"
    "9a9b9c9d9e9fa0a1a2a3a4a5a6a7a8a9aaabacadaeafb0b1b2b3b4b5b6b7b8b9babbbcbdbebfc0c1c2c3c4c5c6"
    "c7c8c9cacbcccdcecfd0d1d2d3d4d5d6d7d8d9dadbdcdddedfe0e1e2e3e4e5e6e7e8e9eaebecedeeeff0f1f2f3"
    "f4f5f6f7f8f9fafbfcfdfeff0102030405060708090b0c0e0f101112131415161718191a1b1c1d1e1f20212223"
    "2425262728292a2b2c2d2e2f303132333435363738393a3b3c")

SHARED_EXE = b"shared.exe=Threat.S|[progfil]S|Spyware"
A_DLL, KEEP = b"a.dll=Threat.A|[appdata]A|Adware", b"keep.txt=Threat.K|[drive]K"
OLD_DLL, NEW_DLL = b"old.dll=Threat.Old|[appdata]Old", b"new.dll=Threat.N|[comdesk]N|Adware"
NEW_EXE = b"new.exe=Threat.N|[progfil]N"
REG_A, REG_HOOK = b"1^Software\\A^=Threat.A|Adware", b"1^Software\\A^Hook=Threat.A"
REG_N = b"1^Software\\N^Value=Threat.N|Spyware"
DIR_A, DIR_N = b"A folder=Threat.A|[appdata]A|Adware", b"New folder=Threat.N|[appdata]N"


def release(files, exes, registry, cookies, folders):
    return dict(zip(dr.RELEASE_FILES, (files, exes, registry, cookies, folders)))


RELEASE_1 = release([A_DLL, SHARED_EXE, KEEP, OLD_DLL],
                    [SHARED_EXE, b"gone.exe=Threat.G|[progfil]G"],
                    [REG_A, REG_HOOK, b"2^SOFTWARE\\Old^=Threat.Old"],
                    [b"ads.example", b"*.old.example"],
                    [DIR_A, b"Old folder=Threat.Old|[progfil]Old"])
RELEASE_2 = release([A_DLL, SHARED_EXE, KEEP, NEW_DLL], [SHARED_EXE, NEW_EXE],
                    [REG_A, REG_HOOK, REG_N], [b"ads.example", b"tracker.example"], [DIR_A, DIR_N])
# Drops the shared executable from ExeDefinition only, brings back a file definition that the
# second release had dropped, and drops a registry value beside a key that stays.
RELEASE_3 = release([A_DLL, SHARED_EXE, KEEP, NEW_DLL, OLD_DLL],
                    [NEW_EXE, b"newer.exe=Threat.X|[progfil]X"],
                    [REG_A, REG_N], [b"ads.example", b"new.example"], [DIR_A, DIR_N])
DATES = (D(2024, 1, 1, 10, 0, 0), D(2024, 2, 1, 9, 30, 0), D(2024, 3, 1, 14, 0, 5))


def enciphered(state):
    """The program's files holding a release: {program file: [enciphered line]}."""
    return {name: [dr.encode_line(l) for l in lines] for name, lines in state.items()}


def readable(files):
    return {name: [dr.decode_line(l) for l in lines] for name, lines in files.items()}


def as_sets(state):
    return {name: set(lines) for name, lines in state.items()}


def as_counts(state):
    return {name: collections.Counter(lines) for name, lines in state.items()}


def write_folder(folder, release):
    os.makedirs(folder, exist_ok=True)
    for name, lines in release.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(b"".join(l + b"\r\n" for l in lines))


def normalise_date_answer(text: bytes):
    """What the program does with a date answer: trim, drop tabs and line breaks, cut after the
    first PM (else AM), convert."""
    s = text.decode("latin-1").strip(" ")
    s = re.sub("[\t\r\n]", "", s)
    for marker in ("PM", "AM"):
        at = s.upper().find(marker)
        if at >= 0:
            s = s[:at + 2]
            break
    return dr.parse_date(s)


class CipherTest(unittest.TestCase):
    def test_agrees_with_the_programs_encoder(self):
        for plain, encoded in zip(CLI_PLAIN, CLI_ENCODED):
            self.assertEqual(dr.encode_line(plain).hex(), encoded)
            self.assertEqual(dr.decode_line(bytes.fromhex(encoded)), plain)

    def test_round_trip_and_the_bytes_it_cannot_store(self):
        every = bytes(range(256))
        self.assertEqual(dr.decode_line(dr.encode_line(every)), bytes(range(255)) + b"\0")
        refused = [c for c in range(256) if dr.unencodable_byte(bytes([c])) is not None]
        # NUL, the two that encipher to LF and CR, and 0xFF, which comes back as NUL
        self.assertEqual(refused, [0, 0xCC, 0xCF, 0xFF])
        kept = bytes(c for c in range(256) if c not in refused)
        self.assertEqual(dr.decode_line(dr.encode_line(kept)), kept)
        self.assertEqual(dr.unencodable_byte(b"ab\xcfc\xcc"), 2)
        self.assertIn("NUL", dr.unstorable_reason(0xFF))


class DateTest(unittest.TestCase):
    def test_the_programs_form_both_ways(self):
        for t in (D(2006, 3, 16), D(2024, 12, 31, 23, 59, 59), D(2024, 1, 1, 12, 0, 1)):
            self.assertEqual(dr.parse_date(dr.format_date(t)), t)
        self.assertEqual(dr.format_date(D(2006, 3, 16)), "3/16/2006 12:00:00 AM")
        self.assertEqual(dr.format_date(D(2024, 7, 4, 12, 5, 9)), "7/4/2024 12:05:09 PM")
        self.assertEqual(dr.parse_date(" 3/16/2006 "), D(2006, 3, 16))
        self.assertEqual(dr.parse_date("2024-03-01T14:00:05"), D(2024, 3, 1, 14, 0, 5))

    def test_garbage(self):
        for text in ("", "banana", "2/30/2024", "13/1/2024 1:00:00 AM", "1/1/2024 13:00:00 PM",
                     "1/1/2024 1:00:00 XM", "1/1/2024 25:00", "3/16/2006 12:00:00 AM junk"):
            self.assertIsNone(dr.parse_date(text), text)


class MergeModelTest(unittest.TestCase):
    """The model stands in for the program's merge in the other tests: the cases here pin the
    behaviour the update texts rely on."""

    def test_add_delete_and_withdrawal(self):
        def rec(kind, action, body):
            return dr.encode_line(kind) + b"|" + action + b"[DEF]" + body
        enc = dr.encode_line
        files = dr.empty_state()
        files["FileDefinition.dat"] = [enc(b"Keep.dll=K"), enc(b"DROP.dll=D|x"), b" "]
        text = dr.join_records([
            rec(b"EXE", b"ADD", enc(b"x.exe") + b"=" + enc(b"X") + b"|" + enc(b"[progfil]X")),
            rec(b"FILE", b"DEL", enc(b"drop.dll")),           # letter case does not matter
            rec(b"FILE", b"DEL", enc(b"again.dll")),
            rec(b"FILE", b"ADD", enc(b"again.dll") + b"=" + enc(b"A")),  # withdraws the DEL
            rec(b"FILE", b"ADD", enc(b"late.dll") + b"=" + enc(b"L")),
            rec(b"FILE", b"DEL", enc(b"late.dll")),           # removes the line just added
            rec(enc(b"file"), b"ADD", b"ignored"),            # other letter case: no kind
            rec(b"FILE", b"ADD", enc(b"Keep.dll") + b"=" + enc(b"K")),  # held already: nothing
            rec(b"FILE", b"ADD", enc(b"x.exe") + b"=" + enc(b"X") + b"|" + enc(b"[progfil]X")),
            # A line that would decipher with a NUL (a registry threat holding "=") is skipped.
            rec(b"REG", b"ADD", enc(b"l") + b"=" + enc(b"T") + b"=" + enc(b"x") + b"|" + enc(b"1^K") + b"|" + enc(b"t")),
        ])
        count, failed = dr.apply_update(files, text)
        self.assertFalse(failed)
        self.assertEqual(count, 2 + 1 + 1 + 1)  # EXE twice, two FILE ADDs, one removal pass
        got = readable(files)
        self.assertEqual(got["FileDefinition.dat"],
                         [b"Keep.dll=K", b"x.exe=X|[progfil]X", b"again.dll=A"])
        self.assertEqual(got["ExeDefinition.dat"], [b"x.exe=X|[progfil]X"])
        self.assertEqual(got["RegistryDefinition.dat"], [])
        # A text the program refuses whole changes nothing.
        for bad in (rec(b"FILE", b"ADD", b"a\rb"), enc(b"FILE") + b"|ADDa.dll", enc(b"FILE") + b"[DEF]x"):
            before = {k: list(v) for k, v in files.items()}
            self.assertEqual(dr.apply_update(files, text + b"[BR]" + bad), (0, True))
            self.assertEqual(files, before)

    def test_empty_text_and_noise_apply_nothing(self):
        for text in (b"", b"[BR]", b"hello world"):
            files = dr.canon(RELEASE_1)
            before = {k: list(v) for k, v in files.items()}
            count, _ = dr.apply_update(files, text)
            self.assertEqual(count, 0, text)
            self.assertEqual(files, before)


class UpdateTextTest(unittest.TestCase):
    def setUp(self):
        self.canons = dr.canons([RELEASE_1, RELEASE_2, RELEASE_3])
        self.states = [dr.readable_state(c) for c in self.canons]

    def update(self, old_state, new_state, files, retired=None):
        text = dr.join_records(dr.update_records(old_state, new_state, retired))
        count, failed = dr.apply_update(files, text)
        self.assertFalse(failed)
        return count, readable(files)

    def test_every_release_line_can_be_sent(self):
        for release in (RELEASE_1, RELEASE_2, RELEASE_3):
            for name, lines in release.items():
                for line in lines:
                    self.assertIsNone(dr.line_problem(name, line), line)

    def test_the_bytes_of_a_release_are_its_whole_text_applied_to_nothing(self):
        twice = dict(RELEASE_1, **{"FileDefinition.txt": RELEASE_1["FileDefinition.txt"] + [KEEP]})
        files = dr.canon(twice)
        self.assertEqual(files, dr.canon(RELEASE_1))  # a line held already is not added again
        # The release's order, then the executable definitions FileDefinition.txt lacks.
        self.assertEqual(readable(files)["FileDefinition.dat"],
                         [A_DLL, SHARED_EXE, KEEP, OLD_DLL, b"gone.exe=Threat.G|[progfil]G"])
        fresh = {name: [] for name in dr.PROGRAM_FILES}
        dr.apply_update(fresh, dr.full_text(files, {"FileDefinition.dat": {b"x.dll": b"X.dll"}}))
        self.assertEqual(fresh, files)  # what it retires matters only to a program that merges it
        digests = dr.file_digests(files)
        self.assertEqual([name for name, _ in digests], list(dr.PROGRAM_FILES))
        self.assertEqual(digests[3][1], hashlib.sha256(b"".join(l + b"\r\n" for l in files["BlockedCookies.dat"])).hexdigest())

    def test_each_step_and_the_skip_reach_the_newest_release(self):
        # (from, to, whether the update gives exactly the newer release). Each release's lines
        # are in the order the update from the one before leaves them; the third brings back a
        # file definition the second dropped, which a program skipping the second still holds
        # where the first had it.
        for a, b, exact in ((0, 1, True), (1, 2, True), (0, 2, False)):
            files = enciphered(self.states[a])
            count, got = self.update(self.states[a], self.states[b], files)
            self.assertGreater(count, 0)
            self.assertEqual(as_sets(got), as_sets(self.states[b]), (a, b))
            self.assertEqual(got["ExeDefinition.dat"], self.states[b]["ExeDefinition.dat"])
            for name, lines in got.items():  # nothing is ever held twice
                self.assertEqual(len(lines), len(set(lines)), name)
            self.assertEqual(files == self.canons[b], exact, (a, b))
            self.assertEqual(dr.reaches_canon(self.canons[a], self.canons[b]), exact, (a, b))

    def test_registry_and_cookie_lines_as_the_program_writes_them(self):
        got = readable(self.canons[0])
        self.assertIn(b"1^Software\\A^Hook^=Threat.A|", got["RegistryDefinition.dat"])
        self.assertIn(b"2^SOFTWARE\\Old^=Threat.Old|", got["RegistryDefinition.dat"])
        release = dict(RELEASE_1, **{"BlockedCookies.txt": [b"site.example=comment"]})
        self.assertEqual(readable(dr.canon(release))["BlockedCookies.dat"], [b"site.example"])

    def test_older_than_every_release(self):
        r1, r2, r3 = self.states
        retired = dr.retired_keys([r1, r2], r3)
        self.assertIn(b"gone.exe", retired["ExeDefinition.dat"])
        self.assertNotIn(b"old.dll", retired["FileDefinition.dat"])  # back in the newest
        count, got = self.update(dr.empty_state(), r3, dr.empty_state(), retired)
        self.assertEqual(got, r3)
        # A copy of unknown age merging it loses what was retired and holds the newest
        # definitions (a program checking the release's files takes it whole instead).
        count, got = self.update(dr.empty_state(), r3, enciphered(r1), retired)
        self.assertEqual(as_sets(got), as_sets(r3))

    def test_a_key_whose_line_changes_keeps_the_old_line(self):
        r1 = self.states[0]
        changed = dict(RELEASE_1, **{"FileDefinition.txt": [
            b"a.dll=Threat.A|[appdata]A2|Adware", SHARED_EXE, KEEP, OLD_DLL]})
        new = dr.canon(changed)
        got = self.update(r1, dr.readable_state(new), enciphered(r1))[1]
        self.assertEqual(set(got["FileDefinition.dat"]),
                         set(dr.readable_state(new)["FileDefinition.dat"]) | {A_DLL})
        self.assertFalse(dr.reaches_canon(self.canons[0], new))

    def test_unchanged_release_sends_nothing(self):
        self.assertEqual(dr.update_records(self.states[2], self.states[2]), [])


class PublishTest(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="quillon-publish-")
        self.data = os.path.join(self.tmp, "data")
        self.src = os.path.join(self.tmp, "src")
        write_folder(self.src, RELEASE_1)

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def releases(self):
        return [when for when, _ in dr.list_releases(self.data)]

    def test_publishes_dated_releases_in_order(self):
        publish_definitions.publish(self.data, self.src, DATES[0])
        with self.assertRaisesRegex(publish_definitions.PublishError, "not newer"):
            publish_definitions.publish(self.data, self.src, DATES[0])
        with self.assertRaisesRegex(publish_definitions.PublishError, "not newer"):
            publish_definitions.publish(self.data, self.src, DATES[0] - datetime.timedelta(days=1))
        publish_definitions.publish(self.data, self.src, DATES[1])
        self.assertEqual(self.releases(), list(DATES[:2]))
        self.assertEqual(dr.read_release(dr.list_releases(self.data)[0][1]), RELEASE_1)

    def test_refuses_lines_it_cannot_send_and_publishes_nothing(self):
        with open(os.path.join(self.src, "FileDefinition.txt"), "ab") as f:
            f.write(b"bad\xcf.dll=Threat.Bad\r\n\r\nwhat?.dll=Threat.Q\ncut\xff.dll=Threat.Cut\n")
        with open(os.path.join(self.src, "RegistryDefinition.txt"), "ab") as f:
            f.write(b"1^Software\\NoThreat^\r\n")
        os.remove(os.path.join(self.src, "BlockedCookies.txt"))
        with self.assertRaises(publish_definitions.PublishError) as caught:
            publish_definitions.publish(self.data, self.src, DATES[0])
        message = str(caught.exception)
        self.assertIn("FileDefinition.txt line 5 (bad", message)
        self.assertIn("FileDefinition.txt line 7 (what?.dll", message)  # blank lines count
        self.assertIn("0xCF) would be enciphered as a line break", message)
        self.assertIn("(0x3F) would be enciphered as the update separator '|'", message)
        self.assertIn("FileDefinition.txt line 8 (cut", message)
        self.assertIn("(0xFF) would come back as NUL", message)
        self.assertIn("RegistryDefinition.txt line 4", message)
        self.assertIn("BlockedCookies.txt: missing", message)
        self.assertEqual(self.releases(), [])
        self.assertEqual(os.listdir(dr.releases_folder(self.data)) if os.path.isdir(
            dr.releases_folder(self.data)) else [], [])

    def test_command_line(self):
        tool = os.path.join(TOOLS, "publish_definitions.py")
        key = os.path.join(self.tmp, "key.pem")
        run = lambda *a: subprocess.run([sys.executable, tool, "--data", self.data, "--key", key,
                                         "--from", self.src, *a], capture_output=True, text=True)
        self.assertEqual(run("--date", "1/1/2024 10:00:00 AM").returncode, 0)
        # A cookie line's comment is never sent and a dropped key is deleted: no warnings.
        write_folder(self.src, dict(RELEASE_1, **{"BlockedCookies.txt": [b"ads.example=x"]}))
        done = run("--date", "1/2/2024")
        self.assertEqual((done.returncode, done.stderr), (0, ""))
        write_folder(self.src, dict(RELEASE_1, **{"ExeDefinition.txt": [
            SHARED_EXE, b"gone.exe=Threat.G|[progfil]G2"]}))
        done = run("--date", "1/3/2024")
        self.assertEqual(done.returncode, 0)
        # A changed line of a key the update cannot remove: both earlier releases are named.
        for earlier in ("1/1/2024 10:00:00 AM", "1/2/2024 12:00:00 AM"):
            self.assertIn("programs at %s will take the full release" % earlier, done.stderr)
        self.assertEqual(run("--date", "yesterday").returncode, 2)
        self.assertEqual(run("--date", "1/3/2024").returncode, 1)
        self.assertEqual(self.releases(), [D(2024, 1, 1, 10), D(2024, 1, 2), D(2024, 1, 3)])


class ServerProcess:
    def __init__(self, data, *args):
        self.token = "t%d" % random.randrange(10 ** 9)
        self.proc = subprocess.Popen(
            [sys.executable, os.path.join(TOOLS, "reference_server.py"), "--port", "0",
             "--data", data, "--shutdown-token", self.token, *args],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        line = self.proc.stdout.readline().decode()
        match = re.match(r"listening on 127\.0\.0\.1:(\d+)$", line.strip())
        if not match:
            self.proc.kill()
            raise AssertionError("server did not start: %r %r" % (line, self.proc.stderr.read()))
        self.port = int(match.group(1))
        self.base = "http://127.0.0.1:%d" % self.port

    def get(self, path, timeout=10):
        """(status, body) of a GET; the path is sent as given (it must be valid URL text)."""
        try:
            with urllib.request.urlopen(self.base + path, timeout=timeout) as r:
                return r.status, r.read()
        except urllib.error.HTTPError as e:
            return e.code, e.read()

    def raw(self, request: bytes, timeout=10):
        with socket.create_connection(("127.0.0.1", self.port), timeout=timeout) as s:
            s.sendall(request)
            data = b""
            while True:
                piece = s.recv(4096)
                if not piece:
                    return data
                data += piece

    def stop(self, how="shutdown"):
        if self.proc.poll() is None:
            if how == "shutdown":
                self.get("/shutdown?token=" + self.token)
            else:
                self.proc.send_signal(signal.SIGTERM)
        try:
            return self.proc.wait(timeout=10)
        finally:
            self.proc.stdout.close()
            self.proc.stderr.close()


def data_request(*names):
    payload = b"".join(dr.encode_line(n) + b"|" for n in names)
    return "/asp/getData.asp?data=" + urllib.parse.quote_from_bytes(payload, safe="|")


class ServerTestCase(unittest.TestCase):
    """A server on a free port over an empty data folder, for each test."""

    def setUp(self):
        self.data = tempfile.mkdtemp(prefix="quillon-server-")
        self.server = ServerProcess(self.data)

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.data)


class DataEndpointTest(ServerTestCase):

    def test_added_then_skipped_and_kept_across_restarts(self):
        get = self.server.get
        self.assertEqual(get(data_request(b"evil.exe")), (200, b"Added"))
        self.assertEqual(get(data_request(b"EVIL.EXE")), (200, b"Skipped"))
        self.assertEqual(get(data_request(b"a.exe", b"evil.exe", b"b.exe")),
                         (200, b"Added\r\nSkipped\r\nAdded"))
        self.assertEqual(get("/asp/getData.asp?data=|"), (200, b"Skipped"))  # empty text box
        status, body = get("/asp/getData.asp")
        self.assertEqual(status, 400)
        self.assertNotRegex(body.lower(), b"added|skipped")
        self.assertEqual(self.server.stop("sigterm"), 0)
        self.server = ServerProcess(self.data)
        self.assertEqual(self.server.get(data_request(b"b.exe")), (200, b"Skipped"))
        self.assertEqual(self.server.get(data_request(b"c.exe")), (200, b"Added"))
        with open(os.path.join(self.data, "received.txt"), encoding="ascii") as f:
            lines = f.read().splitlines()
        self.assertEqual(len(lines), 6)
        fields = lines[2].split("\t")
        self.assertEqual(fields[1:3], ["127.0.0.1", "Added,Skipped,Added"])
        self.assertEqual(fields[4], "a.exe|evil.exe|b.exe")
        datetime.datetime.fromisoformat(fields[0])

    def test_names_as_the_program_sends_them(self):
        # WinINet sends the enciphered bytes raw, "&" and "#" included; only spaces are escaped.
        # "c" and "H" encipher to bytes that Python's string split takes for white space.
        names = (b"calc.exe", b"Hook.dll", bytes([232, 35 + 255 - 61, 226]) + b"x.exe")
        payload = b"".join(dr.encode_line(n) + b"|" for n in names).replace(b" ", b"%20")
        self.assertIn(b"\xa0", payload)
        answer = self.server.raw(b"GET /asp/getData.asp?data=" + payload +
                                 b" HTTP/1.1\r\nHost: x\r\n\r\n")
        self.assertTrue(answer.endswith(b"\r\n\r\nAdded\r\nAdded\r\nAdded"), answer)
        for name in names:
            self.assertEqual(self.server.get(data_request(name)), (200, b"Skipped"))

    def test_concurrent_submissions(self):
        results = collections.Counter()
        lock = threading.Lock()

        def client(i):
            for j in range(5):
                status, body = self.server.get(data_request(b"shared.exe", b"own%d-%d.exe" % (i, j)))
                with lock:
                    results[body] += 1

        threads = [threading.Thread(target=client, args=(i,)) for i in range(16)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        self.assertEqual(sum(results.values()), 80)
        self.assertEqual(results[b"Added\r\nAdded"], 1)
        self.assertEqual(results[b"Skipped\r\nAdded"], 79)
        with open(os.path.join(self.data, "received.txt"), encoding="ascii") as f:
            self.assertEqual(len(f.read().splitlines()), 80)


class DefinitionEndpointTest(ServerTestCase):
    def publish(self, release, when):
        folder = os.path.join(self.data, "incoming")
        shutil.rmtree(folder, ignore_errors=True)
        write_folder(folder, release)
        publish_definitions.publish(self.data, folder, when)

    def get_defs(self, date_text):
        return self.server.get("/asp/getDefs.asp?prog=Quillon%20Antispyware&comp=Q&date=" +
                               urllib.parse.quote(date_text, safe="/:"))

    def test_without_releases_no_date_is_given(self):
        for page in ("/asp/currentDate.asp?prog=Quillon&comp=Q", "/asp/date.asp"):
            status, body = self.server.get(page)
            self.assertIsNone(normalise_date_answer(body), body)
        status, body = self.get_defs("3/16/2006 12:00:00 AM")
        self.assertEqual(dr.apply_update(dr.empty_state(), body)[0], 0)

    def test_update_texts_from_several_local_dates(self):
        for release, when in zip((RELEASE_1, RELEASE_2, RELEASE_3), DATES):
            self.publish(release, when)
        states = [dr.readable_state(dr.canon(r)) for r in (RELEASE_1, RELEASE_2, RELEASE_3)]
        status, body = self.server.get("/asp/currentDate.asp?prog=Quillon&comp=Q")
        self.assertEqual((status, body), (200, b"3/1/2024 2:00:05 PM"))
        self.assertEqual(normalise_date_answer(body), DATES[2])
        # (local date, release the program holds) -> after the merge it holds the newest
        cases = (("3/16/2006 12:00:00 AM", dr.empty_state()), ("1/1/2024 10:00:00 AM", states[0]),
                 ("1/15/2024 1:00:00 PM", states[0]), ("2/1/2024 9:30:00 AM", states[1]),
                 ("3/1/2024 2:00:04 PM", states[1]))
        for date_text, held in cases:
            status, body = self.get_defs(date_text)
            self.assertEqual(status, 200)
            files = enciphered(held)
            count, failed = dr.apply_update(files, body)
            self.assertGreater(count, 0, date_text)
            self.assertFalse(failed, date_text)
            self.assertEqual(as_sets(readable(files)), as_sets(states[2]), date_text)
        for current in ("3/1/2024 2:00:05 PM", "12/31/2030 11:59:59 PM", "3/2/2024"):
            self.assertEqual(self.get_defs(current), (200, b""), current)

    def test_unusable_dates_change_nothing(self):
        self.publish(RELEASE_1, DATES[0])
        for query in ("date=banana", "date=2/30/2024", "date=", "nodate=1/1/2024", ""):
            status, body = self.server.get("/asp/getDefs.asp?prog=Q&comp=C&" + query)
            self.assertEqual(status, 400, query)
            files = dr.canon(RELEASE_1)
            before = {k: list(v) for k, v in files.items()}
            self.assertEqual(dr.apply_update(files, body), (0, False), query)
            self.assertEqual(files, before)

    def test_the_programs_live_update_against_the_server(self):
        """The program's flow: current date, update text for its date, merge, date page."""
        self.publish(RELEASE_1, DATES[0])
        files, local = dr.empty_state(), D(2006, 3, 16)

        def live_update():
            nonlocal local
            server_date = normalise_date_answer(self.server.get(
                "/asp/currentDate.asp?prog=Quillon%20Antispyware&comp=Q")[1]) or local
            if server_date <= local:
                return 0
            # Sent raw, as the program does: the server must take the spaces of the date.
            request = ("GET /asp/getDefs.asp?prog=Quillon%%20Antispyware&comp=A&B&date=%s "
                       "HTTP/1.1\r\nHost: x\r\n\r\n" % dr.format_date(local)).encode()
            text = self.server.raw(request).split(b"\r\n\r\n", 1)[1]
            if not published_between.is_set():
                self.publish(RELEASE_3, DATES[2])  # lands between the text and the date page
                published_between.set()
            count, _ = dr.apply_update(files, text)
            if count > 0:
                local = normalise_date_answer(self.server.get("/asp/date.asp")[1])
            return count

        published_between = threading.Event()
        self.assertGreater(live_update(), 0)
        self.assertEqual(local, DATES[0])  # the release its text led to, not the newest
        self.assertEqual(as_sets(readable(files)), as_sets(dr.program_state(RELEASE_1)))
        self.assertGreater(live_update(), 0)
        self.assertEqual(local, DATES[2])
        self.assertEqual(as_sets(readable(files)), as_sets(dr.program_state(RELEASE_3)))
        self.assertEqual(live_update(), 0)


class AdversarialModeTest(unittest.TestCase):
    def setUp(self):
        self.data = tempfile.mkdtemp(prefix="quillon-modes-")
        write_folder(os.path.join(self.data, "src"), RELEASE_1)
        publish_definitions.publish(self.data, os.path.join(self.data, "src"), DATES[0])
        self.server = None

    def tearDown(self):
        if self.server:
            self.server.stop()
        shutil.rmtree(self.data)

    def test_garbage_error_and_drop(self):
        self.server = ServerProcess(self.data, "--mode", "garbage")
        status, body = self.server.get("/asp/currentDate.asp?prog=Q&comp=C")
        self.assertEqual(status, 200)
        self.assertNotEqual(body, b"1/1/2024 10:00:00 AM")
        self.assertTrue(body)
        self.server.stop()
        self.server = ServerProcess(self.data, "--mode", "error")
        status, body = self.server.get("/asp/date.asp")
        self.assertEqual(status, 500)
        self.assertIsNone(normalise_date_answer(body))
        self.server.stop()
        self.server = ServerProcess(self.data, "--mode", "drop")
        self.assertEqual(self.server.raw(b"GET /asp/date.asp HTTP/1.1\r\nHost: x\r\n\r\n"), b"")

    def test_hang_never_answers_yet_stops_at_once(self):
        self.server = ServerProcess(self.data, "--mode", "hang")
        with self.assertRaises((socket.timeout, urllib.error.URLError)):
            self.server.get("/asp/currentDate.asp?prog=Q&comp=C", timeout=1)
        started = time.monotonic()
        self.assertEqual(self.server.stop("sigterm"), 0)
        self.assertLess(time.monotonic() - started, 5)

    def test_slow_answers_whole_but_late(self):
        self.server = ServerProcess(self.data, "--mode", "slow", "--pace", "0.05")
        started = time.monotonic()
        self.assertEqual(self.server.get("/asp/date.asp"), (200, b"1/1/2024 10:00:00 AM"))
        self.assertGreaterEqual(time.monotonic() - started, 20 * 0.05)


if __name__ == "__main__":
    unittest.main()


class SignedReleaseTest(unittest.TestCase):
    """Signed releases through the server, a bounded server under idle and trickling
    connections, and a /shutdown that only the starter's token opens."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="quillon-signed-")
        self.data = os.path.join(self.tmp, "data")
        self.key_path = os.path.join(self.tmp, "key.pem")
        for i, (release, when) in enumerate(zip((RELEASE_1, RELEASE_2, RELEASE_3), DATES)):
            src = os.path.join(self.tmp, "src%d" % i)
            write_folder(src, release)
            key = publish_definitions.load_key(self.key_path, create=True)
            self.warnings = publish_definitions.publish(self.data, src, when, key)[1]
        self.server = ServerProcess(self.data, "--workers", "4", "--timeout", "2")

    def tearDown(self):
        self.server.stop()
        shutil.rmtree(self.tmp)

    def test_statements_verify_and_bind_text_and_dates(self):
        from cryptography.exceptions import InvalidSignature
        from cryptography.hazmat.primitives import hashes
        from cryptography.hazmat.primitives.asymmetric import ec
        from cryptography.hazmat.primitives.asymmetric.utils import encode_dss_signature
        self.assertEqual(os.stat(self.key_path).st_mode & 0o077, 0)  # the owner's alone
        public = publish_definitions.load_key(self.key_path).public_key()
        query = "/asp/%s.asp?prog=Quillon&comp=Q&date="
        newest = dr.canons([RELEASE_1, RELEASE_2, RELEASE_3])[2]
        signed_files = [("%s: %s" % pair).encode() for pair in dr.file_digests(newest)]
        # The third release cannot be reached exactly from the first (see UpdateTextTest): the
        # publisher said so, and programs there take the whole release.
        self.assertEqual(len(self.warnings), 1)
        canons = dr.canons([RELEASE_1, RELEASE_2, RELEASE_3])
        self.assertEqual(newest, canons[2])
        for held, local, exact in ((dr.empty_state(), "3/16/2006 12:00:00 AM", True),
                                   (canons[0], dr.format_date(DATES[0]), False),
                                   (canons[1], dr.format_date(DATES[1]), True)):
            date = urllib.parse.quote(local, safe="/:")
            status, text = self.server.get(query % "getDefs" + date)
            status2, statement = self.server.get(query % "getDefsSig" + date)
            self.assertEqual((status, status2), (200, 200), local)
            lines = statement.split(b"\r\n")
            self.assertEqual(lines[:3], [dr.SIGNED_HEADER.encode(), b"from: " + local.encode(),
                                         b"to: " + dr.format_date(DATES[2]).encode()])
            self.assertEqual(lines[3], b"sha256: " + hashlib.sha256(text).hexdigest().encode())
            self.assertEqual(lines[4:9], signed_files, local)  # the same files, from any date
            self.assertEqual(lines[10:], [b""])
            self.assertEqual(any(local in w for w in self.warnings), not exact, local)
            signed = statement[:statement.index(b"signature: ")]
            sig = bytes.fromhex(lines[9][len(b"signature: "):].decode())
            der = encode_dss_signature(int.from_bytes(sig[:32], "big"), int.from_bytes(sig[32:], "big"))
            public.verify(der, signed, ec.ECDSA(hashes.SHA256()))
            with self.assertRaises(InvalidSignature):
                public.verify(der, signed.replace(b"to: ", b"to:  "), ec.ECDSA(hashes.SHA256()))
            files = {name: list(lines) for name, lines in held.items()}
            self.assertGreater(dr.apply_update(files, text)[0], 0)
            self.assertEqual(files == newest, exact, local)
            self.assertEqual(as_sets(readable(files)), as_sets(readable(newest)))
        # A date between releases, the newest date, and an unreadable one: nothing signed.
        for local, want in (("1/15/2024 1:00:00 PM", 404), (dr.format_date(DATES[2]), 404),
                            ("2/30/2024 1:00:00 AM", 400)):
            self.assertEqual(self.server.get(query % "getDefsSig" +
                                             urllib.parse.quote(local, safe="/:"))[0], want, local)

    def test_a_request_trickling_in_is_dropped_at_its_deadline_and_others_are_answered(self):
        # Each slow client sends its request line a byte every 1.5 s: every read is well within
        # the 2 s time-out, the request as a whole never is.
        slow = [socket.create_connection(("127.0.0.1", self.server.port)) for _ in range(20)]
        closed_after = {}
        started = time.monotonic()

        def trickle():
            line = b"GET /asp/date.asp HTTP/1.1\r\nHost: x\r\n\r\n"
            for i in range(len(line)):
                for s in slow:
                    if s not in closed_after:
                        try:
                            s.sendall(line[i:i + 1])
                        except OSError:
                            closed_after[s] = time.monotonic() - started
                if len(closed_after) == len(slow) or time.monotonic() - started > 12:
                    return
                time.sleep(1.5)

        sender = threading.Thread(target=trickle)
        sender.start()
        try:
            time.sleep(2)  # every slow client has begun; the four workers would all be theirs
            asked = time.monotonic()
            self.assertEqual(self.server.get("/asp/date.asp", timeout=5)[0], 200)
            self.assertLess(time.monotonic() - asked, 2)
            for s in slow:
                s.settimeout(max(0.1, 6 - (time.monotonic() - started)))
                try:
                    self.assertEqual(s.recv(1), b"")  # closed, nothing answered
                except ConnectionResetError:
                    pass  # closed with bytes of ours unread
        finally:
            sender.join()
            for s in slow:
                s.close()
        self.assertLess(time.monotonic() - started, 6.5)

    def test_idle_connections_hold_no_worker_and_shutdown_needs_the_token(self):
        idle = [socket.create_connection(("127.0.0.1", self.server.port)) for _ in range(200)]
        try:
            started = time.monotonic()
            for _ in range(10):
                self.assertEqual(self.server.get("/asp/date.asp", timeout=5)[0], 200)
            self.assertLess(time.monotonic() - started, 5)
            with open("/proc/%d/status" % self.server.proc.pid) as f:
                threads = int(re.search(r"^Threads:\s+(\d+)", f.read(), re.M).group(1))
            self.assertLessEqual(threads, 4 + 4)  # the workers, the waiter, the acceptor
            # Silent past the time-out: closed by the server.
            idle[0].settimeout(6)
            self.assertEqual(idle[0].recv(1), b"")
        finally:
            for s in idle:
                s.close()
        for path in ("/shutdown", "/shutdown?token=", "/shutdown?token=guess"):
            self.assertEqual(self.server.get(path)[0], 404, path)
        self.assertIsNone(self.server.proc.poll())
        self.assertEqual(self.server.stop(), 0)
