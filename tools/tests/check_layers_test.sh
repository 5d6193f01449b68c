#!/usr/bin/env bash
# tools/check-layers.sh must fail on each include outside the layer table: the program's sources
# and the table are copied under build/, one bad include is planted at a time, and the check
# must pass on the untouched copy and fail on every planted one.
# Prints one line, "Layer check tests: P passed, F failed"; exits non-zero on a failure.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
copy="$root/build/layer-check"
rm -rf "$copy" && mkdir -p "$copy/docs"
cp "$root/docs/layout.md" "$copy/docs/"
(cd "$root" && find . \( -path ./.git -o -regex '\./\(tests\|bench\|fuzz\|tools\|build[^/]*\)' \) -prune -o \
   -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' -o -name '*.rc' \) -print0 |
   tar --null -T - -cf - | tar -xf - -C "$copy")

passed=0 failed=0
check() {  # expected outcome (ok|fails), what was planted, the file a failure must name
  local got=ok
  bash "$root/tools/check-layers.sh" "$copy" >"$copy/last.log" 2>&1 || got=fails
  # A failure counts only when it is the plant's: some other complaint would hide a blind spot.
  if [ "$got" = fails ] && [ -n "${3:-}" ] && ! grep -qF -e "$3:" -e "${3%/*}/ holds" "$copy/last.log"; then
    got="fails elsewhere"
  fi
  if [ "$got" = "$1" ]; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    echo "layer check: expected the check to say '$1' with $2, it said '$got':" >&2
    cat "$copy/last.log" >&2
  fi
}

check ok "nothing planted"
# Each plant: a file of the copy and the line added to it. A plant that a looser check (the
# old one looked only for forms and <windows.h>) would let through is the point of most rows.
plants=(
  'scan/memory_scan.h|#include "removal/removal.h"'                       # a peer subsystem
  'removal/removal.cpp|#include "reports/report.h"'                       # a peer for its names
  'shields/memory_shield.cpp|#include "shell/tray.h"'                     # a folder its row omits
  'common/text.h|#include "platform/platform.h"'                          # the bottom reaching up
  'platform/platform.h|#include "definitions/definition_store.h"'
  'system/settings.cpp|#include "ui/frm_main.h"'                          # a form
  'update/live_update.cpp|#include "platform/win32/win32_platform.h"'     # the real platform
  'scheduler/scheduler.h|#include <windows.h>'
  'ui/frm_main.cpp|#include <shlobj.h>'                                   # any system header
  'platform/win32/gui_host.cpp|#include "ui/frm_main.h"'
  'platform/win32/gui_host.cpp|#include <ui/frm_main.h>'                  # the program's own, in angles
  'app/quillon_main.cpp|#include <scan/scan_run.h>'
  'scan/new_scanner.cpp|#include "nowhere/thing.h"'                       # a folder not in the table
  'extras/helper.h|#include <string>'                                     # a folder with no row
)
for plant in "${plants[@]}"; do
  file=${plant%%|*} line=${plant#*|}
  existed=0
  if [ -f "$copy/$file" ]; then existed=1; cp "$copy/$file" "$copy/$file.orig"; fi
  mkdir -p "$copy/$(dirname "$file")" && printf '%s\n' "$line" >>"$copy/$file"
  check fails "'$line' in $file" "$file"
  if [ "$existed" -eq 1 ]; then mv "$copy/$file.orig" "$copy/$file"; else rm -f "$copy/$file"; rmdir "$copy/$(dirname "$file")" 2>/dev/null; fi
done
# The table itself must read bottom up: a row that names a folder of a later row fails.
cp "$copy/docs/layout.md" "$copy/docs/layout.md.orig"
sed -i 's/^| `common\/` | \(.*\) | nothing else |$/| `common\/` | \1 | `platform\/` |/' "$copy/docs/layout.md"
check fails "a row naming a folder below it in the table" "docs/layout.md"
mv "$copy/docs/layout.md.orig" "$copy/docs/layout.md"
check ok "every plant taken away again"
rm -rf "$copy"
echo "Layer check tests: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
