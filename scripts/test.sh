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
wine_session_start "$build/wineprefix"
cd "$build"
ctest --output-on-failure --timeout 300 "$@"
