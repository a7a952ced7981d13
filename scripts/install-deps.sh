#!/usr/bin/env bash
# Installs the Debian packages the build (nsis makes the installer), the tests
# and the screenshot run need, and sets up 32-bit Wine for the i686 build:
# qemu-user 10 from the backports suite (the release's 7.2 is far too slow
# for Wine), the i386 architecture with wine32, and the binfmt_misc entry that
# hands 32-bit programs to qemu (this kernel refuses 32-bit code itself).
# Safe to run again: it only does what is missing.
#
# Writes build/i686-support: "yes" when 32-bit programs run here, otherwise
# the reason they do not. The test script reads it and reports the i686
# suite as not run with that reason; it never skips it silently.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$root/build"
status_file=$root/build/i686-support

need=(cmake ninja-build googletest g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix
      binutils-mingw-w64-x86-64 binutils-mingw-w64-i686 wine64 wine xvfb xauth imagemagick
      python3 nsis nlohmann-json3-dev libz-mingw-w64-dev)
need32=(wine32:i386)

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

export DEBIAN_FRONTEND=noninteractive
updated=
apt_update() { [ -n "$updated" ] || { apt-get update -q; updated=1; }; }

# Backports suite for qemu-user 10 (only on Debian 12; later releases carry
# it in their own suite).
codename=$(. /etc/os-release 2>/dev/null; echo "${VERSION_CODENAME:-}")
qemu_target=()
if [ "$codename" = bookworm ]; then
  list=/etc/apt/sources.list.d/vantrell-backports.sources
  if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
    printf '%s\n' 'Types: deb' 'URIs: http://deb.debian.org/debian' 'Suites: bookworm-backports' \
      'Components: main' 'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' >"$list"
    updated=
  fi
  qemu_target=(-t bookworm-backports)
fi
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
  updated=
fi

missing=()
for p in "${need[@]}" "${need32[@]}"; do installed "$p" || missing+=("$p"); done
qemu_ok() {
  installed qemu-user || return 1
  local v
  v=$(dpkg-query -W -f='${Version}' qemu-user)
  dpkg --compare-versions "$v" ge 1:10
}
if [ ${#missing[@]} -gt 0 ] || ! qemu_ok; then
  apt_update
  [ ${#missing[@]} -eq 0 ] || { echo "installing: ${missing[*]}"; apt-get install -y -q --no-install-recommends "${missing[@]}"; }
  qemu_ok || { echo "installing: qemu-user 10"; apt-get install -y -q --no-install-recommends "${qemu_target[@]}" qemu-user; }
fi

# binfmt_misc: mounted and carrying the i386 entry of the installed qemu.
# The entry's F flag pins the qemu binary as it was at registration, so it
# is registered again when the binary is newer than the entry.
why=
mnt=/proc/sys/fs/binfmt_misc
conf=/usr/share/qemu/binfmt.d/qemu-i386.conf
if [ ! -e "$mnt/register" ]; then
  mount -t binfmt_misc binfmt_misc "$mnt" 2>/dev/null || why="binfmt_misc cannot be mounted here (no kernel support or no permission)"
fi
if [ -z "$why" ]; then
  entry=$mnt/qemu-i386
  qemu_bin=$(awk -F: '{print $7}' "$conf" 2>/dev/null || true)
  if [ -e "$entry" ] && [ -n "$qemu_bin" ] && [ "$qemu_bin" -nt "$entry" ]; then
    echo -1 >"$entry" 2>/dev/null || true
  fi
  if [ ! -e "$entry" ]; then
    if [ ! -f "$conf" ]; then
      why="qemu-user has no i386 binfmt entry ($conf missing)"
    elif ! cat "$conf" >"$mnt/register" 2>/dev/null; then
      why="the i386 entry cannot be registered with binfmt_misc"
    fi
  fi
fi
if [ -z "$why" ] && ! grep -qx enabled "$mnt/qemu-i386" 2>/dev/null; then
  why="the i386 binfmt_misc entry is not enabled"
fi
if [ -z "$why" ] && [ ! -x /usr/lib/wine/wine ]; then
  why="the 32-bit Wine loader (/usr/lib/wine/wine) is missing"
fi
if [ -z "$why" ]; then
  echo yes >"$status_file"
else
  echo "$why" >"$status_file"
  echo "install-deps: 32-bit programs will not run here: $why" >&2
fi
