#!/usr/bin/env bash
# Serves the sample release from nginx (static tree) and from the reference server side by side
# and runs bench/server_load.py against both, with the load average before each. Needs a
# configured build (its signing key). Extra arguments go to server_load.py.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/reference-server-env.sh"
source "$root/tools/publisher-env.sh"
trap 'publisher_stop; reference_server_stop' EXIT
reference_server_start "$root/build/bench-reference" >/dev/null
reference="$QUILLON_TEST_SERVER"  # publisher_start points QUILLON_TEST_SERVER at nginx
publisher_start "$root/build/bench-publisher" >/dev/null
publisher_release "$root/samples/definitions" "1/1/2030 12:00:00 AM"
for base in "$QUILLON_PUBLISHER" "$reference"; do
  echo "load: $(uptime | sed 's/.*load average: //')"
  python3 "$root/bench/server_load.py" "$@" "$base"
done
