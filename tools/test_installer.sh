#!/usr/bin/env bash
# The installer under Wine, in a prefix of its own: a silent install (files, Start menu,
# installed-programs entry, the installed self-test), an upgrade from a previous version that
# keeps the quarantine, the exclusions, the settings and newer Live Update definitions, and a
# silent uninstall that leaves no program file, menu entry or installed-programs entry but keeps
# the quarantine. The desktop program running from the folder is asked to close by the uninstall
# and the upgrade; a copy that will not close makes the uninstall fail, say so in its log and
# leave the installation whole. Prints "Installer tests: N passed, N failed"; exit code 1 when
# one failed. Needs a built tree (build/quillon.msi and build/bin). The desktop program runs on
# the display DISPLAY names, or on a virtual one started here; on DISPLAY the script also takes
# a picture of the installed-programs list (build/installer-shot.png).
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
msi="$build/quillon.msi"
work="$build/installer-test"
rm -rf "$work" && mkdir -p "$work"
[ -f "$msi" ] || { echo "no installer at $msi: build first" >&2; echo "Installer tests: 0 passed, 1 failed"; exit 1; }
cache="$build/CMakeCache.txt"
setting() { sed -n "s/^$1:[A-Z]*=//p" "$cache"; }
company=$(setting QUILLON_COMPANY)

# Wine picks its display when its first process starts: the display comes before the prefix.
xvfb_pid=""
shot=yes
if [ -z "${DISPLAY:-}" ]; then
  export DISPLAY=:$((190 + RANDOM % 100))
  Xvfb "$DISPLAY" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  shot=""
  sleep 1
fi
WINE_ENV_PREFIX="$build/wine-installer"
rm -rf "$WINE_ENV_PREFIX"
source "$root/tools/wine-env.sh"
started=()  # the programs this script started, ended by their ids when it ends
cleanup() {
  local pid
  for pid in "${started[@]}"; do kill "$pid" 2>/dev/null || true; done
  wine_env_stop
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
}
trap cleanup EXIT

passed=0 failed=0
check() {  # check "what" command...
  local what=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok     $what"; else failed=$((failed + 1)); echo "FAILED $what"; fi
}
app="$WINEPREFIX/drive_c/Program Files/$company/Quillon"
# A file the shipped sample definitions name, on the user's desktop, to have something quarantined.
profile=$(find "$WINEPREFIX/drive_c/users" -mindepth 1 -maxdepth 1 -type d ! -name Public | head -n 1)
sample="$profile/Desktop/Win Free Prizes.url"
plant() { mkdir -p "$(dirname "$sample")" && printf '[InternetShortcut]\r\nURL=http://quillon-sample-ads.example/\r\n' >"$sample"; }
menu=$(find "$WINEPREFIX/drive_c" -type d -path '*Start Menu/Programs' 2>/dev/null | head -n 1)
cli() { wine64 "$app/quillon-cli.exe" "$@" >"$work/out.txt" 2>"$work/err.txt" </dev/null; }
msiexec_runs=0
msiexec() {  # msiexec ARGS...: the exit code, with the time taken in $work/seconds and the
             # installer's log in $work/msiexec-N.log (N counts the runs) unless one is asked for
  local start end rc log=()
  msiexec_runs=$((msiexec_runs + 1))
  [[ " $* " == *" /l"* ]] || log=(/l*v "$(winpath "$work")\\msiexec-$msiexec_runs.log")
  start=$(date +%s.%N)
  wine64 msiexec "$@" "${log[@]}" >"$work/msiexec.txt" 2>&1 </dev/null
  rc=$?
  end=$(date +%s.%N)
  echo "$start $end" | awk '{printf "%.1f", $2 - $1}' >"$work/seconds"
  return $rc
}
installed() { wine64 uninstaller --list >"$work/arp.txt" 2>/dev/null; tr -d '\r' <"$work/arp.txt" | grep -q '|||Quillon$'; }
menu_entries() { ls "$menu/Quillon/Quillon.lnk" "$menu/Quillon/Quillon Help.lnk" "$menu/Quillon/Uninstall Quillon.lnk" >/dev/null 2>&1; }
no_menu_entries() { [ -z "$(find "$WINEPREFIX/drive_c" -path '*Start Menu*' -iname '*quillon*' 2>/dev/null)" ]; }
# Once, on a busy machine, Wine's reg.exe did not find a value that was there (the same run
# again found it): a value that is really missing fails all three asks.
machine_setting() {
  local i
  for i in 1 2 3; do
    wine64 reg query "HKLM\\SOFTWARE\\$company\\Quillon\\Settings" /v "$1" >"$work/reg.txt" 2>&1
    tr -d '\r' <"$work/reg.txt" | grep -q "REG_SZ *$2\$" && return 0
    sleep 1
  done
  return 1
}
live_date() { [ "$(tr -d '\r' <"$app/date.dat")" = "$1" ]; }
status() {  # the status the desktop program publishes: RUNNING, STOPPED or nothing
  wine64 reg query 'HKCU\Software\Quillon\OptionAndSettings' /v STATUS 2>/dev/null | tr -d '\r' |
    sed -n 's/.*REG_SZ *//p'
}
start_program() {  # start_program: the installed desktop program, up once it says RUNNING
  local i
  wine64 reg delete 'HKCU\Software\Quillon\OptionAndSettings' /v STATUS /f >/dev/null 2>&1
  wine64 "$app/quillon.exe" >/dev/null 2>&1 </dev/null &
  program=$!
  started+=("$program")
  for i in $(seq 60); do [ "$(status)" = RUNNING ] && return 0; sleep 1; done
  return 1
}
ended() {  # ended PID: the process is gone within ten seconds
  local i
  for i in $(seq 20); do kill -0 "$1" 2>/dev/null || return 0; sleep 0.5; done
  return 1
}
figures="$build/installer-figures.txt"
: >"$figures"

