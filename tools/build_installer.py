#!/usr/bin/env python3
"""Builds quillon.msi: stages the files, runs wixl on installer/quillon.wxs, then mends the
tables wixl 0.101 gets wrong or cannot express (msitools' msiinfo and msibuild):

- RemoveExistingProducts runs after InstallFinalize, so a major upgrade installs the new
  version first and only then removes the old one: what both versions share (the program's
  files, its settings, the live definition files beside it) is never taken away on the way.
- Custom actions: immediate ones lose the in-script bits wixl gives them, the program's
  uninstall step runs right after InstallInitialize, while its files are still there, and the
  step that closes the running program runs right before InstallValidate, once the folders are
  known (wixl puts an action "before" another anywhere before it, even ahead of CostFinalize).
- RemoveFile rows take the definition files the programs keep beside themselves (the live set
  Live Update changes) when the program is removed, and never on an upgrade.
- A rebuild of the same version upgrades the installed copy rather than installing beside it.
- The server properties an administrator passes are marked secure.

Usage: build_installer.py --bin build/bin --out build/quillon.msi --version 1.0.0 \
         --company "Quillon Developers" --website quillon.example \
         --definition-server URL --data-server URL --definitions-date "1/1/2030 12:00:00 AM"
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
DEFINITION_FILES = ["RegistryDefinition.dat", "FileDefinition.dat", "DirectoryDefinition.dat",
                    "ExeDefinition.dat", "BlockedCookies.dat"]

# Custom action type bits (the Windows Installer's numbers).
TYPE_IN_SCRIPT_BITS = 0x400 | 0x800 | 0x100 | 0x200  # in-script, no impersonate, once-per-process bits


def run(cmd, **kw):
    r = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, **kw)
    if r.returncode != 0:
        sys.exit("%s failed (%d):\n%s%s" % (cmd[0], r.returncode, r.stdout, r.stderr))
    return r.stdout


def export_table(msi, table, work):
    text = run(["msiinfo", "export", msi, table])
    lines = text.split("\n")
    # Three header lines (names, types, table and keys), then one row per line.
    return lines[:3], [l.split("\t") for l in lines[3:] if l]


def import_table(msi, table, header, rows, work):
    path = os.path.join(work, table + ".idt")
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(header + ["\t".join(r) for r in rows]) + "\r\n")
    run(["msibuild", msi, "-i", path])
    # msibuild replaces the table; check it did, a silent append would leave wixl's rows.
    _, back = export_table(msi, table, work)
    if sorted(map(tuple, back)) != sorted(map(tuple, rows)):
        sys.exit("msibuild did not replace the %s table" % table)


def mend(msi, work):
    header, rows = export_table(msi, "InstallExecuteSequence", work)
    seq = {r[0]: int(r[2]) for r in rows}
    placed = {"RemoveExistingProducts": seq["InstallFinalize"] + 1,
              "ProgramUninstall": seq["InstallInitialize"] + 1,
              "CloseRunningPrograms": seq["InstallValidate"] - 1}
    taken = {n for a, n in seq.items() if a not in placed}
    if any(n in taken for n in placed.values()) or placed["CloseRunningPrograms"] <= seq["CostFinalize"]:
        sys.exit("InstallExecuteSequence: no free place for %s" % ", ".join(placed))
    for r in rows:
        if r[0] in placed:
            r[2] = str(placed[r[0]])
    import_table(msi, "InstallExecuteSequence", header, rows, work)

    header, rows = export_table(msi, "CustomAction", work)
    for r in rows:
        r[1] = str(int(r[1]) & ~TYPE_IN_SCRIPT_BITS)
    import_table(msi, "CustomAction", header, rows, work)

    header, rows = export_table(msi, "RemoveFile", work)
    # InstallMode 2: when the component is removed. The program's own component is kept on an
    # upgrade (the new version shares it), so an upgrade keeps the live definitions.
    # Each file by name (some installers, Wine's among them, take no wildcards), then the
    # wildcards for whatever else the program keeps there under those endings.
    live = DEFINITION_FILES + ["date.dat", "temp.dat"]
    # The update's journal (written aside as ".new", then put in place) goes with the files.
    names = live + [n + ".new" for n in live] + ["DL" + n for n in DEFINITION_FILES]
    names += ["update.journal", "update.journal.new"]
    # The lock the programs take on the definition set; nothing of it is worth keeping.
    names += ["Definitions.lock"]
    for i, name in enumerate(names):
        rows.append(["LiveFile%d" % i, "QuillonExe", "QL%06d.DAT|%s" % (i, name), "INSTALLDIR", "2"])
    rows.append(["LiveDefinitions", "QuillonExe", "*.dat", "INSTALLDIR", "2"])
    rows.append(["LiveDefinitionScratch", "QuillonExe", "*.new", "INSTALLDIR", "2"])
    import_table(msi, "RemoveFile", header, rows, work)

    # A rebuild of the same version replaces the installed copy instead of installing beside it.
    header, rows = export_table(msi, "Upgrade", work)
    for r in rows:
        if r[6] == "WIX_UPGRADE_DETECTED":
            r[4] = str(int(r[4]) | 0x200)  # the maximum version counts as an earlier one
    import_table(msi, "Upgrade", header, rows, work)

    header, rows = export_table(msi, "Property", work)
    for r in rows:
        if r[0] == "SecureCustomProperties":
            r[1] += ";DEFINITIONSERVER;DATASERVER;MACHINEDEFINITIONSERVER;MACHINEDATASERVER"
    import_table(msi, "Property", header, rows, work)


def main():
    a = argparse.ArgumentParser()
    a.add_argument("--bin", required=True, help="folder of the built programs and definitions")
    a.add_argument("--out", required=True)
    a.add_argument("--version", required=True, help="major.minor.build")
    a.add_argument("--company", required=True)
    a.add_argument("--website", required=True)
    a.add_argument("--definition-server", required=True)
    a.add_argument("--data-server", required=True)
    a.add_argument("--definitions-date", required=True)
    o = a.parse_args()
    for tool in ("wixl", "msiinfo", "msibuild"):
        if not shutil.which(tool):
            sys.exit("%s is missing: run tools/setup.sh" % tool)
    with tempfile.TemporaryDirectory(prefix="quillon-msi-") as work:
        stage = os.path.join(work, "stage")
        os.makedirs(os.path.join(stage, "shipped"))
        for exe in ("quillon.exe", "quillon-cli.exe", "quillon-installer-actions.dll"):
            shutil.copy(os.path.join(o.bin, exe), stage)
        for name in DEFINITION_FILES:
            shutil.copy(os.path.join(o.bin, name), os.path.join(stage, "shipped"))
        with open(os.path.join(stage, "shipped", "date.dat"), "w", newline="") as f:
            f.write(o.definitions_date + "\r\n")
        with open(os.path.join(ROOT, "docs", "help.txt"), "rb") as f:
            help_text = f.read().replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
        with open(os.path.join(stage, "Quillon Help.txt"), "wb") as f:
            f.write(help_text)
        shutil.copy(os.path.join(ROOT, "app", "quillon.ico"), stage)
        shutil.copy(os.path.join(ROOT, "installer", "quillon.wxs"), stage)
        msi = os.path.join(work, "quillon.msi")
        defines = {"Version": o.version, "Company": o.company, "WebSite": o.website,
                   "DefinitionServer": o.definition_server, "DataServer": o.data_server}
        cmd = ["wixl", "-a", "x64", "-o", msi]
        for k, v in defines.items():
            cmd += ["-D", "%s=%s" % (k, v)]
        run(cmd + ["quillon.wxs"], cwd=stage)
        mend(msi, work)
        os.makedirs(os.path.dirname(os.path.abspath(o.out)), exist_ok=True)
        shutil.move(msi, o.out + ".part")
        os.replace(o.out + ".part", o.out)


if __name__ == "__main__":
    main()
