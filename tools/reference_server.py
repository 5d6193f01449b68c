#!/usr/bin/env python3
"""Reference definition and data server for trying out and testing the program on one machine.

    reference_server.py --data DIR [--port N] [--mode normal|garbage|hang|slow|drop|error]
                        [--workers N] [--timeout SECONDS] [--shutdown-token TOKEN]

Listens on 127.0.0.1 only. A fixed pool of workers answers requests; a connection waits for its
whole request (line and headers) without holding a worker, and is closed when it stays silent
past the time-out or its request is not whole within the time-out from its first byte. DIR holds
the definition releases (DIR/releases/<date>/, made by
publish_definitions.py), the names received on the data endpoint (DIR/received.txt) and the
request log (DIR/server.log). docs/reference-server.md describes the endpoints.
"""
import argparse
import datetime
import hmac
import io
import os
import queue
import random
import re
import selectors
import signal
import sys
import threading
import time
import urllib.parse
from http.server import BaseHTTPRequestHandler, HTTPServer

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import definition_releases as dr  # noqa: E402

MODES = ("normal", "garbage", "hang", "slow", "drop", "error")
# What getDefs answers for a date it cannot read. The merge finds no record kind in it and
# applies nothing, so the program keeps its definitions and its date.
UNUSABLE_DATE = b"ERROR: unusable date; send the definitions date as M/D/YYYY h:mm:ss AM"
NO_RELEASES = b"ERROR: no definitions have been published"
NOT_SIGNED = b"ERROR: no signed update from this date"
# Connections that may wait for their request at once; past it the oldest waiting one is closed.
MAX_WAITING = 4096
# The most a request line and its headers may hold together. The line alone may take the 64 KiB
# that Python's request parser accepts: the anonymous data names every running program.
MAX_HEAD = 128 * 1024
# The blank line that ends the headers (Python's parser also takes a bare LF for a line end).
_HEAD_END = re.compile(rb"\n\r?\n")
TOO_LARGE = (b"HTTP/1.1 431 Request Header Fields Too Large\r\nContent-Length: 0\r\n"
             b"Connection: close\r\n\r\n")
# Bytes that str.split() takes for white space when the request line is read as Latin-1.
_SPLITTING = re.compile(rb"[\x09-\x0d\x1c-\x20\x85\xa0]")
# How long date.asp remembers which release the last update text of an address was made for.
DATE_MEMORY_SECONDS = 600


def _quote(raw: bytes) -> str:
    """Bytes as one printable log field."""
    return urllib.parse.quote(raw, safe="!\"$&'()*+,-./:;<=>?@[\\]^_`{|}~ ")


def _unquote(raw: bytes) -> bytes:
    return urllib.parse.unquote_to_bytes(raw)