# ---- a silent install of this version
check "silent install exits 0" msiexec /i "$(winpath "$msi")" /qn DEFINITIONSERVER=http://127.0.0.1:9
echo "install of $(basename "$msi"): $(cat "$work/seconds") s" >>"$figures"
check "programs, help and shipped definitions in Program Files\\$company\\Quillon" \
  test -f "$app/quillon.exe" -a -f "$app/quillon-cli.exe" -a -f "$app/Quillon Help.txt" -a -f "$app/Shipped/date.dat" \
  -a -f "$app/Shipped/FileDefinition.dat"
check "Start menu folder with the program, its help and its uninstall" menu_entries
check "an entry among the installed programs" installed
check "the machine-wide settings: the server passed on the command line, the build's other" \
  bash -c "$(declare -f machine_setting); work='$work' company='$company'; machine_setting DefinitionServer http://127.0.0.1:9 && machine_setting DataServer '$(setting QUILLON_DATA_SERVER)'"
cli selftest
rc=$?
check "the installed quillon-cli selftest exits 0" test "$rc" -eq 0
[ "$rc" -eq 0 ] || cat "$work/out.txt" "$work/err.txt"
cli scan
check "the first start took the shipped definitions as the live set" live_date "$(setting QUILLON_DEFINITIONS_DATE)"

if [ -n "$shot" ]; then
  wine64 uninstaller >/dev/null 2>&1 </dev/null &
  shot_pid=$!
  sleep 8
  import -window root "$build/installer-shot.png" 2>/dev/null || true
  kill "$shot_pid" 2>/dev/null || true
  wait "$shot_pid" 2>/dev/null || true
fi

# ---- a copy of the program that cannot be asked to close (the self-test's waiting mode has no
# window) keeps the uninstall from going on: it fails, says so in its log, and changes nothing
wine64 "$app/quillon.exe" /selftest-wait >/dev/null 2>&1 </dev/null &
waiter=$!
started+=("$waiter")
sleep 2
msiexec /x "$(winpath "$msi")" /qn /l*v "$(winpath "$work/refused.log")"
rc=$?
echo "uninstall refused: $(cat "$work/seconds") s" >>"$figures"
check "an uninstall while a copy will not close fails (exit code $rc)" test "$rc" -ne 0
check "its log says which copy is still running" \
  grep -a -q 'Quillon\\quillon.exe (process [0-9]*) has no window to be asked through, and did not end' "$work/refused.log"
check "the installation is left whole: its files, its entry, its Start menu folder" \
  bash -c "$(declare -f installed menu_entries); work='$work' menu='$menu'
           test -f '$app/quillon.exe' -a -f '$app/quillon-cli.exe' -a -f '$app/Shipped/date.dat' && installed && menu_entries"
check "the copy that would not close is left running" kill -0 "$waiter"
kill "$waiter" 2>/dev/null; wait "$waiter" 2>/dev/null

# ---- a silent uninstall closes the running program, keeps the quarantine and takes the
# run-at-start-up entry
plant
cli --yes scan --remove
check "a removal puts a sample into the installed program's quarantine" test -s "$app/quarantine/QuarantineIndex.txt"
wine64 reg add 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Run' /v quillon /t REG_SZ \
  /d "\"C:\\Program Files\\$company\\Quillon\\quillon.exe\"" /f >/dev/null 2>&1
