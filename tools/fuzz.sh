#!/usr/bin/env bash
# Fuzzes the parsers: tools/fuzz.sh MINUTES [target...]  (all targets when none is named).
# Each target runs for MINUTES over the repository's seeds; what it finds new goes to a
# scratch corpus outside the repository (QUILLON_FUZZ_SCRATCH, default /tmp/quillon-fuzz), so
# later runs start from there. Crashes are saved beside it and printed; the exit code is 1 when
# any target crashed. Copy an input worth keeping into fuzz/corpus/<target>/ by hand.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
minutes=${1:?usage: tools/fuzz.sh MINUTES [target...]}
shift
build=${QUILLON_FUZZ_BUILD:-$root/build-fuzz}
scratch=${QUILLON_FUZZ_SCRATCH:-${TMPDIR:-/tmp}/quillon-fuzz}
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=($(ls "$root/fuzz/corpus"))

bash "$root/tools/setup.sh"
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build"

crashed=0
for t in "${targets[@]}"; do
  bin="$build/fuzz_$t"
  [ -x "$bin" ] || { echo "no fuzz target '$t'" >&2; exit 2; }
  corpus="$scratch/$t/corpus" artifacts="$scratch/$t/crashes" log="$scratch/$t/last-run.log"
  mkdir -p "$corpus" "$artifacts"
  before=$(ls "$artifacts" | wc -l)
  dict=()
  [ -f "$root/fuzz/$t.dict" ] && dict=(-dict="$root/fuzz/$t.dict")
  # Never from inside the repository: a target must not be able to touch the working tree.
  set +e
  (cd "$scratch/$t" && "$bin" -max_total_time=$((minutes * 60)) -timeout=10 -rss_limit_mb=2048 \
     -print_final_stats=1 -artifact_prefix="$artifacts/" "${dict[@]}" "$corpus" "$root/fuzz/corpus/$t" >"$log" 2>&1)
  rc=$?
  set -e
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -1 || true)
  echo "fuzz $t: ${minutes} min, $execs executions, ${cov:-cov: ?}, corpus $(ls "$corpus" | wc -l) files, exit $rc"
  if [ "$rc" -ne 0 ] || [ "$(ls "$artifacts" | wc -l)" -gt "$before" ]; then
    crashed=1
    grep -E 'ERROR|property failed|SUMMARY|^    #[0-9]+ ' "$log" | head -30
    ls -t "$artifacts" | head -5 | sed "s|^|  crash: $artifacts/|"
  fi
done
exit "$crashed"