class Store:
    """The server's state in its data folder; one lock guards the files and the memories."""

    def __init__(self, data_dir):
        self.data_dir = data_dir
        os.makedirs(dr.releases_folder(data_dir), exist_ok=True)
        self.lock = threading.Lock()
        self.received_path = os.path.join(data_dir, "received.txt")
        self.log_path = os.path.join(data_dir, "server.log")
        self.names = set()
        self.release_cache = {}
        self.served = {}  # client address -> (release date of its last update text, time)
        self._load_names()

    # The received log is the only record of the names: each line's payload is read back.
    def _load_names(self):
        try:
            with open(self.received_path, "rb") as f:
                for line in f:
                    fields = line.rstrip(b"\r\n").split(b"\t")
                    if len(fields) >= 4:
                        for name in self._names_of(_unquote(fields[3])):
                            self.names.add(name.lower())
        except FileNotFoundError:
            pass

    @staticmethod
    def _names_of(payload: bytes):
        return [dr.decode_line(p) for p in payload.split(b"|") if p]

    def receive(self, address, payload: bytes):
        names = self._names_of(payload)
        with self.lock:
            answers = []
            for name in names:
                key = name.lower()
                answers.append("Skipped" if key in self.names else "Added")
                self.names.add(key)
            # An empty submission holds nothing new: it is received, not refused.
            answer = "\r\n".join(answers) if answers else "Skipped"
            stamp = datetime.datetime.now().isoformat(timespec="seconds")
            line = "\t".join((stamp, address, ",".join(answers) or "-", _quote(payload),
                              _quote(b"|".join(names))))
            with open(self.received_path, "a", encoding="ascii", newline="\n") as f:
                f.write(line + "\n")
                f.flush()
        return answer

    def log(self, text):
        with self.lock:
            with open(self.log_path, "a", encoding="utf-8", errors="backslashreplace") as f:
                f.write(text + "\n")

    def _states(self, releases):
        """{release folder: what a program holds of it (its canon, deciphered)}. A canon follows
        from the releases before it; published releases never change, so each history is read
        once."""
        folders = tuple(folder for _, folder in releases)
        with self.lock:
            states = self.release_cache.get(folders)
        if states is None:
            canons = dr.canons([dr.read_release(folder) for folder in folders])
            states = {folder: dr.readable_state(files) for folder, files in zip(folders, canons)}
            with self.lock:
                self.release_cache[folders] = states
        return states

    def newest_date(self):
        releases = dr.list_releases(self.data_dir)
        return releases[-1][0] if releases else None

    @staticmethod
    def _prepared(folder, local, ext):
        """The update text (".txt") or signed statement (".sig") the publisher prepared in
        release `folder` for a program at exactly `local`, or None."""
        path = os.path.join(folder, dr.UPDATES_FOLDER, local.strftime(dr.RELEASE_FOLDER_FORMAT) + ext)
        try:
            with open(path, "rb") as f:
                return f.read()
        except FileNotFoundError:
            return None

    def signed_statement(self, local):
        """The publisher's statement for the update text from `local` to the newest release, or
        None when there is none (unsigned release, or a date no release was prepared for)."""
        releases = dr.list_releases(self.data_dir)
        if not releases or local >= releases[-1][0]:
            return None
        return self._prepared(releases[-1][1], local, ".sig")

    def update_text(self, local):
        """(update text, release date it leads to) for a program whose definitions date is
        `local`."""
        releases = dr.list_releases(self.data_dir)
        if not releases:
            return b"", None
        newest_date, newest_folder = releases[-1]
        if local >= newest_date:
            return b"", newest_date  # current: the merge applies nothing
        prepared = self._prepared(newest_folder, local, ".txt")
        if prepared is not None:
            return prepared, newest_date  # exactly the bytes the publisher signed
        states = self._states(releases)
        newest = states[newest_folder]
        held = [folder for when, folder in releases if when <= local]
        if held:
            records = dr.update_records(states[held[-1]], newest)
        else:
            # Older than every release: the program has no definitions (the scan-start check
            # deletes them together with the date) or a copy of unknown age. Everything is
            # added, and what any release has retired is deleted first.
            retired = dr.retired_keys([states[f] for _, f in releases[:-1]], newest)
            records = dr.update_records(dr.empty_state(), newest, retired)
        return dr.join_records(records), newest_date

    def remember_served(self, address, when):
        with self.lock:
            self.served[address] = (when, time.monotonic())

    def date_for(self, address):
        """The date the program should store after merging: the release its last update text
        led to, if it asked lately, so that a release published in between is not skipped."""
        with self.lock:
            entry = self.served.pop(address, None)
        if entry and time.monotonic() - entry[1] < DATE_MEMORY_SECONDS:
            return entry[0]
        return self.newest_date()


