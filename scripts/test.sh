#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test of both
# under Wine in one CTest run of the x86_64 build: its own tests in
# build/x86_64/wineprefix, and the i686 build's test executables as NAME_i686
# (label "i686") in build/i686/wineprefix, where the 32-bit programs run under
# qemu's emulation. Arguments go to ctest (`scripts/test.sh -L i686` runs the
# i686 tests alone, `-LE i686` the others). Where 32-bit programs cannot run,
# install-deps.sh says why in build/i686-support and every i686 test is
# reported as not run with that reason.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" i686
"$root/scripts/build.sh" x86_64
build=$root/build/x86_64
. "$root/scripts/wine-env.sh"
support=$(cat "$root/build/i686-support" 2>/dev/null || echo "unknown (build/i686-support is missing)")
if [ "$support" = yes ]; then
  wine_session_start "$root/build/i686/wineprefix"
else
  echo "test.sh: the i686 tests will be reported as not run: 32-bit programs cannot run on this machine: $support" >&2
fi
wine_session_start "$build/wineprefix"
cd "$build"
ctest --output-on-failure --timeout 300 "$@"
