#!/usr/bin/env bash
# The layer table of docs/layout.md, enforced: every #include of the program's folders is checked
# against the row of its folder, whose last column lists the folders it may include. A file's
# own folder and the standard library (angle includes without ".h") are always allowed; a system
# header ("<windows.h>" and any other "<name.h>") only where the row lists `<windows.h>`. The
# program's own headers are included in quotes: an angle include that names one of its folders
# would otherwise pass for a system header where those are allowed. A
# folder holding sources that the table does not list fails too, so a new folder has to be
# placed in the stack before it builds its tests. The test harnesses sit outside the stack.
#
# Usage: check-layers.sh [root]   (default: this checkout; the tests point it at a copy)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"
table=docs/layout.md
sources=$(find . \( -path ./.git -o -regex '\./\(tests\|bench\|fuzz\|tools\|build[^/]*\)' \) -prune -o \
               -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.in' -o -name '*.rc' \) -print | sort)
[ -n "$sources" ] || { echo "layering: no sources under $root" >&2; exit 1; }

# The folders of the checkout: an angle include that starts with one of them is the program's own.
own_folders=$(find . -mindepth 1 -maxdepth 1 -type d ! -name '.*' -printf '%f ' )

# awk reads the table first, then every source's include lines as "file:line:text"; a source
# without includes still comes through its "#file" line, so an unlisted folder is never missed.
{
  for f in $sources; do echo "#file ${f#./}"; done
  # shellcheck disable=SC2086
  grep -nHE '^[[:space:]]*#[[:space:]]*include[[:space:]]*[<"]' $sources | sed 's|^\./||' || true
} | awk -v table="$table" -v own="$own_folders" '
  function row_of(path,   f, best) {
    best = ""
    for (f in allowed) if (index(path, f) == 1 && length(f) > length(best)) best = f
    return best
  }
  function backticked(text, out,   n) {
    n = 0
    while (match(text, /`[^`]+`/)) {
      out[++n] = substr(text, RSTART + 1, RLENGTH - 2)
      text = substr(text, RSTART + RLENGTH)
    }
    return n
  }
  BEGIN {
    while ((getline line < table) > 0) {
      if (line !~ /^\| `/) continue
      split(line, col, "|")  # col[2] the folders, col[4] what they may include
      nf = backticked(col[2], folders)
      nm = backticked(col[4], may)
      list = " "
      for (i = 1; i <= nm; i++) list = list may[i] " "
      # The table reads bottom up: a row names only folders of the rows above it.
      for (i = 1; i <= nm; i++)
        if (may[i] ~ /\/$/ && !(may[i] in rowAt)) {
          printf "%s: the row of %s names %s, which is not a row above it\n", table, folders[1], may[i] > "/dev/stderr"
          bad = 1
        }
      for (i = 1; i <= nf; i++) if (folders[i] ~ /\/$/) rowAt[folders[i]] = 1
      for (i = 1; i <= nf; i++) if (folders[i] ~ /\/$/) {
        allowed[folders[i]] = list
        if (index(list, " <windows.h> ")) headers[folders[i]] = 1
      }
    }
    if (length(allowed) == 0) { print "layering: no layer table found in " table > "/dev/stderr"; bad = 1; exit }
    n = split(own, owned, " ")
    for (i = 1; i <= n; i++) ownFolder[owned[i]] = 1
  }
  /^#file / {
    file = substr($0, 7)
    if (row_of(file) == "") { d = file; sub(/[^\/]*$/, "", d); unlisted[d == "" ? "./" : d] = 1 }
    next
  }
  {
    split($0, p, ":"); file = p[1]; lineno = p[2]
    from = row_of(file)
    if (from == "") next
    if (!match($0, /include[ \t]*[<"][^">]+/)) next
    inc = substr($0, RSTART, RLENGTH); sub(/^include[ \t]*/, "", inc)
    target = substr(inc, 2)
    if (substr(inc, 1, 1) == "<") {
      first = target; sub(/\/.*$/, "", first)
      if (target ~ /\// && (first in ownFolder)) {
        printf "%s:%s: includes <%s>, a header of the program itself; those are included in quotes\n", file, lineno, target > "/dev/stderr"
        bad = 1
      } else if (target ~ /\.h$/ && !(from in headers)) {
        printf "%s:%s: includes <%s>; only the rows that allow <windows.h> may include system headers\n", file, lineno, target > "/dev/stderr"
        bad = 1
      }
      next
    }
    if (target !~ /\//) next  # a name beside the including file
    to = row_of(target)
    if (to == "") {
      printf "%s:%s: includes \"%s\", from a folder the layer table does not list\n", file, lineno, target > "/dev/stderr"
      bad = 1
    } else if (to != from && !index(allowed[from], " " to " ")) {
      printf "%s:%s: includes \"%s\"; %s may include only:%s\n", file, lineno, target, from, allowed[from] > "/dev/stderr"
      bad = 1
    }
  }
  END {
    for (d in unlisted) {
      printf "layering: %s holds sources but has no row in the layer table (%s)\n", d, table > "/dev/stderr"
      bad = 1
    }
    if (!bad) print "layering: ok"
    exit bad
  }'
