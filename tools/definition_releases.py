"""Definition releases of the reference server: the line cipher, the dated release folders, and
the update text that brings a program's definition files from one release to the newest.

Everything here works on bytes: definition lines are single-byte text in the system code page,
and the cipher maps every byte value, so no text decoding may come between a file and the wire.

What a program holds of a release is defined once, byte for byte: its canon is the five files a
program has after applying the release's whole text (the update for a program without a
definitions date) to five empty files with the program's merge (`apply_update` is its model).
Every statement the publisher signs for a release names the SHA-256 of those five files,
whatever date it updates from, and a program puts in place only a result with exactly those
digests; one whose update gives anything else takes the whole release instead.

The update text can only append lines and drop whole keys (a key is the text before a line's
first "="): a DEL removes every line of its key, an ADD that follows a DEL of the same key
withdraws that DEL, and an ADD of a line the file already holds adds nothing. The whole text of
a release therefore lists its lines in the order that programs following the releases one after
another hold them (`canons`), so that the update from the release before gives exactly the
canon wherever the merge can. It cannot when a key's lines change while the key stays (the old
line stays), nor always for a program that skipped releases; `reaches_canon` lets the publisher
say which earlier releases that is for.
"""
import collections
import datetime
import hashlib
import os
import re

CIPHER_KEY = 61

# (file in a release folder, file the program keeps, kind of the update records)
KINDS = (
    ("FileDefinition.txt", "FileDefinition.dat", b"FILE"),
    ("ExeDefinition.txt", "ExeDefinition.dat", b"EXE"),
    ("RegistryDefinition.txt", "RegistryDefinition.dat", b"REG"),
    ("BlockedCookies.txt", "BlockedCookies.dat", b"COOK"),
    ("DirectoryDefinition.txt", "DirectoryDefinition.dat", b"DIR"),
)
RELEASE_FILES = tuple(k[0] for k in KINDS)
PROGRAM_FILES = tuple(k[1] for k in KINDS)
# Which program files an update record of each kind lands in.
KIND_TARGETS = {
    b"FILE": ("FileDefinition.dat",),
    b"DLL": ("FileDefinition.dat",),
    b"EXE": ("FileDefinition.dat", "ExeDefinition.dat"),
    b"REG": ("RegistryDefinition.dat",),
    b"COOK": ("BlockedCookies.dat",),
    b"DIR": ("DirectoryDefinition.dat",),
}
RELEASE_FOLDER_FORMAT = "%Y-%m-%dT%H-%M-%S"
# In a release folder: the update texts to that release, one per date a program may update
# from (named by that date in RELEASE_FOLDER_FORMAT, ".txt"), each with its signed statement
# (".sig").
UPDATES_FOLDER = "updates"
# The definitions date of a program that has none, and the first line of a signed statement.
DEFAULT_DATE = "3/16/2006 12:00:00 AM"
SIGNED_HEADER = "Quillon signed definition update 2"


# --- line cipher -------------------------------------------------------------------------------

def _encode_byte(c):
    e = c + CIPHER_KEY
    return e - 255 if e > 255 else e


def _decode_byte(c):
    d = c - CIPHER_KEY
    return d + 255 if d < 0 else d


_ENCODE = bytes(_encode_byte(c) for c in range(256))
_DECODE = bytes(_decode_byte(c) for c in range(256))


def encode_line(line: bytes) -> bytes:
    return line.translate(_ENCODE)


def decode_line(line: bytes) -> bytes:
    return line.translate(_DECODE)


def unstorable_reason(c: int):
    """Why a plain byte cannot be stored in an enciphered line and come back as itself, or None:
    two bytes encipher to CR and LF (the stored line would break in two), 0xFF comes back as NUL,
    and a NUL makes the line one that every reader of the program skips."""
    if _ENCODE[c] in (0x0D, 0x0A):
        return "would be enciphered as a line break, so the stored line would break in two"
    if c == 0xFF:
        return "would come back as NUL, which ends a name there"
    if c == 0:
        return "is NUL, which ends a name there, so every reader would skip the line"
    return None


def unencodable_byte(line: bytes):
    """Index of the first byte that `unstorable_reason` refuses, or None."""
    for i, c in enumerate(line):
        if unstorable_reason(c):
            return i
    return None


# --- dates -------------------------------------------------------------------------------------

