#!/usr/bin/env bash
# Starts two `quillon-cli --yes scan --remove` at the same moment over one planted set of
# threats (files, folders, registry values and whole keys), round after round, and checks the
# quarantine they share: every item went in once, no id is on two index lines, and restoring
# every new id brings each item back (the files byte for byte, the registry items as a scan
# finds them again). The restored items are the next round's threats.
#
#   bash tools/removal-race-check.sh [rounds]
#
# Default 20 rounds. Uses the build in build/ (configure and build quillon-cli first), or the
# console program named by QUILLON_CLI.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
rounds=${1:-20}
build="$root/build"
cli_built="${QUILLON_CLI:-$build/bin/quillon-cli.exe}"
export WINE_ENV_PREFIX="${WINE_ENV_PREFIX:-$build/wine-race}"
source "$root/tools/wine-env.sh"
trap 'wine_env_stop' EXIT

# Everything lives in the prefix's drive C:, inside the build folder.
work="$WINEPREFIX/drive_c/quillon-race" win='C:\quillon-race'
rm -rf "$work" && mkdir -p "$work/app" "$work/planted" "$work/out"
cp "$cli_built" "$work/app/quillon-cli.exe"
cli() { wine64 "$work/app/quillon-cli.exe" "$@"; }
key='Software\QuillonRace'
wine64 reg delete "HKCU\\Software\\Quillon" /f >/dev/null 2>&1 || true
wine64 reg delete "HKCU\\$key" /f >/dev/null 2>&1 || true
# No scan report: two reports finished at the same instant collide (one run then says it could
# not write its report, exit 5, and removes nothing), which is not what this checks.
wine64 reg add "HKCU\\Software\\Quillon\\OptionAndSettings" /v chkMakeLog /d 0 /f >/dev/null 2>&1

files=16 dirs=2 regs=2
items=$((files + dirs + 2 * regs))
content() { printf 'race file %s\r\n' "$1"; }
for i in $(seq 0 $((files - 1))); do content "$i" >"$work/planted/f$i.txt"; done
for d in $(seq 0 $((dirs - 1))); do mkdir -p "$work/planted/d$d"; content "d$d" >"$work/planted/d$d/in.txt"; done
for r in $(seq 0 $((regs - 1))); do
  wine64 reg add "HKCU\\$key\\Values" /v "v$r" /d "value $r" /f >/dev/null 2>&1
  wine64 reg add "HKCU\\$key\\K$r\\Sub" /v x /d "key $r" /f >/dev/null 2>&1
done

# The definitions, enciphered by the program itself.
define() {  # define FILE LINE...: the plain lines, enciphered into the application folder
  local file=$1; shift
  printf '%s\r\n' "$@" | cli encode >"$work/app/$file"
}
define FileDefinition.dat $(for i in $(seq 0 $((files - 1))); do printf 'f%s.txt=Race%s|%s\\planted ' "$i" $((i % 4)) "$win"; done)
define DirectoryDefinition.dat $(for d in $(seq 0 $((dirs - 1))); do printf 'D%s=RaceDir|%s\\planted\\d%s ' "$d" "$win" "$d"; done)
define RegistryDefinition.dat $(for r in $(seq 0 $((regs - 1))); do
  printf '1^%s\\Values^v%s=RaceValue 1^%s\\K%s^=RaceKey ' "$key" "$r" "$key" "$r"; done)
: >"$work/app/ExeDefinition.dat"
: >"$work/app/BlockedCookies.dat"

findings() { cli scan 2>/dev/null | tr -d '\r' | grep -c $'\t' || true; }
baseline=$(findings)
echo "planted $items items ($files files, $dirs folders, $regs registry values, $regs keys); a scan shows $baseline findings"

seen="$work/out/seen" && : >"$seen"
removed_total=0 twice_removed=0 ids_twice=0 index_lines=0 restore_failed=0 not_back=0 failed=0
declare -A codes=()
for round in $(seq 1 "$rounds"); do
  for who in a b; do
    (cli --yes scan --remove >"$work/out/$who.out" 2>"$work/out/$who.err" && rc=0 || rc=$?; echo $rc >"$work/out/$who.rc") &
  done
  wait
  for who in a b; do rc=$(cat "$work/out/$who.rc"); codes[$rc]=$(( ${codes[$rc]:-0} + 1 )); done
  removed=$(cat "$work/out/a.out" "$work/out/b.out" | tr -d '\r' | grep -c '^removed'$'\t' || true)
  twice=$(cat "$work/out/a.out" "$work/out/b.out" | tr -d '\r' | grep '^removed'$'\t' | sort | uniq -d | wc -l)
  cli quarantine list 2>/dev/null | tr -d '\r' >"$work/out/list"
  lines=$(wc -l <"$work/out/list")
  dup_ids=$(cut -f1 "$work/out/list" | sort | uniq -d | wc -l)
  fresh=0 bad_restores=0
  for id in $(cut -f1 "$work/out/list" | sort -n | uniq); do
    grep -qx "$id" "$seen" && continue
    echo "$id" >>"$seen"
    fresh=$((fresh + 1))
    cli quarantine restore "$id" >/dev/null 2>"$work/out/restore.err" || {
      bad_restores=$((bad_restores + 1))
      echo "  round $round: id $id: $(tr -d '\r' <"$work/out/restore.err" | tail -n 1)"
    }
  done
  missing=0
  for i in $(seq 0 $((files - 1))); do cmp -s <(content "$i") "$work/planted/f$i.txt" || missing=$((missing + 1)); done
  for d in $(seq 0 $((dirs - 1))); do cmp -s <(content "d$d") "$work/planted/d$d/in.txt" || missing=$((missing + 1)); done
  found=$(findings)
  [ "$found" -eq "$baseline" ] || missing=$((missing + 1))
  removed_total=$((removed_total + removed)) twice_removed=$((twice_removed + twice))
  ids_twice=$dup_ids index_lines=$lines restore_failed=$((restore_failed + bad_restores)) not_back=$((not_back + missing))
  ok=yes
  if [ "$removed" -ne "$items" ] || [ "$twice" -ne 0 ] || [ "$dup_ids" -ne 0 ] || [ "$fresh" -ne "$items" ] ||
    [ "$bad_restores" -ne 0 ] || [ "$missing" -ne 0 ]; then ok=NO failed=$((failed + 1)); fi
  echo "round $round: exit codes $(cat "$work/out/a.rc") and $(cat "$work/out/b.rc"); $removed removed lines" \
    "($twice twice); index $lines lines, $dup_ids ids twice, $fresh new; $bad_restores restores failed;" \
    "$missing not back (scan: $found findings); ok: $ok"
done
summary=""
for rc in "${!codes[@]}"; do summary+=" exit $rc: ${codes[$rc]};"; done
echo "$rounds rounds of two removals at once:$summary $removed_total removed lines ($twice_removed twice);" \
  "the index: $index_lines lines, $ids_twice ids on more than one; $restore_failed restores failed," \
  "$not_back items not back; $failed rounds failed"
wine64 reg delete "HKCU\\$key" /f >/dev/null 2>&1 || true
[ "$failed" -eq 0 ]