class Handler(BaseHTTPRequestHandler):
    """Answers one request whose line and headers the server has already read whole."""
    protocol_version = "HTTP/1.1"
    server_version = "QuillonReference/1"

    def __init__(self, request, client_address, server, head=b""):
        self.head = head
        super().__init__(request, client_address, server)

    def setup(self):
        super().setup()
        # A GET has no body, so the head is all there is to read; what a client sent after it
        # is never read (the connection closes after the answer).
        self.rfile.close()
        self.rfile = io.BytesIO(self.head)

    def parse_request(self):
        # The program sends the date and the enciphered names unencoded; WinINet escapes only
        # spaces. The request line is split at every character that Python counts as white
        # space, and enciphered names are full of them ("c" enciphers to 0xA0, "H" to 0x85), so
        # everything between the method and the protocol is taken as the target and those bytes
        # are escaped before the line is parsed; the parameters are percent-decoded later.
        raw = self.raw_requestline.rstrip(b"\r\n")
        method, _, rest = raw.partition(b" ")
        target, _, version = rest.rpartition(b" ")
        if method and target and version.startswith(b"HTTP/"):
            target = _SPLITTING.sub(lambda m: b"%%%02X" % m.group()[0], target)
            self.raw_requestline = method + b" " + target + b" " + version + b"\r\n"
        return super().parse_request()

    def log_message(self, fmt, *args):
        self.server.store.log("%s %s %s" % (datetime.datetime.now().isoformat(timespec="seconds"),
                                            self.client_address[0], fmt % args))

    def _target(self) -> bytes:
        return self.path.encode("latin-1", "replace")

    def send_body(self, body: bytes, status=200, pace=0.0):
        # Each piece must go within the time-out, and the whole answer within the time-out and a
        # second more for each 64 KiB: a client that stops reading is dropped at once, one that
        # trickles is dropped at the deadline, and neither holds a worker longer.
        deadline = time.monotonic() + self.server.connection_timeout + len(body) / 65536
        self.send_response(status)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        self.send_header("Connection", "close")
        self.close_connection = True
        if not pace:
            self._before(deadline)
            self.end_headers()
            for i in range(0, len(body), 65536):
                self._before(deadline)
                self.wfile.write(body[i:i + 65536])
            return
        self.end_headers()
        for i in range(len(body)):
            if self.server.stopping.wait(pace):
                return
            self.wfile.write(body[i:i + 1])
            self.wfile.flush()

    def _before(self, deadline):
        left = deadline - time.monotonic()
        if left <= 0:
            raise TimeoutError("the client did not take the answer in time")
        self.connection.settimeout(min(left, self.server.connection_timeout))

    def do_GET(self):
        target = self._target()
        path, _, query = target.partition(b"?")
        path = path.lower()
        if path == b"/shutdown":
            # Only for whoever started the server: it alone knows the token on its command line.
            token = self.server.shutdown_token
            given = _unquote(query[6:]) if query.startswith(b"token=") else b""
            if not token or not hmac.compare_digest(given, token.encode("utf-8")):
                self.send_body(b"ERROR: no such page", 404)
                return
            self.send_body(b"Stopping")
            threading.Thread(target=self.server.stop, daemon=True).start()
            return
        mode = self.server.mode
        if mode == "hang":
            self.server.stopping.wait()
            self.close_connection = True
            return
        if mode == "drop":
            self.close_connection = True
            return
        if mode == "garbage":
            rng = random.Random(target)
            noise = bytes(rng.randrange(256) for _ in range(rng.randrange(1, 2048)))
            self.send_body(noise)
            return
        if mode == "error":
            self.send_body(b"<html><body><h1>500 Internal Server Error</h1></body></html>", 500)
            return
        status, body = self.answer(path, query)
        self.send_body(body, status, self.server.pace if mode == "slow" else 0.0)

    def answer(self, path: bytes, query: bytes):
        store = self.server.store
        address = self.client_address[0]
        if path in (b"/asp/currentdate.asp", b"/asp/date.asp"):
            when = store.newest_date() if path == b"/asp/currentdate.asp" else store.date_for(address)
            if when is None:
                return 404, NO_RELEASES
            return 200, dr.format_date(when).encode("ascii")
        if path in (b"/asp/getdefs.asp", b"/asp/getdefssig.asp"):
            # The date is the last parameter; product names before it may hold "&" or "=".
            at = query.rfind(b"date=")
            if at < 0 or (at > 0 and query[at - 1:at] != b"&"):
                return 400, UNUSABLE_DATE
            local = dr.parse_date(_unquote(query[at + 5:]).decode("latin-1"))
            if local is None:
                return 400, UNUSABLE_DATE
            if path == b"/asp/getdefssig.asp":
                statement = store.signed_statement(local)
                return (200, statement) if statement is not None else (404, NOT_SIGNED)
            text, when = store.update_text(local)
            if when is None:
                return 404, NO_RELEASES
            store.remember_served(address, when)
            return 200, text
        if path == b"/asp/getdata.asp":
            # The one parameter runs to the end: enciphered names may hold "&" or "#".
            if not query.startswith(b"data="):
                return 400, b"ERROR: no data parameter"
            return 200, store.receive(address, _unquote(query[5:])).encode("ascii")
        return 404, b"ERROR: no such page"


class _Waiting:
    """A connection whose request is not whole yet."""
    __slots__ = ("address", "deadline", "head")

    def __init__(self, address, deadline):
        self.address, self.deadline, self.head = address, deadline, bytearray()


