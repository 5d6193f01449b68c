#!/usr/bin/env bash
# The program's main job on the bundled sample data: installs what it needs, builds, plants the
# harmless sample threat in a Wine prefix of its own, runs a scan and prints its report.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
build="$root/build"
WINE_ENV_PREFIX="$build/wine-demo"
source "$root/tools/wine-env.sh"
trap wine_env_stop EXIT

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target quillon quillon-cli quillon-sample-waiter sample_definitions

# A fresh application folder: the programs, the enciphered sample definitions and the sample
# exclusion list, which names one of the planted files.
app="$build/demo-app"
rm -rf "$app" && mkdir -p "$app"
cp "$build"/bin/quillon.exe "$build"/bin/quillon-cli.exe "$build"/bin/*.dat "$app/"
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
echo "The desktop program is $app/quillon.exe: WINEPREFIX=$WINEPREFIX wine64 $app/quillon.exe"
