#!/usr/bin/env python3
"""Publishes a folder of plain-text definitions as a new, signed release of the reference server.

    publish_definitions.py --data DIR --from FOLDER --key KEYFILE [--date "5/1/2024 9:30:00 AM"]
    publish_definitions.py --data DIR [--from FOLDER --key KEYFILE ...] --static OUT
    publish_definitions.py --make-key KEYFILE      (makes the key if missing; prints its public key)

FOLDER holds the five files FileDefinition.txt, ExeDefinition.txt, RegistryDefinition.txt,
BlockedCookies.txt and DirectoryDefinition.txt (an empty file: no definitions of that kind),
one plain definition per line. The release is dated --date (default: now, to the second) and
must be newer than every release DIR already has. Nothing is published when a line cannot be
sent in an update text; the problems are listed on standard error.

Every update text a program may fetch for the new release (from each earlier release's date, and
from the program's default date: the whole release) is made now and signed with the publisher's
private key KEYFILE (ECDSA P-256 over SHA-256), which is made on first use. Each statement also
names the SHA-256 of the five definition files exactly as a program holds the release (the
whole release applied to empty files), whatever date it updates from; a program whose update
would give other files takes the whole release instead. A warning names each earlier release
whose update cannot give those files. The server only hands out what was signed here and never
needs the key. --unsigned publishes for programs that accept unsigned definitions.

--static OUT (after publishing, or alone) writes what a web server of static files hands out for
the newest release of DIR into the folder OUT (docs/publishing.md): currentdate.txt and date.txt,
and in OUT/updates/ each prepared update text and statement named by the date it updates from
(static_name), plus any.txt, the whole release, for a date no text was prepared for.
"""
import argparse
import datetime
import hashlib
import os
import shutil
import sys
import tempfile

from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import ec
from cryptography.hazmat.primitives.asymmetric.utils import decode_dss_signature

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import definition_releases as dr  # noqa: E402


class PublishError(Exception):
    pass


def read_folder(folder):
    release, problems = {}, []
    for name in dr.RELEASE_FILES:
        path = os.path.join(folder, name)
        try:
            with open(path, "rb") as f:
                numbered = dr.numbered_plain_lines(f.read())
        except FileNotFoundError:
            problems.append("%s: missing (an empty file stands for no definitions of that kind)"
                            % name)
            continue
        release[name] = [line for _, line in numbered]
        for number, line in numbered:
            why = dr.line_problem(name, line)
            if why:
                problems.append("%s line %d (%s): %s" %
                                (name, number, line.decode("latin-1"), why))
    if problems:
        raise PublishError("\n".join(problems))
    return release


# --- the publisher's key and signed statements ---------------------------------------------------

def load_key(path, create=False):
    """The private key in `path` (PEM); made there, readable by its owner only, when missing and
    `create` is set."""
    try:
        with open(path, "rb") as f:
            key = serialization.load_pem_private_key(f.read(), password=None)
    except FileNotFoundError:
        if not create:
            raise PublishError("no signing key at %s" % path)
        key = ec.generate_private_key(ec.SECP256R1())
        pem = key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.PKCS8,
                                serialization.NoEncryption())
        # O_EXCL: two publishers starting at once never overwrite each other's key.
        fd = os.open(path, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o600)
        with os.fdopen(fd, "wb") as f:
            f.write(pem)
        return key
    except ValueError as e:
        raise PublishError("%s is not a private key: %s" % (path, e))
    if not isinstance(key, ec.EllipticCurvePrivateKey) or key.curve.name != "secp256r1":
        raise PublishError("%s is not a P-256 key" % path)
    return key


def public_key_hex(key):
    """The public key as the program is built with it: x then y, 64 hex digits each."""
    numbers = key.public_key().public_numbers()
    return "%064x%064x" % (numbers.x, numbers.y)


