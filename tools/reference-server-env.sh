# Sourced by the project's scripts: starts the reference server on 127.0.0.1 at a free port with
# a data folder of its own holding one release of the sample definitions (dated 1/1/2030),
# signed with the build's own key (build/definition-signing-key.pem, whose public key the build
# put into the programs; QUILLON_SIGNING_KEY names another), and tells the programs under test
# where it is:
#   QUILLON_TEST_SERVER       its base address (http://127.0.0.1:PORT)
#   QUILLON_TEST_SERVER_DATA  its data folder, as Wine's programs see it
#   QUILLON_SIGNING_KEY       the key its releases are signed with
# reference_server_stop ends it.
reference_server_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
reference_server_start() {
  local data="$1"
  rm -rf "$data" && mkdir -p "$data"
  export QUILLON_SIGNING_KEY="${QUILLON_SIGNING_KEY:-$reference_server_root/build/definition-signing-key.pem}"
  if [ ! -f "$QUILLON_SIGNING_KEY" ]; then
    echo "no signing key at $QUILLON_SIGNING_KEY: configure the build first (it makes the key)" >&2
    return 1
  fi
  # One release to update to: the sample definitions, dated well after any local date.
  python3 "$reference_server_root/tools/publish_definitions.py" --data "$data" --key "$QUILLON_SIGNING_KEY" \
    --from "$reference_server_root/samples/definitions" --date "1/1/2030 12:00:00 AM" >/dev/null
  local out="$data/.listening"
  # Only this script may stop it through /shutdown; it uses the signal anyway.
  reference_server_token=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
  python3 "$reference_server_root/tools/reference_server.py" --port 0 --data "$data" \
    --shutdown-token "$reference_server_token" >"$out" 2>&1 </dev/null &
  reference_server_pid=$!
  local i
  for i in $(seq 1 100); do
    grep -q '^listening on ' "$out" 2>/dev/null && break
    sleep 0.1
  done
  local address
  address=$(sed -n 's/^listening on \(127\.0\.0\.1:[0-9]*\).*/\1/p' "$out" | head -n 1)
  if [ -z "$address" ]; then
    echo "reference server did not start:" >&2
    cat "$out" >&2
    return 1
  fi
  export QUILLON_TEST_SERVER="http://$address"
  local p
  p=$(readlink -f "$data")
  export QUILLON_TEST_SERVER_DATA="Z:${p//\//\\}"
  echo "reference server on $QUILLON_TEST_SERVER"
}
reference_server_stop() {
  [ -n "${reference_server_pid:-}" ] && kill "$reference_server_pid" 2>/dev/null || true
  reference_server_pid=""
}
