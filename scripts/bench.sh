#!/usr/bin/env bash
# Builds x86_64 and runs the benchmark executable under Wine (headless prefix).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64
build=$root/build/x86_64
. "$root/scripts/wine-env.sh"
wine_session_start "$build/wineprefix"
cd "$build/stage" && wine vantrell_bench.exe "$@"
