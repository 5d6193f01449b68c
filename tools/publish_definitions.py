#!/usr/bin/env python3
"""Publishes a folder of plain-text definitions as a new release of the reference server.

    publish_definitions.py --data DIR --from FOLDER [--date "5/1/2024 9:30:00 AM"]

FOLDER holds the five files FileDefinition.txt, ExeDefinition.txt, RegistryDefinition.txt,
BlockedCookies.txt and DirectoryDefinition.txt (an empty file: no definitions of that kind),
one plain definition per line. The release is dated --date (default: now, to the second) and
must be newer than every release DIR already has. Nothing is published when a line cannot be
sent in an update text; the problems are listed on standard error.
"""
import argparse
import datetime
import os
import sys
import tempfile

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


def publish(data_dir, folder, when=None):
    """Writes the release and returns (its folder, warnings). Raises PublishError."""
    when = (when or datetime.datetime.now()).replace(microsecond=0)
    release = read_folder(folder)
    releases = dr.list_releases(data_dir)
    if releases and when <= releases[-1][0]:
        raise PublishError("release date %s is not newer than the newest release, %s" %
                           (dr.format_date(when), dr.format_date(releases[-1][0])))
    warnings = []
    if releases:
        previous = dr.program_state(dr.read_release(releases[-1][1]))
        for program_file, key in dr.changed_keys(previous, dr.program_state(release)):
            warnings.append(
                "%s: the lines of %r change while the key stays; programs updated from the "
                "previous release keep the old lines as well" % (program_file, key.decode("latin-1")))
    root = dr.releases_folder(data_dir)
    os.makedirs(root, exist_ok=True)
    final = os.path.join(root, when.strftime(dr.RELEASE_FOLDER_FORMAT))
    # Written aside and renamed, so the server never reads half a release.
    staging = tempfile.mkdtemp(prefix=".publishing-", dir=root)
    for name in dr.RELEASE_FILES:
        with open(os.path.join(staging, name), "wb") as f:
            f.write(b"".join(line + b"\r\n" for line in release[name]))
    try:
        os.rename(staging, final)
    except OSError as e:
        for name in dr.RELEASE_FILES:
            os.remove(os.path.join(staging, name))
        os.rmdir(staging)
        raise PublishError("cannot create %s: %s" % (final, e))
    return final, warnings


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--data", required=True, help="the server's data folder")
    parser.add_argument("--from", dest="folder", required=True,
                        help="folder of the five plain-text definition files")
    parser.add_argument("--date", help='release date, "M/D/YYYY h:mm:ss AM" or ISO; default now')
    args = parser.parse_args(argv)
    when = None
    if args.date:
        when = dr.parse_date(args.date)
        if when is None:
            print("publish_definitions: cannot read the date %r" % args.date, file=sys.stderr)
            return 2
    try:
        final, warnings = publish(args.data, args.folder, when)
    except PublishError as e:
        print("publish_definitions: nothing published:\n%s" % e, file=sys.stderr)
        return 1
    for w in warnings:
        print("publish_definitions: warning: %s" % w, file=sys.stderr)
    print("published %s as %s" % (os.path.basename(final), final))
    return 0


if __name__ == "__main__":
    sys.exit(main())