def format_date(t: datetime.datetime) -> str:
    """The program's one text form of a date and time: "3/16/2006 12:00:00 AM"."""
    h12 = t.hour % 12 or 12
    return "%d/%d/%d %d:%02d:%02d %s" % (t.month, t.day, t.year, h12, t.minute, t.second,
                                         "AM" if t.hour < 12 else "PM")


_DATE_RE = re.compile(r"^(\d{1,2})/(\d{1,2})/(\d{3,4})"
                      r"(?:\s+(\d{1,2}):(\d{1,2})(?::(\d{1,2}))?(?:\s*([AaPp][Mm]))?)?$")
_ISO_RE = re.compile(r"^(\d{4})-(\d{2})-(\d{2})(?:[T ](\d{2})[:-](\d{2})(?:[:-](\d{2}))?)?$")


def parse_date(text: str):
    """The program's date form (a date alone means midnight; 24-hour times are accepted without
    AM/PM) or ISO "2006-03-16T13:05:00". None for anything else, impossible dates included."""
    s = text.strip()
    try:
        m = _DATE_RE.match(s)
        if m:
            mo, d, y, h, mi, sec, ap = m.groups()
            hour, minute, second = int(h or 0), int(mi or 0), int(sec or 0)
            if ap:
                if not 1 <= hour <= 12:
                    return None
                hour = hour % 12 + (12 if ap.upper() == "PM" else 0)
            return datetime.datetime(int(y), int(mo), int(d), hour, minute, second)
        m = _ISO_RE.match(s)
        if m:
            return datetime.datetime(*(int(g or 0) for g in m.groups()))
    except ValueError:
        return None
    return None


# --- release folders ---------------------------------------------------------------------------

def numbered_plain_lines(data: bytes):
    """[(line number, line)] of a plain-text definition file from any system (CR LF, lone CR or
    LF). Lines of blanks only are no definitions and are left out."""
    lines = re.split(rb"\r\n|\r|\n", data)
    return [(n, line) for n, line in enumerate(lines, 1) if line.strip(b" \t")]


def split_plain_lines(data: bytes):
    return [line for _, line in numbered_plain_lines(data)]


def releases_folder(data_dir):
    return os.path.join(data_dir, "releases")


def list_releases(data_dir):
    """[(date, folder path)] oldest first; folders whose name is no release date are ignored."""
    root = releases_folder(data_dir)
    found = []
    try:
        names = os.listdir(root)
    except FileNotFoundError:
        return []
    for name in names:
        try:
            when = datetime.datetime.strptime(name, RELEASE_FOLDER_FORMAT)
        except ValueError:
            continue
        found.append((when, os.path.join(root, name)))
    found.sort()
    return found


def read_release(folder):
    """{release file name: [plain line]}; a missing file holds no definitions."""
    release = {}
    for name in RELEASE_FILES:
        try:
            with open(os.path.join(folder, name), "rb") as f:
                release[name] = split_plain_lines(f.read())
        except FileNotFoundError:
            release[name] = []
    return release


# --- the program's view of a release -----------------------------------------------------------

def line_key(line: bytes) -> bytes:
    """What the merge compares when it removes lines: the text before the first "=", without
    regard to (ASCII) letter case."""
    return line.split(b"=", 1)[0].lower()


def _registry_parts(line: bytes):
    """(key part as the update sends it, threat name, type text) of a registry line, split as the
    registry scan splits it: at the LAST "=", the threat part trimmed and cut at "|"."""
    if b"=" not in line:
        return None
    keypart, threat = line.rsplit(b"=", 1)
    fields = threat.strip(b" ").split(b"|")
    threat_name, type_text = fields[0], (fields[1] if len(fields) > 1 else b"")
    # The merge writes key part + "^=": a key part that ends in an empty value-name field gives
    # that field back, one that names a value keeps it as the third field.
    if keypart.endswith(b"^"):
        keypart = keypart[:-1]
    return keypart, threat_name, type_text


def program_line(release_file: str, line: bytes) -> bytes:
    """The deciphered line that the merge writes into the program's file for this release line:
    registry lines are rebuilt from their parts (always with "|" before the type text), cookie
    lines keep the text before their first "=", other lines are written as they are."""
    if release_file == "RegistryDefinition.txt":
        keypart, threat, type_text = _registry_parts(line)
        return keypart + b"^=" + threat + b"|" + type_text
    if release_file == "BlockedCookies.txt":
        return line.split(b"=", 1)[0]
    return line


