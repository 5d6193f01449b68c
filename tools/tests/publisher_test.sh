#!/usr/bin/env bash
# The publisher's side end to end: nginx, started as an ordinary process on 127.0.0.1, serves two
# releases from the static tree publish_definitions.py writes; the console program updates from
# it (from no definitions, then from the first release to the second), submits a name and, after
# a removal, sends the anonymous list; the data log holds both, the collector (when present)
# lists the name, and hostile requests never reach a file outside the tree. Prints "Publisher
# tests: N passed, M failed"; exit code 1 when one failed. Needs build/bin/quillon-cli.exe.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
work="$build/publisher-test"
passed=0 failed=0
check() {  # check WHAT COMMAND...: one case
  if "${@:2}"; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAILED: $1"; fi
}
lacks() { ! grep -q "$@"; }  # lacks PATTERN FILE
finish() { echo "Publisher tests: $passed passed, $failed failed"; [ "$failed" -eq 0 ]; exit; }
[ -f "$build/bin/quillon-cli.exe" ] || { echo "no quillon-cli.exe in $build/bin: build first" >&2; failed=1; finish; }
rm -rf "$work" && mkdir -p "$work"
export QUILLON_SIGNING_KEY="${QUILLON_SIGNING_KEY:-$build/definition-signing-key.pem}"
WINE_ENV_PREFIX="$build/wine-publisher"
source "$root/tools/wine-env.sh"
source "$root/tools/publisher-env.sh"
trap 'publisher_stop; wine_env_stop' EXIT
publisher_start "$work/server" >/dev/null || { failed=1; finish; }
company=$(sed -n 's/^QUILLON_COMPANY:[A-Z]*=//p' "$build/CMakeCache.txt")
app="$work/app"
mkdir -p "$app" && cp "$build/bin/quillon-cli.exe" "$app/"
for f in FileDefinition ExeDefinition RegistryDefinition BlockedCookies DirectoryDefinition; do
  : >"$app/$f.dat"
done
for value in DefinitionServer DataServer; do
  wine64 reg add "HKLM\\SOFTWARE\\$company\\Quillon\\Settings" /v "$value" /t REG_SZ \
    /d "$QUILLON_PUBLISHER" /f >/dev/null 2>&1
done
wine64 reg add 'HKCU\Software\Quillon\OptionAndSettings' /v chkSendData /t REG_SZ /d 1 /f >/dev/null 2>&1
cli() { wine64 "$app/quillon-cli.exe" "$@" >"$work/out.txt" 2>&1 </dev/null; }
date_is() { [ "$(tr -d '\r\n' <"$app/date.dat")" = "$1" ]; }

# First release: a program without definitions takes it whole.
first="1/1/2030 12:00:00 AM" second="1/2/2030 12:00:00 AM"
publisher_release "$root/samples/definitions" "$first"
cli update; check "update to the first release (exit $?)" date_is "$first"
# Second release: one more file definition, which the removal below finds.
mkdir -p "$work/second" && cp "$root/samples/definitions/"* "$work/second/"
printf 'published-late.txt=Quillon.Sample.PublishedLate|[drive]QuillonPublished|Adware\r\n' \
  >>"$work/second/FileDefinition.txt"
publisher_release "$work/second" "$second"
cli update; check "update to the second release (exit $?)" date_is "$second"
# The five files are exactly what the publisher signed for the second release.
statement="$QUILLON_PUBLISHER_TREE/updates/$(echo "$first" | sed 's|[/:]|-|g; s| |_|g').sig"
held=$(cd "$app" && for f in FileDefinition ExeDefinition RegistryDefinition BlockedCookies DirectoryDefinition; do
  echo "$f.dat: $(sha256sum "$f.dat" | cut -d' ' -f1)"; done)
check "the five definition files equal the second release" \
  [ "$held" = "$(grep '\.dat: ' "$statement" | tr -d '\r')" ]