check "the desktop program runs from the installed folder" start_program
check "silent uninstall exits 0" msiexec /x "$(winpath "$msi")" /qn
echo "uninstall: $(cat "$work/seconds") s" >>"$figures"
check "the running program was asked to close and ended" ended "$program"
check "it ended through its exit path (STATUS is STOPPED)" test "$(status)" = STOPPED
check "no program file is left" bash -c "! ls '$app'/*.exe '$app'/*.dat '$app'/*.lock '$app/Quillon Help.txt' '$app/Shipped' >/dev/null 2>&1"
check "no Start menu entry is left" no_menu_entries
check "no installed-programs entry is left" bash -c "! { $(declare -f installed); work='$work'; installed; }"
check "the run-at-start-up entry went with the program" \
  bash -c "! wine64 reg query 'HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run' /v quillon >/dev/null 2>&1"
check "the quarantine is kept" test -s "$app/quarantine/QuarantineIndex.txt"
rm -rf "$app"

# ---- an upgrade from the previous version
old="$work/quillon-previous.msi"
python3 "$root/tools/build_installer.py" --bin "$build/bin" --out "$old" --version 0.9.0 --company "$company" \
  --website "$(setting QUILLON_WEBSITE)" --definition-server "$(setting QUILLON_DEFINITION_SERVER)" \
  --data-server "$(setting QUILLON_DATA_SERVER)" --definitions-date "1/1/2029 12:00:00 AM"
check "the previous version installs" msiexec /i "$(winpath "$old")" /qn DEFINITIONSERVER=http://127.0.0.1:7
cli quarantine list
plant
cli --yes scan --remove
cli quarantine list
id=$(tr -d '\r' <"$work/out.txt" | awk -F'\t' '$4 ~ /Win Free Prizes.url$/ {print $1; exit}')
printf 'C:\\Keep\\this.txt\r\n' >"$app/ENoSignature.txt"
cp "$app/ENoSignature.txt" "$work/exclusions-before"
# Live Update brought definitions newer than this version's installer ships.
printf 'late-arrival.txt=Quillon.Sample.LateArrival|[drive]QuillonLate|Adware\r\n' >"$work/late.txt"
wine64 "$app/quillon-cli.exe" encode <"$work/late.txt" >"$work/late.dat" 2>/dev/null
cat "$work/late.dat" >>"$app/FileDefinition.dat"
printf '1/1/2031 12:00:00 AM\r\n' >"$app/date.dat"
cp "$app/FileDefinition.dat" "$work/live-before"
check "the previous version's desktop program runs" start_program
check "the upgrade exits 0" msiexec /i "$(winpath "$msi")" /qn
check "the upgrade closed the running program first, through its exit path" \
  bash -c "$(declare -f ended status); ended $program && [ \"\$(status)\" = STOPPED ]"
echo "upgrade: $(cat "$work/seconds") s" >>"$figures"
cli quarantine list
check "one entry among the installed programs after the upgrade" \
  bash -c "wine64 uninstaller --list 2>/dev/null | tr -d '\r' | grep -c '|||Quillon\$' | grep -qx 1"
check "the upgrade keeps the quarantined item" grep -q "Win Free Prizes.url" "$work/out.txt"
check "the quarantined sample is gone before the restore" test ! -e "$sample"
check "the item quarantined before the upgrade restores" cli quarantine restore "${id:-0}"
check "the restored item is back" test -f "$sample"
check "the upgrade keeps the exclusion list" cmp -s "$app/ENoSignature.txt" "$work/exclusions-before"
check "the upgrade keeps the settings" \
  bash -c "$(declare -f machine_setting); work='$work' company='$company'; machine_setting DefinitionServer http://127.0.0.1:7"
cli scan
check "the upgrade keeps newer Live Update definitions" \
  bash -c "cmp -s '$app/FileDefinition.dat' '$work/live-before' && [ \"\$(tr -d '\r' <'$app/date.dat')\" = '1/1/2031 12:00:00 AM' ]"
check "the upgraded programs are the new version" \
  bash -c "! cmp -s '$app/Shipped/date.dat' /dev/null && grep -q 2030 '$app/Shipped/date.dat'"
check "the upgraded copy uninstalls" msiexec /x "$(winpath "$msi")" /qn
check "no program file is left after the upgrade's uninstall" \
  bash -c "! ls '$app'/*.exe '$app'/*.dat '$app/Shipped' >/dev/null 2>&1"

size=$(stat -c %s "$msi")
echo "installer size: $size bytes ($(basename "$msi"))" >>"$figures"
cat "$figures"
echo "Installer tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