def program_state(release):
    """{program file name: [deciphered line]} that a program holds after receiving this release
    in full. An EXE record always lands in FileDefinition.dat too, so every executable
    definition is also a file definition there."""
    state = {}
    for release_file, program_file, _ in KINDS:
        lines = release[release_file]
        if release_file == "RegistryDefinition.txt":
            lines = [l for l in lines if b"=" in l]  # refused when publishing; never sent
        state[program_file] = [program_line(release_file, l) for l in lines]
    files = state["FileDefinition.dat"]
    present = set(files)
    files.extend(l for l in state["ExeDefinition.dat"] if l not in present)
    return state


# --- update text -------------------------------------------------------------------------------

def _plain_separators(enciphered: bytes) -> bytes:
    # The merge finds the fields by the plain separators and enciphers them itself.
    return enciphered.replace(_ENCODE[ord("|")].to_bytes(1, "big"), b"|") \
                     .replace(_ENCODE[ord("=")].to_bytes(1, "big"), b"=")


def add_record(kind: bytes, line: bytes) -> bytes:
    """An ADD record that makes the merge write `line` (deciphered, program form) into the
    kind's file(s)."""
    if kind == b"REG":
        keypart, threat = line.rsplit(b"^=", 1)
        threat_name, type_text = threat.split(b"|", 1)
        # The label is not written; sending the line's key makes it withdraw an earlier DEL of
        # that key, as the other kinds' bodies do.
        body = (encode_line(keypart + b"^") + b"=" + encode_line(threat_name) + b"|" +
                encode_line(keypart) + b"|" + encode_line(type_text))
    elif kind == b"COOK":
        body = encode_line(line)
    else:
        body = _plain_separators(encode_line(line))
    return encode_line(kind) + b"|ADD[DEF]" + body


def del_record(kind: bytes, key: bytes) -> bytes:
    """A DEL record for the key as written (before the merge lower-cases it)."""
    return encode_line(kind) + b"|DEL[DEF]" + encode_line(key)


def _raw_key(line: bytes) -> bytes:
    return line.split(b"=", 1)[0]


def _diff(old, new):
    """(lines of `new` the holder of `old` lacks, {key: key as written} of keys `new` drops)."""
    remaining = {}
    for line in old:
        remaining.setdefault(line_key(line), []).append(line)
    adds = []
    for line in new:
        pool = remaining.get(line_key(line))
        if pool and line in pool:
            pool.remove(line)
        else:
            adds.append(line)
    new_keys = {line_key(l) for l in new}
    dels = {}
    for line in old:
        k = line_key(line)
        if k not in new_keys and k not in dels:
            dels[k] = _raw_key(line)
    return adds, dels


def update_records(old_state, new_state, retired=None):
    """The records that bring a program from `old_state` to `new_state` (program states as
    `program_state` gives them). `retired` adds deletions: {program file: {key: key as
    written}} for keys the program may hold although `old_state` does not show them. Deletions
    come first, so that no ADD withdraws them, except where a withdrawal is wanted."""
    retired = retired or {}
    diffs = {}
    for program_file in PROGRAM_FILES:
        adds, dels = _diff(old_state[program_file], new_state[program_file])
        new_keys = {line_key(l) for l in new_state[program_file]}
        for k, raw in retired.get(program_file, {}).items():
            if k not in new_keys:
                dels.setdefault(k, raw)
        diffs[program_file] = (adds, dels)

    deletions, additions = [], []
    exe_adds, exe_dels = diffs["ExeDefinition.dat"]
    file_adds, file_dels = diffs["FileDefinition.dat"]
    exe_pool = collections.Counter(exe_adds)
    file_adds = [l for l in file_adds if not exe_pool[l]]  # an EXE record writes those
    new_files = new_state["FileDefinition.dat"]
    keepers = []
    for k, raw in exe_dels.items():
        if k in file_dels:
            deletions.append(del_record(b"EXE", file_dels.pop(k)))
            continue
        # FileDefinition.dat keeps this key: a FILE ADD of exactly this key, sent after the EXE
        # DEL, withdraws the deletion there and leaves it in force in ExeDefinition.dat.
        keeper = next((l for l in file_adds if line_key(l) == k and b"=" in l), None)
        if keeper is None:
            keeper = next((l for l in new_files if line_key(l) == k and b"=" in l), None)
            if keeper is None:
                continue  # cannot be withdrawn: the executable definition stays
            keepers.append(keeper)  # held already: it adds nothing, it only withdraws
        deletions.append(del_record(b"EXE", _raw_key(keeper)))
    for raw in file_dels.values():
        deletions.append(del_record(b"FILE", raw))
    # The additions in the order FileDefinition.dat holds them in the new state: an EXE record
    # lands in both files at once, so one walk orders both, as appending them leaves them.
    file_pool = collections.Counter(file_adds)
    for line in new_files:
        if exe_pool[line]:
            exe_pool[line] -= 1
            additions.append(add_record(b"EXE", line))
        elif file_pool[line]:
            file_pool[line] -= 1
            additions.append(add_record(b"FILE", line))
    for kind, lines, pool in ((b"EXE", exe_adds, exe_pool), (b"FILE", file_adds, file_pool)):
        for line in lines:
            if pool[line]:
                pool[line] -= 1
                additions.append(add_record(kind, line))
    additions.extend(add_record(b"FILE", l) for l in keepers)
    for _, program_file, kind in KINDS[2:]:
        adds, dels = diffs[program_file]
        deletions.extend(del_record(kind, raw) for raw in dels.values())
        additions.extend(add_record(kind, l) for l in adds)
    return deletions + additions


