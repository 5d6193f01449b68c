#!/usr/bin/env bash
# Replays every seed of fuzz/corpus once through its target of the native sanitizer build,
# outside the working tree; a sanitizer report or a broken property fails it.
#   fuzz-replay.sh [build-fuzz folder]
# Prints "Fuzz corpus replay: P passed, F failed"; exits non-zero on a failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
targets=$(cd "${1:-$root/build-fuzz}" 2>/dev/null && pwd) || { echo "no fuzz build at ${1:-$root/build-fuzz}" >&2; exit 1; }
replayed=0 failed=0
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
for corpus in "$root"/fuzz/corpus/*/; do
  t=$(basename "$corpus")
  for seed in "$corpus"*; do
    [ -f "$seed" ] || continue
    replayed=$((replayed + 1))
    if ! (cd "$dir" && "$targets/fuzz_$t" "$seed" >"$dir/last.log" 2>&1); then
      failed=$((failed + 1))
      echo "fuzz corpus: fuzz_$t fails on $seed" >&2
      grep -E 'ERROR|property failed|SUMMARY' "$dir/last.log" >&2 || true
    fi
  done
done
echo "Fuzz corpus replay: $((replayed - failed)) passed, $failed failed"
[ "$replayed" -gt 0 ] && [ "$failed" -eq 0 ]
