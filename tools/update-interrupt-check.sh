#!/usr/bin/env bash
# Kills `quillon-cli update` (kill -9) at random instants of a large signed update, then starts
# the program again against a server nobody answers, and checks that the five definition files
# and date.dat are wholly the old release or wholly the new one; then a second update must bring
# them to exactly the new release, with no line written twice.
#
#   bash tools/update-interrupt-check.sh [kills] [records] [from%]
#
# Defaults: 30 kills, 100000 records, instants spread over the whole run (from 0%); a larger
# from% puts them in the later part of a run, where the files are written and replaced.
#
# Uses the build in build/ (configure and build quillon-cli first) and its signing key.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
kills=${1:-30}
records=${2:-100000}
from_percent=${3:-0}
build="$root/build"
export WINE_ENV_PREFIX="${WINE_ENV_PREFIX:-$build/wine-interrupt}"
source "$root/tools/wine-env.sh"
source "$root/tools/reference-server-env.sh"
work="$build/interrupt-check"
rm -rf "$work" && mkdir -p "$work"
reference_server_start "$work/server" >/dev/null
trap 'reference_server_stop; wine_env_stop' EXIT

# The new release: the samples and `records` more file definitions, a day later.
release="$work/release"
cp -r "$root/samples/definitions" "$release"
python3 -c "
import sys
with open(sys.argv[1], 'ab') as f:
    for i in range(int(sys.argv[2])):
        f.write(b'interrupted%d.dll=Quillon.Sample.Interrupted|[windir]x%d|Adware\r\n' % (i, i))
" "$release/FileDefinition.txt" "$records"
python3 "$root/tools/publish_definitions.py" --data "$work/server" --from "$release" \
  --key "$QUILLON_SIGNING_KEY" --date "1/2/2030 12:00:00 AM" >/dev/null

files="FileDefinition.dat ExeDefinition.dat RegistryDefinition.dat BlockedCookies.dat DirectoryDefinition.dat date.dat"
app="$work/app" old="$work/old" new="$work/new"
mkdir -p "$app" "$old" "$new"
cp "$build"/bin/quillon-cli.exe "$app/"
cp "$build"/bin/*.dat "$old/"
printf '1/1/2030 12:00:00 AM\r\n' >"$old/date.dat"
settings='HKLM\SOFTWARE\Quillon Developers\Quillon\Settings'
wine64 reg add "$settings" /v DefinitionServer /t REG_SZ /d "$QUILLON_TEST_SERVER" /f >/dev/null 2>&1

reset_app() {
  rm -f "$app"/*.dat "$app"/*.new "$app"/update.journal
  cp "$old"/*.dat "$app/"
}
same_as() {  # same_as FOLDER: the application folder holds exactly that folder's files
  local f
  for f in $files; do cmp -s "$app/$f" "$1/$f" || return 1; done
  [ -z "$(ls "$app" | grep -E '\.new$|^update\.journal$' || true)" ]
}

# One whole update gives the new release and how long an update takes.
reset_app
start=$(date +%s%N)
wine64 "$app/quillon-cli.exe" update >"$work/first.txt" 2>&1 || { cat "$work/first.txt"; exit 1; }
took_ms=$(( ($(date +%s%N) - start) / 1000000 ))
for f in $files; do cp "$app/$f" "$new/$f"; done
lines=$(tr -d '\r' <"$new/FileDefinition.dat" | wc -l)
echo "a whole update takes ${took_ms} ms; FileDefinition.dat then has $lines lines"

wholly_old=0 wholly_new=0 failed=0
for i in $(seq 1 "$kills"); do
  reset_app
  delay_ms=$(( RANDOM * 32768 + RANDOM ))
  delay_ms=$(( took_ms * from_percent / 100 + delay_ms % (took_ms * (100 - from_percent) / 100 + 1) ))
  wine64 "$app/quillon-cli.exe" update >/dev/null 2>&1 &
  pid=$!
  sleep "$(printf '%d.%03d' $((delay_ms / 1000)) $((delay_ms % 1000)))"
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  # A start that reaches no server: it completes or discards what the killed run left.
  wine64 reg add "$settings" /v DefinitionServer /t REG_SZ /d http://127.0.0.1:1 /f >/dev/null 2>&1
  wine64 "$app/quillon-cli.exe" update >"$work/restart.txt" 2>&1 && restart=0 || restart=$?
  wine64 reg add "$settings" /v DefinitionServer /t REG_SZ /d "$QUILLON_TEST_SERVER" /f >/dev/null 2>&1
  if [ "$restart" -ne 4 ] || ! grep -q "could not be reached" "$work/restart.txt"; then
    echo "the restart reached a server: $(tr -d '\r' <"$work/restart.txt" | tail -n 1)"; failed=$((failed + 1))
  fi
  if same_as "$old"; then state=old wholly_old=$((wholly_old + 1))
  elif same_as "$new"; then state=new wholly_new=$((wholly_new + 1))
  else state=TORN failed=$((failed + 1))
  fi
  wine64 "$app/quillon-cli.exe" update >"$work/next.txt" 2>&1 || true
  if same_as "$new"; then after=new; else after="WRONG ($(tr -d '\r' <"$work/next.txt" | tail -n 1))" failed=$((failed + 1)); fi
  echo "kill $i at ${delay_ms} ms: after the restart $state; after the next update $after"
done
echo "$kills kills: $wholly_old wholly old, $wholly_new wholly new, $failed failed"
[ "$failed" -eq 0 ]
