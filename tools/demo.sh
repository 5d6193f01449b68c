#!/usr/bin/env bash
# The program's main job on the bundled sample data: installs what it needs, builds, installs the
# built installer silently into a Wine prefix of its own and runs the installed copy: its
# self-test, then it plants the harmless sample threat, scans it, removes what was found into the
# quarantine, scans again to show it gone, lists the quarantine and restores the desktop shortcut.
# Last, it uninstalls the program silently.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
build="$root/build"
mkdir -p "$build"
# Everything the demo plants stays in its prefix: the host's home is listed before and after.
ls -A "$HOME" | grep -v '^\.' >"$build/demo-home-before.txt" || true
WINE_ENV_PREFIX="$build/wine-demo"
source "$root/tools/wine-env.sh"
trap wine_env_stop EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quillon quillon-cli quillon-sample-waiter sample_definitions installer

# The program as a user gets it: the installer, run silently as a script would. A copy left by an
# earlier run goes first, quarantine and all, so every run starts from the same machine.
company=$(sed -n 's/^QUILLON_COMPANY:[A-Z]*=//p' "$build/CMakeCache.txt")
app="$WINEPREFIX/drive_c/Program Files/$company/Quillon"
listing="$build/demo-installed.txt"
wine64 uninstaller --list >"$listing" 2>/dev/null </dev/null || true
for code in $(tr -d '\r' <"$listing" | sed -n 's/^\({[^}]*}\)|||Quillon$/\1/p'); do
  wine64 msiexec /x "$code" /qn >/dev/null 2>&1 </dev/null || true
done
rm -rf "$app"
echo "== msiexec /i quillon.msi /qn (a silent install) =="
set +e
wine64 msiexec /i "$(winpath "$build/quillon.msi")" /qn >/dev/null 2>&1 </dev/null
rc=$?
set -e
echo "== exit code $rc (0: installed) into C:\\Program Files\\$company\\Quillon =="
[ "$rc" -eq 0 ] || exit 1
echo
echo "== quillon-cli selftest (harmless samples of its own: planted, found, removed, restored, removed, cleaned up) =="
set +e
wine64 "$app/quillon-cli.exe" selftest
rc=$?
set -e
echo "== exit code $rc (0: every step held) =="
echo
# The sample exclusion list names one of the planted files.
cp "$root/samples/ENoSignature.txt" "$app/"
# The sample threat: files, folders, registry entries, and a waiting program started from a
# folder that a definition names.
wine64 cmd /c "$(winpath "$root/samples/plant-sample-threat.bat")" \
  "$(winpath "$build/bin/quillon-sample-waiter.exe")" >/dev/null 2>&1
sleep 1

echo "== quillon-cli scan (the same run as the Start button) =="
set +e
wine64 "$app/quillon-cli.exe" scan
rc=$?
set -e
echo "== exit code $rc (1: something was found) =="
echo
echo "== Scan_Log.txt =="
tr -d '\r' < "$app/Scan_Log.txt"
echo
echo "== quillon-cli --yes scan --remove (Select All, then Delete, answered Yes) =="
set +e
wine64 "$app/quillon-cli.exe" --yes scan --remove
rc=$?
set -e
echo "== exit code $rc (1: found and all of it removed; 3: something could not be removed) =="
echo
echo "== quillon-cli scan (again: what is left) =="
set +e
wine64 "$app/quillon-cli.exe" scan
rc=$?
set -e
echo "== exit code $rc (0: nothing found) =="
echo
echo "== quillon-cli quarantine list =="
# Wine's output goes to a file, never into a pipe: its helper processes would hold a pipe open.
listing="$build/demo-quarantine.txt"
wine64 "$app/quillon-cli.exe" quarantine list >"$listing"
tr -d '\r' < "$listing"
echo
echo "== quarantine/QuarantineLog.txt =="
tr -d '\r' < "$app/quarantine/QuarantineLog.txt"
# The shortcut on the desktop: its folder is still there to go back to. (A file whose folder
# was removed with it stays in the quarantine: a restore never makes up a folder that is gone.)
first=$(tr -d '\r' < "$listing" | awk -F'\t' '$3 == "file" && $4 ~ /Desktop/' | head -n 1 | cut -f1,4)
if [ -n "$first" ]; then
  echo "== quillon-cli quarantine restore ${first%%$'\t'*} (puts ${first#*$'\t'} back) =="
  wine64 "$app/quillon-cli.exe" quarantine restore "${first%%$'\t'*}" || true
fi
echo

