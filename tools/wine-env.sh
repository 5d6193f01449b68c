# Sourced by the project's scripts: an isolated Wine prefix and a persistent wineserver, so that
# every run starts from a known machine and CTest never waits on Wine's helper processes.
#   WINE_ENV_PREFIX  folder of the prefix (made when missing)
export PATH="/usr/lib/wine:$PATH"
export WINEPREFIX="${WINE_ENV_PREFIX:?}"
export WINEDEBUG=-all
# No Mono or Gecko installer offers, and no menu entries, icons or file types written into the
# host's desktop: nothing a run does may land outside the build folder.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# A new prefix links Desktop, Documents, Downloads, Music, Pictures, Videos and Templates to the
# host's home. Tests and the demo plant threats there and remove them, so each link becomes a
# real folder inside the prefix before any program runs. A link that cannot be replaced stops
# the script rather than let a run reach the host's files.
wine_env_sandbox() {
  local users="$WINEPREFIX/drive_c/users" link
  [ -d "$users" ] || return 0
  while IFS= read -r -d '' link; do
    rm -f "$link" && mkdir -p "$link" || { echo "cannot replace the shell-folder link $link" >&2; return 1; }
  done < <(find "$users" -maxdepth 6 -type l -print0)
  if [ -n "$(find "$users" -maxdepth 6 -type l -print -quit)" ]; then
    echo "the Wine prefix $WINEPREFIX still links outside itself" >&2
    return 1
  fi
}

if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wine64 wineboot -i >/dev/null 2>&1 </dev/null || true
fi
wine_env_sandbox
wineserver -p >/dev/null 2>&1 </dev/null &
# Wine's device services start with the first program of a session and inherit its standard
# streams: started here, they hold /dev/null, never a pipe some later caller waits on.
wine64 cmd /c exit >/dev/null 2>&1 </dev/null || true
wine_env_stop() { wineserver -k >/dev/null 2>&1 || true; }
# A Linux path as Wine's programs see it (drive Z: is the root of the Linux file system).
winpath() { local p; p=$(readlink -f "$1"); printf 'Z:%s' "${p//\//\\}"; }
