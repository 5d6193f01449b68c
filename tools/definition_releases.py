"""Definition releases of the reference server: the line cipher, the dated release folders, and
the update text that brings a program's definition files from one release to the newest.

Everything here works on bytes: definition lines are single-byte text in the system code page,
and the cipher maps every byte value, so no text decoding may come between a file and the wire.

The update text can only append lines and drop whole keys (a key is the text before a line's
first "="): a DEL removes every line of its key, and an ADD that follows a DEL of the same key
withdraws that DEL. So a key whose lines change while the key stays cannot be brought exactly to
the new lines in one update. We send the new lines and leave the old ones in place: a stale
definition can give an extra finding, a missing one would hide a threat. `changed_keys` lets the
publisher warn about such releases.
"""
import datetime
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
SIGNED_HEADER = "Quillon signed definition update 1"


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


def unencodable_byte(line: bytes):
    """Index of the first byte that enciphers to CR or LF (the stored line would break in two),
    or None."""
    for i, c in enumerate(line):
        if _ENCODE[c] in (0x0D, 0x0A):
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
    file_adds = list(file_adds)
    for line in exe_adds:
        additions.append(add_record(b"EXE", line))
        if line in file_adds:
            file_adds.remove(line)
    new_files = new_state["FileDefinition.dat"]
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
            file_adds.append(keeper)
        deletions.append(del_record(b"EXE", _raw_key(keeper)))
    for raw in file_dels.values():
        deletions.append(del_record(b"FILE", raw))
    additions.extend(add_record(b"FILE", l) for l in file_adds)
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


def changed_keys(old_state, new_state):
    """[(program file, key)] whose lines change while the key stays: the update cannot remove
    the old lines of such a key, so a program updated from `old_state` keeps them."""
    found = []
    for program_file in PROGRAM_FILES:
        new_keys = {line_key(l) for l in new_state[program_file]}
        remaining = {}
        for line in old_state[program_file]:
            remaining.setdefault(line_key(line), []).append(line)
        for line in new_state[program_file]:
            pool = remaining.get(line_key(line))
            if pool and line in pool:
                pool.remove(line)
        for k, left in remaining.items():
            if left and k in new_keys:
                found.append((program_file, k))
    return found


# --- checks when publishing ----------------------------------------------------------------------

def line_problem(release_file: str, line: bytes):
    """Why this line cannot be sent in an update text, or None."""
    at = unencodable_byte(line)
    if at is not None:
        return ("byte %d (0x%02X) would be enciphered as a line break, so the stored line would "
                "break in two" % (at + 1, line[at]))
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


def apply_update(files, text: bytes):
    """Applies an update text to {program file: [enciphered line]} in place as the program's
    merge does; returns (count, failed). A failing file's step is retried once from its first
    record (lines it appended stay); a second failure ends the merge."""
    count = 0
    errors = 0
    records = re.split(rb"(?i)\[BR\]", text)
    for target in ("FileDefinition.dat", "ExeDefinition.dat", "RegistryDefinition.dat",
                   "BlockedCookies.dat", "DirectoryDefinition.dat"):
        while True:
            try:
                count += _merge_file(files.setdefault(target, []), target, records)
                break
            except MergeError:
                errors += 1
                if errors > 1:
                    return count, True
    return count, errors > 0


def _merge_file(lines, target, records):
    count = 0
    pending = []
    for record in records:
        record = record.strip(b" ")
        if not record:
            raise MergeError("empty record")
        header, sep, body = record.partition(b"[DEF]")
        parts = header.split(b"|")
        kind = decode_line(parts[0])
        if target not in KIND_TARGETS.get(kind, ()):
            continue
        if not sep or len(parts) < 2:
            raise MergeError("record without [DEF] or action")
        action = parts[1]
        if action == b"ADD":
            lines.append(_merge_line(kind, body))
            count += 1
            if b"=" in body:
                sent = body.split(b"=", 1)[0].lower()
                pending = [p for p in pending if p.lower() != sent]
        elif action == b"DEL":
            pending.append(body.split(b"=", 1)[0])
    if pending:
        count += 1
        gone = {decode_line(p).lower() for p in pending}
        lines[:] = [l for l in lines if l != b" " and line_key(decode_line(l)) not in gone]
    return count