class ReferenceServer(HTTPServer):
    """Accepted connections wait in one selector, which reads their request line and headers
    as they come; one is closed when it stays silent for `timeout` seconds, or when its request
    is not whole `timeout` seconds after its first byte. Only a whole request goes to the fixed
    pool of `workers` threads, and its answer has a deadline too. So idle, slow or trickling
    clients cost a socket each, never a thread, and the server keeps answering others."""
    allow_reuse_address = True
    request_queue_size = 128

    def __init__(self, port, data_dir, mode="normal", pace=0.2, workers=16, timeout=10.0,
                 shutdown_token=None):
        self.store = Store(data_dir)
        self.mode = mode
        self.pace = pace
        self.connection_timeout = timeout
        self.shutdown_token = shutdown_token
        self.stopping = threading.Event()
        self.ready = queue.Queue()
        self.waiting = {}  # socket -> _Waiting
        self.waiting_lock = threading.Lock()
        self.selector = selectors.DefaultSelector()
        super().__init__(("127.0.0.1", port), Handler)
        self.workers = [threading.Thread(target=self._work, daemon=True) for _ in range(workers)]
        for w in self.workers:
            w.start()
        self.waiter = threading.Thread(target=self._wait_for_requests, daemon=True)
        self.waiter.start()

    def process_request(self, request, client_address):
        # Called on the accepting thread: the connection only joins the waiting ones.
        with self.waiting_lock:
            if len(self.waiting) >= MAX_WAITING:
                oldest = min(self.waiting, key=lambda s: self.waiting[s].deadline)
                self._drop(oldest)
            request.setblocking(False)
            self.waiting[request] = _Waiting(client_address, time.monotonic() + self.connection_timeout)
            self.selector.register(request, selectors.EVENT_READ)

    def _drop(self, sock):
        # With waiting_lock held.
        self.waiting.pop(sock, None)
        try:
            self.selector.unregister(sock)
        except (KeyError, ValueError):
            pass
        self.shutdown_request(sock)

    def _wait_for_requests(self):
        while not self.stopping.is_set():
            events = self.selector.select(timeout=0.2)
            now = time.monotonic()
            with self.waiting_lock:
                for key, _ in events:
                    self._read_head(key.fileobj, now)
                for sock in [s for s, w in self.waiting.items() if w.deadline <= now]:
                    self._drop(sock)

    def _read_head(self, sock, now):
        # With waiting_lock held. The request line and headers are read here, as they come,
        # so a worker is taken only by a request that is already whole.
        entry = self.waiting.get(sock)
        if entry is None:
            return  # dropped meanwhile
        try:
            data = sock.recv(65536)
        except (BlockingIOError, InterruptedError):
            return
        except OSError:
            data = b""
        if not data:  # gone before its request was whole
            self._drop(sock)
            return
        if not entry.head:
            entry.deadline = now + self.connection_timeout  # the whole request from its first byte
        seen = max(0, len(entry.head) - 2)
        entry.head += data
        if _HEAD_END.search(entry.head, seen):
            del self.waiting[sock]
            self.selector.unregister(sock)
            self.ready.put((sock, entry.address, bytes(entry.head)))
        elif len(entry.head) > MAX_HEAD:
            try:
                sock.send(TOO_LARGE)
            except OSError:
                pass
            self._drop(sock)

    def _work(self):
        while True:
            item = self.ready.get()
            if item is None:
                return
            sock, address, head = item
            try:
                sock.settimeout(self.connection_timeout)
                self.RequestHandlerClass(sock, address, self, head)
            except Exception:
                self.handle_error(sock, address)
            finally:
                self.shutdown_request(sock)

    def handle_error(self, request, client_address):
        # A client that goes away in the middle of an answer is normal in the test modes.
        self.store.log("%s %s error: %r" % (datetime.datetime.now().isoformat(timespec="seconds"),
                                            client_address[0], sys.exc_info()[1]))

    def stop(self):
        # Wakes the hanging and slow answers first, so that no thread outlives the server.
        self.stopping.set()
        self.shutdown()
        for _ in self.workers:
            self.ready.put(None)
        with self.waiting_lock:
            for sock in list(self.waiting):
                self._drop(sock)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=8080, help="0 picks a free port")
    parser.add_argument("--data", required=True, help="the server's data folder")
    parser.add_argument("--mode", choices=MODES, default="normal",
                        help="test only: answer noise, never answer, answer one byte at a time, "
                             "close without answering, or answer HTTP 500")
    parser.add_argument("--pace", type=float, default=0.2,
                        help="seconds between bytes in --mode slow")
    parser.add_argument("--workers", type=int, default=16, help="threads that answer requests")
    parser.add_argument("--timeout", type=float, default=10.0,
                        help="seconds a connection may stay silent before its request, and that "
                             "its request line and headers may take from their first byte")
    parser.add_argument("--shutdown-token",
                        help="/shutdown?token=TOKEN stops the server; without it, /shutdown is "
                             "no page")
    args = parser.parse_args(argv)
    server = ReferenceServer(args.port, args.data, args.mode, args.pace, max(1, args.workers),
                             args.timeout, args.shutdown_token)

    def on_signal(signum, frame):
        threading.Thread(target=server.stop, daemon=True).start()

    signal.signal(signal.SIGTERM, on_signal)
    signal.signal(signal.SIGINT, on_signal)
    print("listening on 127.0.0.1:%d" % server.server_address[1], flush=True)
    server.store.log("%s started, mode %s" % (datetime.datetime.now().isoformat(timespec="seconds"),
                                               args.mode))
    try:
        server.serve_forever(poll_interval=0.2)
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