def signed_statement(key, from_text, to_text, text: bytes, files) -> bytes:
    """The statement the program checks beside an update text: it names the text's SHA-256,
    the date it updates from, the date it moves to and the SHA-256 of each definition file as
    the program must hold it afterwards (`files`, a canon), and is signed over those lines."""
    body = ("%s\r\nfrom: %s\r\nto: %s\r\nsha256: %s\r\n" %
            (dr.SIGNED_HEADER, from_text, to_text, hashlib.sha256(text).hexdigest()))
    body += "".join("%s: %s\r\n" % (name, digest) for name, digest in dr.file_digests(files))
    body = body.encode("ascii")
    r, s = decode_dss_signature(key.sign(body, ec.ECDSA(hashes.SHA256())))
    return body + ("signature: %064x%064x\r\n" % (r, s)).encode("ascii")


def prepared_updates(releases, release, when):
    """({from date: update text}, [earlier release dates whose update does not give exactly this
    release], this release's canon) for every date a program may update from to this release:
    each earlier release's, and the program's default date for a program without definitions
    (the whole release)."""
    every = dr.canons([dr.read_release(f) for _, f in releases] + [release])
    new_files = every[-1]
    new_state = dr.readable_state(new_files)
    held = [(d, files) for (d, _), files in zip(releases, every)]
    texts, short = {}, []
    default = dr.parse_date(dr.DEFAULT_DATE)
    if default < when and all(default < d for d, _ in releases):
        retired = dr.retired_keys([dr.readable_state(files) for _, files in held], new_state)
        texts[default] = dr.full_text(new_files, retired)
    for d, files in held:
        texts[d] = dr.join_records(dr.update_records(dr.readable_state(files), new_state))
        if not dr.reaches_canon(files, new_files):
            short.append(d)
    return texts, short, new_files


def publish(data_dir, folder, when=None, signing_key=None):
    """Writes the release and returns (its folder, warnings). With `signing_key`, every update text to
    it is prepared and signed. Raises PublishError."""
    when = (when or datetime.datetime.now()).replace(microsecond=0)
    release = read_folder(folder)
    releases = dr.list_releases(data_dir)
    if releases and when <= releases[-1][0]:
        raise PublishError("release date %s is not newer than the newest release, %s" %
                           (dr.format_date(when), dr.format_date(releases[-1][0])))
    updates, short, files = prepared_updates(releases, release, when)
    outcome = ("will take the full release" if signing_key is not None else
               "keep what the update gives: nothing signed tells them otherwise")
    warnings = ["the update from %s cannot give exactly this release: programs at %s %s" %
                (dr.format_date(d), dr.format_date(d), outcome) for d in short]
    root = dr.releases_folder(data_dir)
    os.makedirs(root, exist_ok=True)
    final = os.path.join(root, when.strftime(dr.RELEASE_FOLDER_FORMAT))
    # Written aside and renamed, so the server never reads half a release.
    staging = tempfile.mkdtemp(prefix=".publishing-", dir=root)
    for name in dr.RELEASE_FILES:
        with open(os.path.join(staging, name), "wb") as f:
            f.write(b"".join(line + b"\r\n" for line in release[name]))
    if signing_key is not None:
        updates_folder = os.path.join(staging, dr.UPDATES_FOLDER)
        os.mkdir(updates_folder)
        for since, text in updates.items():
            base = os.path.join(updates_folder, since.strftime(dr.RELEASE_FOLDER_FORMAT))
            with open(base + ".txt", "wb") as f:
                f.write(text)
            with open(base + ".sig", "wb") as f:
                f.write(signed_statement(signing_key, dr.format_date(since), dr.format_date(when), text,
                                         files))
    try:
        os.rename(staging, final)
    except OSError as e:
        shutil.rmtree(staging, ignore_errors=True)
        raise PublishError("cannot create %s: %s" % (final, e))
    return final, warnings


# --- a release as static files --------------------------------------------------------------------

# In a static tree: the answer to an update request from a date no text was prepared for.
STATIC_ANY = "any.txt"


def static_name(when) -> str:
    """The file name stem of the update from `when`: the date as the program sends it,
    "1/2/2030%2012:00:00%20AM", with "/" and ":" as "-" and the escaped blanks as "_"
    ("1-2-2030_12-00-00_AM"); the web server's mapping makes the same name from the query."""
    return dr.format_date(when).replace("/", "-").replace(":", "-").replace(" ", "_")


