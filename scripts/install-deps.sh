#!/usr/bin/env bash
# Installs the Debian packages the build (nsis makes the installer), the tests
# and the screenshot run need.
# Safe to run again: it only installs what is missing.
set -euo pipefail
need=(cmake ninja-build googletest g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
      binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine64 wine xvfb xauth imagemagick python3 nsis)
missing=()
for p in "${need[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# wine32 would make /usr/bin/wine pick a 32-bit loader this kernel cannot run.
if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q 'install ok installed'; then
  echo "warning: wine32 is installed; 32-bit Wine cannot run here" >&2
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -q
  apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