name="publisher-test-$RANDOM.exe"
cli submit "$name"
check "submit $name" grep -q "submitted" "$work/out.txt"
wine64 cmd /c 'mkdir C:\QuillonPublished & echo late> C:\QuillonPublished\published-late.txt' >/dev/null 2>&1
cli --yes scan --remove
check "the removal removed the planted file" [ ! -e "$WINEPREFIX/drive_c/QuillonPublished/published-late.txt" ]
# The data log, deciphered: one line per request, the names of each.
decoded=$(python3 - "$QUILLON_PUBLISHER_LOG" "$root/tools" <<'PY'
import sys, urllib.parse
sys.path.insert(0, sys.argv[2])
import definition_releases as dr
for line in open(sys.argv[1], "rb"):
    payload = urllib.parse.unquote_to_bytes(line.rstrip(b"\n"))
    print(",".join(dr.decode_line(p).decode("latin-1") for p in payload.split(b"|") if p))
PY
)
check "the data log holds the submitted name" grep -qx "$name" <<<"$decoded"
check "the data log holds the anonymous list" grep -qi "quillon-cli.exe" <<<"$decoded"
if [ -f "$root/tools/collect_submissions.py" ]; then
  python3 "$root/tools/collect_submissions.py" --log "$QUILLON_PUBLISHER_LOG" --db "$work/collected.sqlite" \
    --top 10 >"$work/collected.txt" 2>&1
  check "the collector lists the submitted name" grep -qF "$name" "$work/collected.txt"
fi

# Requests: each line is "expected status|path and query"; hostile ones never reach a file
# outside the tree (nginx answers 400, 404 or, past its line buffers, 414).
base="$QUILLON_PUBLISHER" d1=$(echo "$first" | sed 's/ /%20/g')
long=$(head -c 70000 /dev/zero | tr '\0' 'a')
while IFS='|' read -r want target; do
  got=$(curl -s --path-as-is -o "$work/body" -w '%{http_code}' "$base$target")
  check "${target:0:80} answers $want (got $got)" [ "$got" = "$want" ]
  check "${target:0:80} shows nothing from outside the tree" lacks "root:" "$work/body"
done <<EOF_CASES
200|/ASP/CurrentDate.asp?prog=Quillon&comp=Quillon%20Developers
200|/asp/getDefsSig.asp?prog=Quillon&comp=Quillon%20Developers&date=$d1
200|/asp/GETDEFS.ASP?date=12/31/2029%2012:00:00%20AM
404|/asp/getDefsSig.asp?date=12/31/2029%2012:00:00%20AM
400|/asp/getdata.asp
400|/asp/getDefs.asp?date=../../../../etc/passwd
400|/asp/getDefs.asp?date=%2e%2e%2f%2e%2e%2fetc%2fpasswd
400|/asp/getDefsSig.asp?date=$d1/../../../etc/passwd
400|/asp/getDefsSig.asp?date=..%5c..%5c..%5cetc%5cpasswd
400|/asp/getDefs.asp?date=/etc/passwd
400|/../../../../etc/passwd
400|/asp/%2e%2e/%2e%2e/%2e%2e/%2e%2e/etc/passwd
404|/asp/..%5c..%5cdate.txt
404|/etc/passwd
404|//etc/passwd
404|/updates/any.txt
404|/currentdate.txt
400|/asp/getDefs.asp?date=${long:0:20000}
414|/asp/getDefs.asp?date=$long
EOF_CASES
# Releases are served with validators; asking again with one costs a 304.
headers=$(curl -s -D - -o /dev/null "$base/asp/getDefs.asp?date=$d1")
etag=$(sed -n 's/^ETag: //Ip' <<<"$headers" | tr -d '\r')
check "update texts carry ETag, Last-Modified and a short lifetime" \
  grep -qi "last-modified.*cache-control: public, max-age=60" <<<"$(tr -d '\r\n' <<<"$headers")"
check "an update text asked again with its ETag is not sent again" \
  [ "$(curl -s -o /dev/null -w '%{http_code}' -H "If-None-Match: $etag" "$base/asp/getDefs.asp?date=$d1")" = 304 ]
# The data log: the data argument alone, with nginx's escapes for '"', '\' and other bytes.
curl -s -o /dev/null --path-as-is "$base/asp/GetData.asp?data=a%22b\"c\\d%7C" 
check "the data log escapes quotes and backslashes" [ "$(tail -n 1 "$QUILLON_PUBLISHER_LOG")" = 'a%22b\x22c\x5Cd%7C' ]
ss -Hltnp >"$work/listening.txt"
local_only() { [ -s "$1" ] && lacks -v "127\.0\.0\.1:" "$1"; }
grep "pid=$publisher_pid," "$work/listening.txt" >"$work/nginx-listening.txt"
check "nginx listens, on 127.0.0.1 only" local_only "$work/nginx-listening.txt"
finish