def _replace_file(path, data: bytes):
    # Written aside and renamed: a server never hands out half a file.
    with open(path + ".part", "wb") as f:
        f.write(data)
    os.replace(path + ".part", path)


def write_static(data_dir, out):
    """Writes the answers for the newest release of `data_dir` into the folder `out`; returns the
    number of update texts. The dates go last, so a program told of the release finds its texts."""
    releases = dr.list_releases(data_dir)
    if not releases:
        raise PublishError("no release in %s to write out" % data_dir)
    when, folder = releases[-1]
    answers = {}  # file name -> bytes
    prepared = os.path.join(folder, dr.UPDATES_FOLDER)
    if os.path.isdir(prepared):
        for name in os.listdir(prepared):
            stem, ext = os.path.splitext(name)
            try:
                since = datetime.datetime.strptime(stem, dr.RELEASE_FOLDER_FORMAT)
            except ValueError:
                continue
            if ext in (".txt", ".sig"):
                with open(os.path.join(prepared, name), "rb") as f:
                    answers[static_name(since) + ext] = f.read()
    else:  # unsigned: the same texts, made again from the release history
        texts, _, _ = prepared_updates(releases[:-1], dr.read_release(folder), when)
        answers = {static_name(since) + ".txt": text for since, text in texts.items()}
    whole = answers.get(static_name(dr.parse_date(dr.DEFAULT_DATE)) + ".txt")
    if whole is not None:
        answers[STATIC_ANY] = whole
    updates = os.path.join(out, "updates")
    os.makedirs(updates, exist_ok=True)
    for name, data in sorted(answers.items()):
        _replace_file(os.path.join(updates, name), data)
    # What an earlier release left that this one does not answer is no longer served.
    for name in set(os.listdir(updates)) - set(answers):
        os.remove(os.path.join(updates, name))
    date = dr.format_date(when).encode("ascii")
    _replace_file(os.path.join(out, "date.txt"), date)
    _replace_file(os.path.join(out, "currentdate.txt"), date)
    return sum(1 for name in answers if name.endswith(".txt") and name != STATIC_ANY)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", help="the server's data folder")
    parser.add_argument("--from", dest="folder", help="folder of the five plain-text definition files")
    parser.add_argument("--date", help='release date, "M/D/YYYY h:mm:ss AM" or ISO; default now')
    parser.add_argument("--key", help="the publisher's private key (PEM), made on first use; "
                                      "keep it out of any repository")
    parser.add_argument("--unsigned", action="store_true",
                        help="publish without signatures (only programs set to accept unsigned "
                             "definitions take them)")
    parser.add_argument("--static", metavar="OUT",
                        help="write the newest release as static files into OUT (after publishing "
                             "when --from is given)")
    parser.add_argument("--make-key", metavar="KEYFILE",
                        help="make the key when missing, print its public key and stop")
    args = parser.parse_args(argv)
    if args.make_key:
        try:
            print(public_key_hex(load_key(args.make_key, create=True)))
        except (PublishError, OSError) as e:
            print("publish_definitions: %s" % e, file=sys.stderr)
            return 1
        return 0
    if args.data and args.static and not args.folder:
        try:
            count = write_static(args.data, args.static)
        except (PublishError, OSError) as e:
            print("publish_definitions: %s" % e, file=sys.stderr)
            return 1
        print("wrote %d update texts into %s" % (count, args.static))
        return 0
    if not args.data or not args.folder or bool(args.key) == args.unsigned:
        parser.error("--data, --from and either --key or --unsigned are needed")
    when = None
    if args.date:
        when = dr.parse_date(args.date)
        if when is None:
            print("publish_definitions: cannot read the date %r" % args.date, file=sys.stderr)
            return 2
    try:
        key = load_key(args.key, create=True) if args.key else None
        final, warnings = publish(args.data, args.folder, when, key)
    except PublishError as e:
        print("publish_definitions: nothing published:\n%s" % e, file=sys.stderr)
        return 1
    for w in warnings:
        print("publish_definitions: warning: %s" % w, file=sys.stderr)
    print("published %s as %s" % (os.path.basename(final), final))
    if args.static:
        return main(["--data", args.data, "--static", args.static])
    return 0


if __name__ == "__main__":
    sys.exit(main())