def join_records(records) -> bytes:
    # No "[BR]" after the last record: the merge treats an empty record as an error.
    return b"[BR]".join(records)


def empty_state():
    return {name: [] for name in PROGRAM_FILES}


def retired_keys(states, newest):
    """{program file: {key: key as written}} of keys that some state holds and `newest` lacks."""
    retired = {}
    for program_file in PROGRAM_FILES:
        live = {line_key(l) for l in newest[program_file]}
        keys = retired.setdefault(program_file, {})
        for state in states:
            for line in state[program_file]:
                k = line_key(line)
                if k not in live:
                    keys.setdefault(k, _raw_key(line))
    return retired


# --- the bytes of a release ----------------------------------------------------------------------

def full_text(files, retired=None) -> bytes:
    """The whole release whose canon is `files`, as one update text: what a program without a
    definitions date is sent, and what it makes its five files from. It deletes first what
    `retired` names, which matters only to a program that merges it."""
    return join_records(update_records(empty_state(), readable_state(files), retired))


def _whole(files):
    """What the whole text of `files` gives five empty files."""
    made = {name: [] for name in PROGRAM_FILES}
    _, failed = apply_update(made, full_text(files))
    return None if failed else made


def _following(previous, release):
    """The canon of `release` published after a release whose canon is `previous`: its lines in
    the order a program that takes the update from `previous` holds them, so that the update
    gives exactly the canon wherever the merge can (a key whose line changes keeps its old line
    in the merge, which the canon drops; executable definitions keep the order they have in
    FileDefinition.dat)."""
    first = _whole({name: [encode_line(l) for l in lines] for name, lines in program_state(release).items()})
    if first is None:
        raise MergeError("the release's own text does not apply")
    merged = {name: list(lines) for name, lines in previous.items()}
    apply_update(merged, join_records(update_records(readable_state(previous), readable_state(first))))
    files = {}
    for name in PROGRAM_FILES:
        wanted, kept = set(first[name]), set(merged[name])
        files[name] = [l for l in merged[name] if l in wanted] + [l for l in first[name] if l not in kept]
    at = {line: i for i, line in enumerate(files["FileDefinition.dat"])}
    if all(line in at for line in files["ExeDefinition.dat"]):
        files["ExeDefinition.dat"].sort(key=at.get)
    return files if _whole(files) == files else first


def canons(releases):
    """[canon of each release], for releases given oldest first: exactly what a program holds
    of each, byte for byte (`file_bytes`). The canon of a release is what its whole text gives
    five empty files; the whole text lists the lines in the order that programs following the
    releases one after another hold them."""
    out, previous = [], {name: [] for name in PROGRAM_FILES}
    for release in releases:
        previous = _following(previous, release)
        out.append(previous)
    return out


def canon(release):
    """The canon of a release published first."""
    return canons([release])[0]


def file_bytes(lines) -> bytes:
    """A definition file as the program writes it."""
    return b"".join(line + b"\r\n" for line in lines)


def file_digests(files):
    """[(program file, SHA-256 hex)] in the order of PROGRAM_FILES, as a statement names them."""
    return [(name, hashlib.sha256(file_bytes(files[name])).hexdigest()) for name in PROGRAM_FILES]


def readable_state(files):
    """Enciphered files as deciphered program states."""
    return {name: [decode_line(l) for l in lines] for name, lines in files.items()}


def reaches_canon(old_files, new_files) -> bool:
    """Whether the update from the holder of `old_files` (a canon) gives exactly `new_files`."""
    text = join_records(update_records(readable_state(old_files), readable_state(new_files)))
    files = {name: list(lines) for name, lines in old_files.items()}
    _, failed = apply_update(files, text)
    return not failed and files == new_files


