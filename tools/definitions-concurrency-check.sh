#!/usr/bin/env bash
# Two programs at once over one definition set, against a definition server on this machine
# with a large signed release: `rounds` times two `quillon-cli update` started together, and
# `rounds` times a `quillon-cli scan` started at a random instant of an update (or up to half an
# update's time before it, so that the update comes during the scan). After each round
# the five definition files and date.dat must be wholly the old release or wholly the new one
# (here always the new one: both updates end), with nothing staged or recorded left over; and
# the scan must have seen one whole set, the old one's findings or the new one's, never some of
# each.
#
#   bash tools/definitions-concurrency-check.sh [rounds] [records]
#
# Defaults: 20 rounds of each, 100000 more file definitions in the new release. Uses the build
# in build/ (configure and build quillon-cli first) and its signing key.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-20}
records=${2:-100000}
build="$root/build"
export WINE_ENV_PREFIX="${WINE_ENV_PREFIX:-$build/wine-concurrency}"
source "$root/tools/wine-env.sh"
source "$root/tools/reference-server-env.sh"
work="$build/concurrency-check"
rm -rf "$work" && mkdir -p "$work"
reference_server_start "$work/server" >/dev/null
settings='HKLM\SOFTWARE\Quillon Developers\Quillon\Settings'
cleanup() {
  reference_server_stop
  wine64 reg delete 'HKCU\Software\QuillonMixOld' /f >/dev/null 2>&1 || true
  wine64 reg delete 'HKCU\Software\QuillonMixNew' /f >/dev/null 2>&1 || true
  wine64 cmd /c 'rmdir /s /q C:\QuillonMixCheck' >/dev/null 2>&1 || true
  wine_env_stop
}
trap cleanup EXIT
wine64 reg add "$settings" /v DefinitionServer /t REG_SZ /d "$QUILLON_TEST_SERVER" /f >/dev/null 2>&1

# Each release names one file and one key of its own, both planted: a scan's findings say which
# set it read.
wine64 cmd /c 'mkdir C:\QuillonMixCheck & echo x> C:\QuillonMixCheck\mix-old.txt & echo x> C:\QuillonMixCheck\mix-new.txt' \
  >/dev/null 2>&1
wine64 reg add 'HKCU\Software\QuillonMixOld' /v v /t REG_SZ /d x /f >/dev/null 2>&1
wine64 reg add 'HKCU\Software\QuillonMixNew' /v v /t REG_SZ /d x /f >/dev/null 2>&1
release() {  # release FOLDER WHICH
  cp -r "$root/samples/definitions" "$1"
  printf 'mix-%s.txt=Quillon.Mix.%sFile|[drive]QuillonMixCheck|Adware\r\n' "$2" "$2" >>"$1/FileDefinition.txt"
  printf '1^Software\\QuillonMix%s^=Quillon.Mix.%sKey|Adware\r\n' "${2^}" "$2" >>"$1/RegistryDefinition.txt"
}
release "$work/old-release" old
release "$work/new-release" new
python3 -c "
import sys
with open(sys.argv[1], 'ab') as f:
    for i in range(int(sys.argv[2])):
        f.write(b'concurrent%d.dll=Quillon.Sample.Concurrent|[windir]x%d|Adware\r\n' % (i, i))
" "$work/new-release/FileDefinition.txt" "$records"

