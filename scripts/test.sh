#!/usr/bin/env bash
# Installs what is missing, builds both targets and runs every test of x86_64
# under Wine (the i686 build cannot run on these machines: 32-bit Wine needs
# a kernel that runs 32-bit programs).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" i686
"$root/scripts/build.sh" x86_64
build=$root/build/x86_64
. "$root/scripts/wine-env.sh"
export WINEPREFIX=$build/wineprefix
wine_prefix_ensure "$WINEPREFIX" null
# One persistent wineserver for the whole run: a launch then costs ~0.1 s.
wineserver -p >/dev/null 2>&1 </dev/null &
wine_services_start
trap 'WINEPREFIX=$build/wineprefix wineserver -k >/dev/null 2>&1 || true' EXIT
cd "$build"
ctest --output-on-failure --timeout 300 "$@"
