# Sourced by the project's scripts: serves definition releases as static files through nginx,
# started as an ordinary process (no root, no system files) on a free port of 127.0.0.1, with
# everything under the folder PREFIX given to publisher_start:
#   PREFIX/data    the release history publish_definitions.py keeps (--data)
#   PREFIX/tree    the static tree nginx serves (--static)
#   PREFIX/logs    access.log, data.log (the data page's log), error.log
# It exports
#   QUILLON_PUBLISHER        the server's base address (http://127.0.0.1:PORT)
#   QUILLON_PUBLISHER_DATA, QUILLON_PUBLISHER_TREE, QUILLON_PUBLISHER_LOG  (the data log)
#   QUILLON_SIGNING_KEY      the key releases are signed with (the build's own, as
#                            tools/reference-server-env.sh)
#   QUILLON_TEST_SERVER      the base address again, and QUILLON_TEST_SERVER_LOG the data log as
#                            Wine's programs see it: for the tests that talk to a server
# publisher_release FOLDER DATE publishes a release of FOLDER and writes it into the tree;
# publisher_stop ends nginx. The caller sets the trap that calls publisher_stop.
publisher_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
publisher_start() {
  local prefix
  prefix=$(mkdir -p "$1" && cd "$1" && pwd)
  rm -rf "$prefix/data" "$prefix/tree" "$prefix/logs" "$prefix/temp"
  mkdir -p "$prefix/data" "$prefix/tree" "$prefix/logs" "$prefix/temp"
  export QUILLON_SIGNING_KEY="${QUILLON_SIGNING_KEY:-$publisher_root/build/definition-signing-key.pem}"
  export QUILLON_PUBLISHER_DATA="$prefix/data" QUILLON_PUBLISHER_TREE="$prefix/tree"
  export QUILLON_PUBLISHER_LOG="$prefix/logs/data.log"
  local attempt port
  for attempt in 1 2 3 4 5; do
    # A port the system calls free now; another program may take it before nginx does: retried.
    port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
    sed -e "s|@LISTEN@|127.0.0.1:$port|" -e "s|@TREE@|$prefix/tree|" \
        -e "s|@ACCESS_LOG@|$prefix/logs/access.log|" -e "s|@DATA_LOG@|$QUILLON_PUBLISHER_LOG|" \
        "$publisher_root/tools/nginx/quillon-server.conf" >"$prefix/quillon-server.conf"
    cat >"$prefix/nginx.conf" <<CONF
worker_processes ${QUILLON_PUBLISHER_WORKERS:-1};
error_log $prefix/logs/error.log;
pid $prefix/nginx.pid;
events { worker_connections 1024; }
http {
    client_body_temp_path $prefix/temp/body;
    proxy_temp_path $prefix/temp/proxy;
    fastcgi_temp_path $prefix/temp/fastcgi;
    uwsgi_temp_path $prefix/temp/uwsgi;
    scgi_temp_path $prefix/temp/scgi;
    include $publisher_root/tools/nginx/quillon-http.conf;
    include $prefix/quillon-server.conf;
}
CONF
    /usr/sbin/nginx -p "$prefix" -c "$prefix/nginx.conf" -e "$prefix/logs/error.log" \
      -g 'daemon off;' </dev/null >>"$prefix/logs/error.log" 2>&1 &
    publisher_pid=$!
    local i
    for i in $(seq 1 50); do
      if ! kill -0 "$publisher_pid" 2>/dev/null; then break; fi
      if python3 -c 'import socket, sys; socket.create_connection(("127.0.0.1", int(sys.argv[1])), 1)' \
           "$port" 2>/dev/null; then
        export QUILLON_PUBLISHER="http://127.0.0.1:$port"
        export QUILLON_TEST_SERVER="$QUILLON_PUBLISHER"
        export QUILLON_TEST_SERVER_LOG="Z:${QUILLON_PUBLISHER_LOG//\//\\}"
        echo "nginx on $QUILLON_PUBLISHER"
        return 0
      fi
      sleep 0.1
    done
    publisher_stop
  done
  echo "nginx did not start:" >&2
  cat "$prefix/logs/error.log" >&2
  return 1
}
publisher_release() {
  python3 "$publisher_root/tools/publish_definitions.py" --data "$QUILLON_PUBLISHER_DATA" \
    --key "$QUILLON_SIGNING_KEY" --from "$1" --date "$2" --static "$QUILLON_PUBLISHER_TREE" >/dev/null
}
publisher_stop() {
  if [ -n "${publisher_pid:-}" ]; then
    kill "$publisher_pid" 2>/dev/null || true
    wait "$publisher_pid" 2>/dev/null || true
  fi
  publisher_pid=""
}
