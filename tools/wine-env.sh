# Sourced by the project's scripts: an isolated Wine prefix and a persistent wineserver, so that
# every run starts from a known machine and CTest never waits on Wine's helper processes.
#   WINE_ENV_PREFIX  folder of the prefix (made when missing)
export PATH="/usr/lib/wine:$PATH"
export WINEPREFIX="${WINE_ENV_PREFIX:?}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wine64 wineboot -i >/dev/null 2>&1 </dev/null || true
fi
wineserver -p >/dev/null 2>&1 </dev/null &
# Wine's device services start with the first program of a session and inherit its standard
# streams: started here, they hold /dev/null, never a pipe some later caller waits on.
wine64 cmd /c exit >/dev/null 2>&1 </dev/null || true
wine_env_stop() { wineserver -k >/dev/null 2>&1 || true; }
# A Linux path as Wine's programs see it (drive Z: is the root of the Linux file system).
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }
