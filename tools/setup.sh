#!/usr/bin/env bash
# Installs what building, running and testing Quillon needs on a Debian machine.
# Safe to run again: apt skips what is already there.
set -euo pipefail
pkgs=(cmake ninja-build
      g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64-x86-64 binutils-mingw-w64-i686
      wine64 xvfb xauth imagemagick googletest
      # The installer: wixl builds the package, msitools' msiinfo and msibuild mend its tables.
      wixl msitools
      # Signing definition releases (tools/publish_definitions.py) and the build's own key.
      python3 python3-cryptography
      # SHA-256 of update texts: libgcrypt (static, for the program; native, for the fuzz build).
      libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev libgcrypt20-dev
      # The native sanitizer and fuzzing build: libFuzzer's runtime (-fsanitize=fuzzer) is in
      # the compiler-rt package, which clang only recommends.
      clang libclang-rt-dev
      # The publisher's side: releases served as static files by nginx, run as an ordinary
      # process; submissions kept in SQLite (or PostgreSQL through psycopg2 when one is given).
      nginx-light python3-psycopg2 sqlite3)
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
