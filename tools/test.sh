#!/usr/bin/env bash
# The whole test suite on a fresh machine: installs what it needs, builds the 64-bit product
# with its tests and the 32-bit product as a compile check, runs every test under Wine (the GUI
# tests on a virtual display), replays the fuzz targets' seed corpora on the native sanitizer
# build and prints a summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/tools/setup.sh"
# Nothing a test plants may reach the host's home: what is there is listed before and after.
home_before=$(mktemp)
ls -A "$HOME" | grep -v '^\.' >"$home_before" || true
bash "$root/tools/check-layers.sh"
# The layer check must fail on includes planted outside the table; counted with the other tests.
layers_log=$(mktemp)
bash "$root/tools/tests/check_layers_test.sh" >"$layers_log" 2>&1 || cat "$layers_log"
layers_passed=$(sed -n 's/^Layer check tests: \([0-9]*\) passed.*/\1/p' "$layers_log")
layers_failed=$(sed -n 's/^Layer check tests: .*passed, \([0-9]*\) failed.*/\1/p' "$layers_log")
[ -n "$layers_passed" ] || layers_passed=0 layers_failed=1
rm -f "$layers_log"
build="$root/build"

# The reference server's tests need only python3; they run first and from outside the worktree.
echo "== reference server tests =="
py_log=$(mktemp)
set +e
(cd /tmp && python3 -m unittest discover -s "$root/tools/tests" -t "$root/tools/tests") >"$py_log" 2>&1
py_rc=$?
set -e
tail -n 3 "$py_log"
py_run=$(grep -o '^Ran [0-9]*' "$py_log" | grep -o '[0-9]*' || echo 0)
py_failed=0
for n in $(grep -o '\(failures\|errors\)=[0-9]*' "$py_log" | grep -o '[0-9]*'); do
  py_failed=$((py_failed + n))
done
[ "$py_rc" -ne 0 ] && [ "$py_failed" -eq 0 ] && py_failed=1
[ "$py_rc" -ne 0 ] && cat "$py_log"
rm -f "$py_log"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake -S "$root" -B "$build-i686" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF >/dev/null

# The GUI tests need a display, and Wine picks its display driver when its first process starts:
# the virtual display comes before the prefix.
xvfb_pid=""
if [ -z "${DISPLAY:-}" ]; then
  display=:$((90 + RANDOM % 100))
  Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  export DISPLAY=$display
  sleep 1
fi

# Each run gets a new prefix: tests use the real registry and file system of that machine.
WINE_ENV_PREFIX="$build/wine-test"
rm -rf "$WINE_ENV_PREFIX"
source "$root/tools/wine-env.sh"
# The reference definition and data server, for the tests that talk to a server.
source "$root/tools/reference-server-env.sh"
reference_server_start "$build/reference-server"
cleanup() {
  reference_server_stop
  wine_env_stop
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

cmake --build "$build"
# The engine natively with the sanitizers: every fuzz target replays its seed corpus.
cmake -S "$root/fuzz" -B "$root/build-fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$root/build-fuzz"
echo "== 32-bit compile check =="
cmake --build "$build-i686" --target quillon quillon-cli

results="$build/test-results"
rm -rf "$results" && mkdir -p "$results"
set +e
GTEST_OUTPUT="xml:$(winpath "$results")\\" ctest --test-dir "$build" --output-on-failure
rc=$?
set -e
passed=$((py_run - py_failed + layers_passed)) failed=$((py_failed + layers_failed))
for f in "$results"/*.xml; do
  [ -f "$f" ] || continue
  t=$(grep -o '<testsuites [^>]*' "$f" | grep -o ' tests="[0-9]*"' | grep -o '[0-9]*')
  x=$(grep -o '<testsuites [^>]*' "$f" | grep -o ' failures="[0-9]*"' | grep -o '[0-9]*')
  d=$(grep -o '<testsuites [^>]*' "$f" | grep -o ' disabled="[0-9]*"' | grep -o '[0-9]*')
  passed=$((passed + t - x - ${d:-0}))
  failed=$((failed + x))
done
[ "$rc" -ne 0 ] && [ "$failed" -eq 0 ] && failed=1
[ "$rc" -eq 0 ] && rc=$py_rc
[ "$layers_failed" -eq 0 ] || rc=1
home_after=$(mktemp)
ls -A "$HOME" | grep -v '^\.' >"$home_after" || true
if ! diff "$home_before" "$home_after" >/dev/null; then
  echo "The tests changed the host's home folder $HOME:" >&2
  diff "$home_before" "$home_after" >&2 || true
  failed=$((failed + 1)) rc=1
fi
rm -f "$home_before" "$home_after"
echo "Quillon tests: $passed passed, $failed failed"

# The installer in a Wine prefix of its own: install, upgrade, uninstall.
echo "== installer tests =="
inst_log="$build/installer-tests.txt"
set +e
bash "$root/tools/test_installer.sh" "$build" >"$inst_log" 2>&1
inst_rc=$?
set -e
cat "$inst_log"
inst_line=$(grep '^Installer tests: ' "$inst_log" | tail -n 1 || true)
inst_passed=$(echo "$inst_line" | sed -n 's/^Installer tests: \([0-9]*\) passed.*/\1/p')
inst_failed=$(echo "$inst_line" | sed -n 's/.*passed, \([0-9]*\) failed.*/\1/p')
[ "$inst_rc" -ne 0 ] && [ "${inst_failed:-0}" -eq 0 ] && inst_failed=1
passed=$((passed + ${inst_passed:-0})) failed=$((failed + ${inst_failed:-0}))
[ "$inst_rc" -ne 0 ] && rc=1
echo "Installer tests: ${inst_passed:-0} passed, ${inst_failed:-0} failed"
echo "Total: $passed passed, $failed failed"

# Each seed once, outside the working tree; a sanitizer report or a broken property fails it.
replayed=0 replay_failed=0
replay_dir=$(mktemp -d)
for corpus in "$root"/fuzz/corpus/*/; do
  t=$(basename "$corpus")
  for seed in "$corpus"*; do
    [ -f "$seed" ] || continue
    replayed=$((replayed + 1))
    if ! (cd "$replay_dir" && "$root/build-fuzz/fuzz_$t" "$seed" >"$replay_dir/last.log" 2>&1); then
      replay_failed=$((replay_failed + 1))
      echo "fuzz corpus: fuzz_$t fails on $seed" >&2
      grep -E 'ERROR|property failed|SUMMARY' "$replay_dir/last.log" >&2 || true
    fi
  done
done
rm -rf "$replay_dir"
echo "Fuzz corpus replay: $((replayed - replay_failed)) passed, $replay_failed failed"
[ "$replay_failed" -eq 0 ] || rc=1
exit "$rc"