# --- checks when publishing ----------------------------------------------------------------------

def line_problem(release_file: str, line: bytes):
    """Why this line cannot be sent in an update text, or None."""
    at = unencodable_byte(line)
    if at is not None:
        return "byte %d (0x%02X) %s" % (at + 1, line[at], unstorable_reason(line[at]))
    if release_file == "RegistryDefinition.txt" and b"=" not in line:
        return 'a registry definition needs "=" before its threat name'
    kind = next(k for r, _, k in KINDS if r == release_file)
    wanted = program_line(release_file, line)
    add, delete = add_record(kind, wanted), del_record(kind, _raw_key(wanted))
    targets = KIND_TARGETS[kind]
    files = empty_state()
    count, failed = apply_update(files, add)
    written = [decode_line(l) for name in targets for l in files[name]]
    if failed or count != len(targets) or written != [wanted] * len(targets):
        for i, c in enumerate(line):
            if _ENCODE[c] in b"|=[":
                return ("byte %d (0x%02X) would be enciphered as the update separator %r" %
                        (i + 1, c, chr(_ENCODE[c])))
        return "its update record would not write the line back unchanged"
    files = empty_state()
    count, failed = apply_update(files, join_records([add, delete]))
    if failed or any(files[name] for name in targets):
        return "a deletion of its key would not remove it"
    return None


# --- the program's merge, as a model for checks and tests ---------------------------------------

class MergeError(Exception):
    pass


_NUL_BYTE = bytes([CIPHER_KEY])  # the one enciphered byte that deciphers to NUL


def _merge_line(kind: bytes, body: bytes) -> bytes:
    bar, eq = _ENCODE[ord("|")].to_bytes(1, "big"), _ENCODE[ord("=")].to_bytes(1, "big")
    if kind == b"REG":
        parts = body.split(b"|")
        if len(parts) < 3:
            raise MergeError("registry body with fewer than three parts")
        threat = parts[0].split(b"=", 1)[1] if b"=" in parts[0] else b""
        return parts[1] + encode_line(b"^=") + threat + bar + parts[2]
    if kind == b"COOK":
        return body.split(b"=", 1)[0]
    return body.replace(b"|", bar).replace(b"=", eq)


def _parse(text: bytes):
    """[(kind, action, line, key as sent, body has "=")] of the records a file may take; raises
    MergeError for a text the program refuses whole."""
    records = []
    for record in re.split(rb"(?i)\[BR\]", text):
        record = record.strip(b" ")
        if not record:
            continue  # empty records are skipped
        header, sep, body = record.partition(b"[DEF]")
        parts = header.split(b"|")
        kind = decode_line(parts[0])
        if kind not in KIND_TARGETS:
            continue
        if not sep or len(parts) < 2:
            raise MergeError("record without [DEF] or action")
        action = parts[1]
        if action == b"ADD":
            line = _merge_line(kind, body)
            if b"\r" in line or b"\n" in line:
                raise MergeError("the line would hold a line break")
            if _NUL_BYTE in line:
                continue  # malformed, as every reader takes it: as if it had not been sent
            records.append((kind, action, line, body.split(b"=", 1)[0], b"=" in body))
        elif action == b"DEL":
            records.append((kind, action, None, body.split(b"=", 1)[0], False))
    return records


def apply_update(files, text: bytes):
    """Applies an update text to {program file: [enciphered line]} in place as the program's
    merge does; returns (count, failed). A text the program refuses changes nothing."""
    try:
        records = _parse(text)
    except MergeError:
        return 0, True
    count = 0
    for target in PROGRAM_FILES:
        count += _merge_file(files.setdefault(target, []), target, records)
    return count, False


def _merge_file(lines, target, records):
    count = 0
    pending = []
    held = set(lines)
    for kind, action, line, key, has_key in records:
        if target not in KIND_TARGETS[kind]:
            continue
        if action == b"ADD":
            if line not in held:  # a line the file holds is not added again
                held.add(line)
                lines.append(line)
                count += 1
            if has_key:
                pending = [p for p in pending if p.lower() != key.lower()]
        elif action == b"DEL":
            pending.append(key)
    if pending:
        count += 1
        gone = {decode_line(p).lower() for p in pending}
        lines[:] = [l for l in lines if l != b" " and line_key(decode_line(l)) not in gone]
    return count