files="FileDefinition.dat ExeDefinition.dat RegistryDefinition.dat BlockedCookies.dat DirectoryDefinition.dat date.dat"
app="$work/app" old="$work/old" new="$work/new"
mkdir -p "$app" "$old" "$new"
cp "$build"/bin/quillon-cli.exe "$app/"
reset_app() {
  rm -f "$app"/*.dat "$app"/*.new "$app"/update.journal
  cp "$old"/* "$app/"
}
same_as() {  # same_as FOLDER: the application folder holds exactly that folder's files
  local f
  for f in $files; do cmp -s "$app/$f" "$1/$f" || return 1; done
  [ -z "$(ls "$app" | grep -E '\.new$|^update\.journal$' || true)" ]
}
# The old set: the old release as a program holds it, taken from the server by an update.
python3 "$root/tools/publish_definitions.py" --data "$work/server" --from "$work/old-release" \
  --key "$QUILLON_SIGNING_KEY" --date "1/1/2030 12:00:01 AM" >/dev/null
wine64 "$app/quillon-cli.exe" update >"$work/first.txt" 2>&1 || { cat "$work/first.txt"; exit 1; }
for f in $files; do cp "$app/$f" "$old/$f"; done
python3 "$root/tools/publish_definitions.py" --data "$work/server" --from "$work/new-release" \
  --key "$QUILLON_SIGNING_KEY" --date "1/2/2030 12:00:00 AM" >/dev/null
reset_app
start=$(date +%s%N)
wine64 "$app/quillon-cli.exe" update >"$work/first.txt" 2>&1 || { cat "$work/first.txt"; exit 1; }
took_ms=$(( ($(date +%s%N) - start) / 1000000 ))
for f in $files; do cp "$app/$f" "$new/$f"; done
echo "a whole update takes ${took_ms} ms; FileDefinition.dat then has $(tr -d '\r' <"$new/FileDefinition.dat" | wc -l) lines"

seen_set() {  # seen_set SCAN-OUTPUT: old, new, or MIXED/NONE
  local o n
  o=$(grep -c -E '^Quillon\.Mix\.old(File|Key)'$'\t' "$1" || true)
  n=$(grep -c -E '^Quillon\.Mix\.new(File|Key)'$'\t' "$1" || true)
  if [ "$o" -eq 2 ] && [ "$n" -eq 0 ]; then echo old
  elif [ "$n" -eq 2 ] && [ "$o" -eq 0 ]; then echo new
  else echo "MIXED ($o old, $n new)"
  fi
}

together_ok=0 scans_old=0 scans_new=0 failed=0
for i in $(seq 1 "$rounds"); do
  reset_app
  wine64 "$app/quillon-cli.exe" update >"$work/a.txt" 2>&1 & a=$!
  wine64 "$app/quillon-cli.exe" update >"$work/b.txt" 2>&1 & b=$!
  wait "$a" && ra=0 || ra=$?
  wait "$b" && rb=0 || rb=$?
  if [ "$ra" -eq 0 ] && [ "$rb" -eq 0 ] && same_as "$new"; then
    together_ok=$((together_ok + 1)); state=new
  else
    failed=$((failed + 1)); state="WRONG (exit codes $ra and $rb; $(same_as "$old" && echo wholly old || echo torn))"
  fi
  echo "updates together $i: $state"
done
pause() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }
for i in $(seq 1 "$rounds"); do
  reset_app
  offset_ms=$(( (RANDOM * 32768 + RANDOM) % (took_ms * 3 / 2 + 1) - took_ms / 2 ))
  if [ "$offset_ms" -ge 0 ]; then
    wine64 "$app/quillon-cli.exe" update >"$work/u.txt" 2>&1 & u=$!
    pause "$offset_ms"
    wine64 "$app/quillon-cli.exe" scan >"$work/s.txt" 2>"$work/s-err.txt" && rs=0 || rs=$?
    wait "$u" && ru=0 || ru=$?
    when="${offset_ms} ms into"
  else
    wine64 "$app/quillon-cli.exe" scan >"$work/s.txt" 2>"$work/s-err.txt" & s=$!
    pause $(( -offset_ms ))
    wine64 "$app/quillon-cli.exe" update >"$work/u.txt" 2>&1 && ru=0 || ru=$?
    wait "$s" && rs=0 || rs=$?
    when="$(( -offset_ms )) ms before"
  fi
  seen=$(seen_set "$work/s.txt")
  case "$seen" in old) scans_old=$((scans_old + 1)) ;; new) scans_new=$((scans_new + 1)) ;; *) failed=$((failed + 1)) ;; esac
  if [ "$ru" -ne 0 ] || [ "$rs" -ne 1 ] || ! same_as "$new"; then
    failed=$((failed + 1)); seen="$seen; WRONG (update $ru, scan $rs)"
  fi
  echo "scan $i started $when an update: it saw the $seen set"
done
echo "$rounds rounds each: $together_ok of $rounds pairs of updates ended wholly new;" \
  "scans saw $scans_old wholly old and $scans_new wholly new sets; $failed failed"
[ "$failed" -eq 0 ]
