#!/usr/bin/env bash
# The whole test suite on a fresh machine: installs what it needs, builds the 64-bit product
# with its tests, the 32-bit product as a compile check and the engine natively with the
# sanitizers, then runs every test through one runner (CTest): the unit tests and the window
# tests under Wine, the layer check, the tools' tests, the fuzz seeds and the installer. Ends
# with one summary.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build"

if [ -z "${QUILLON_TEST_DISPLAY_READY:-}" ]; then
  bash "$root/tools/setup.sh"
  # The window tests need a display, and Wine picks its display driver when its first process
  # starts: the whole run goes on a virtual display of its own, on a number nobody else uses,
  # large enough for the main window laid out at 144 DPI.
  if [ -z "${DISPLAY:-}" ]; then
    export QUILLON_TEST_DISPLAY_READY=1
    exec xvfb-run -a -s "-screen 0 1600x1200x24 -nolisten tcp" bash "$0" "$@"
  fi
fi

# Nothing a test plants may reach the host's home: what is there is listed before and after.
home_before=$(mktemp)
ls -A "$HOME" | grep -v '^\.' >"$home_before" || true

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw64.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake -S "$root" -B "$build-i686" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw32.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DQUILLON_TESTS=OFF >/dev/null

# Each run gets a new prefix: tests use the real registry and file system of that machine.
WINE_ENV_PREFIX="$build/wine-test"
rm -rf "$WINE_ENV_PREFIX"
source "$root/tools/wine-env.sh"
# The definition and data server for the tests that talk to one: the sample release of 1/1/2030
# served from a static tree by nginx, as a publisher serves it.
source "$root/tools/publisher-env.sh"
cmake --build "$build"
publisher_start "$build/test-server"
publisher_release "$root/samples/definitions" "1/1/2030 12:00:00 AM"
cleanup() {
  publisher_stop
  wine_env_stop
}
trap cleanup EXIT
# The engine natively with the sanitizers, for the fuzz seeds.
cmake -S "$root/fuzz" -B "$root/build-fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$root/build-fuzz"
echo "== 32-bit compile check =="
cmake --build "$build-i686" --target quillon quillon-cli

results="$build/test-results"
rm -rf "$results" && mkdir -p "$results"
set +e
GTEST_OUTPUT="xml:$(winpath "$results")\\" ctest --test-dir "$build" --output-on-failure 2>&1 | tee "$build/ctest.log"
rc=${PIPESTATUS[0]}
set -e

home_after=$(mktemp)
ls -A "$HOME" | grep -v '^\.' >"$home_after" || true
if ! diff "$home_before" "$home_after" >/dev/null; then
  echo "The tests changed the host's home folder $HOME:" >&2
  diff "$home_before" "$home_after" >&2 || true
  rc=1
fi
rm -f "$home_before" "$home_after"

# The summary: the runner's own line, and the cases its tests ran (the Wine suites' from their
# reports, the others' from the line each prints).
passed=0 failed=0
for f in "$results"/*.xml; do
  [ -f "$f" ] || continue
  t=$(grep -o '<testsuites [^>]*' "$f" | grep -o ' tests="[0-9]*"' | grep -o '[0-9]*')
  x=$(grep -o '<testsuites [^>]*' "$f" | grep -o ' failures="[0-9]*"' | grep -o '[0-9]*')
  d=$(grep -o '<testsuites [^>]*' "$f" | grep -o ' disabled="[0-9]*"' | grep -o '[0-9]*')
  passed=$((passed + t - x - ${d:-0})) failed=$((failed + x))
done
# The runner's log holds every test's whole output, passing ones included.
log="$build/Testing/Temporary/LastTest.log"
while read -r p f; do
  passed=$((passed + p)) failed=$((failed + f))
done < <(sed -n 's/^\(Layer check tests\|Installer tests\|Publisher tests\|Fuzz corpus replay\): \([0-9]*\) passed, \([0-9]*\) failed.*/\2 \3/p' "$log")
py_ran=$(sed -n 's/^Ran \([0-9]*\) tests\? in .*/\1/p' "$log" | tail -n 1)
py_failed=0
for n in $(grep -o '^FAILED (\(failures\|errors\)=[0-9]*\(, \(failures\|errors\)=[0-9]*\)*' "$log" | grep -o '[0-9]*'); do
  py_failed=$((py_failed + n))
done
passed=$((passed + ${py_ran:-0} - py_failed)) failed=$((failed + py_failed))
echo "== summary =="
grep -E '^[0-9]+% tests passed' "$build/ctest.log" || echo "the test runner gave no summary"
echo "Test cases: $passed passed, $failed failed"
[ "$failed" -eq 0 ] || rc=1
exit "$rc"