# Live Update: nginx on this machine serves the definition releases as static files, the way a
# publisher puts them on any web server. A newer release names one more threat, signed with the
# throw-away key this build made (build/definition-signing-key.pem) and whose public key it built
# into the program. A copy of the update altered on the server is refused with nothing changed;
# the genuine one is applied, and the next scan finds what only the new definitions name.
source "$root/tools/publisher-env.sh"
publisher_start "$build/demo-server" >/dev/null  # a fresh release history each time
trap 'publisher_stop; wine_env_stop' EXIT
publisher_release "$root/samples/definitions" "1/1/2030 12:00:00 AM"
newer="$build/demo-release"
rm -rf "$newer" && cp -r "$root/samples/definitions" "$newer"
printf 'late-arrival.txt=Quillon.Sample.LateArrival|[drive]QuillonLate|Adware\r\n' >>"$newer/FileDefinition.txt"
publisher_release "$newer" "1/2/2030 12:00:00 AM"
wine64 reg add 'HKLM\SOFTWARE\Quillon Developers\Quillon\Settings' /v DefinitionServer /t REG_SZ \
  /d "$QUILLON_PUBLISHER" /f >/dev/null 2>&1
wine64 cmd /c 'if not exist C:\QuillonLate mkdir C:\QuillonLate' >/dev/null 2>&1
wine64 cmd /c 'echo arrived late> C:\QuillonLate\late-arrival.txt' >/dev/null 2>&1
# The definitions installed with the program are the sample release of 1/1/2030.
printf '1/1/2030 12:00:00 AM\r\n' >"$app/date.dat"
# The served copy of the update is altered: one more record, which deletes the sample's cookie
# definition. The publisher's signature no longer matches it.
prepared="$QUILLON_PUBLISHER_TREE/updates/1-1-2030_12-00-00_AM.txt"
cp "$prepared" "$build/demo-genuine-update.txt"
python3 -c "
import sys; sys.path.insert(0, sys.argv[2]); import definition_releases as dr
open(sys.argv[1], 'ab').write(b'[BR]' + dr.del_record(b'COOK', b'tracker.quillon-sample.example'))" \
  "$prepared" "$root/tools"
checksums() { (cd "$app" && sha256sum FileDefinition.dat ExeDefinition.dat RegistryDefinition.dat \
  BlockedCookies.dat DirectoryDefinition.dat date.dat); }
checksums >"$build/demo-before.txt"
echo "== quillon-cli update (the update on the server was altered after it was signed) =="
set +e
wine64 "$app/quillon-cli.exe" update
rc=$?
set -e
echo "== exit code $rc (4: the update could not be used) =="
checksums >"$build/demo-after.txt"
if cmp -s "$build/demo-before.txt" "$build/demo-after.txt"; then
  echo "== the five definition files and date.dat are byte for byte as before =="
else
  echo "== the definition files CHANGED: =="; diff "$build/demo-before.txt" "$build/demo-after.txt" || true
fi
echo
cp "$build/demo-genuine-update.txt" "$prepared"
echo "== quillon-cli update (Live Update from nginx at $QUILLON_PUBLISHER, signed) =="
set +e
wine64 "$app/quillon-cli.exe" update
rc=$?
set -e
echo "== exit code $rc (0: updated or already current; 4: the server could not be reached or its answer could not be used) =="
echo
echo "== quillon-cli scan (with the new definitions) =="
set +e
wine64 "$app/quillon-cli.exe" scan
rc=$?
set -e
echo "== exit code $rc (1: found: the threat only the new definitions name, and the shortcut restored above) =="
echo
echo "== msiexec /x quillon.msi /qn (a silent uninstall: the quarantine stays) =="
set +e
wine64 msiexec /x "$(winpath "$build/quillon.msi")" /qn >/dev/null 2>&1 </dev/null
rc=$?
set -e
echo "== exit code $rc (0: uninstalled); left in the program's folder: $(ls "$app" 2>/dev/null | tr '\n' ' ') =="
echo
echo "The installer is $build/quillon.msi: WINEPREFIX=$WINEPREFIX wine64 msiexec /i $build/quillon.msi"

ls -A "$HOME" | grep -v '^\.' >"$build/demo-home-after.txt" || true
if diff "$build/demo-home-before.txt" "$build/demo-home-after.txt" >/dev/null; then
  echo "== the host's home folder $HOME is as it was =="
else
  echo "== the demo changed the host's home folder $HOME: ==" >&2
  diff "$build/demo-home-before.txt" "$build/demo-home-after.txt" >&2 || true
  exit 1
fi
