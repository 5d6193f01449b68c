#!/usr/bin/env bash
# The layering rules, checked on every test run (docs/layout.md explains them):
#  - the behaviour folders never include a form from ui/ and never <windows.h>;
#  - common/ and controls/ sit at the bottom: they include nothing but each other and the platform interfaces.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
behaviour=(common controls definitions scan removal reports shell shields update scheduler selftest)
bad=0
for dir in "${behaviour[@]}"; do
  [ -d "$dir" ] || continue
  if grep -rnE '#include\s*[<"](ui/[^">]*|windows\.h)[">]' "$dir" --include='*.h' --include='*.cpp'; then
    echo "layering: a behaviour folder ($dir) includes a form or <windows.h>" >&2
    bad=1
  fi
done
for dir in common controls; do
  [ -d "$dir" ] || continue
  if grep -rnE '#include\s*"(definitions|scan|removal|reports|shell|shields|update|scheduler|platform/win32|ui)/' "$dir" \
       --include='*.h' --include='*.cpp'; then
    echo "layering: $dir/ is a bottom layer and may include only common/, controls/ and the platform interfaces" >&2
    bad=1
  fi
done
[ "$bad" -eq 0 ] && echo "layering: ok"
exit "$bad"
