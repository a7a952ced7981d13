#!/usr/bin/env bash
# Builds x86_64 and runs the benchmark executable under Wine (headless prefix).
#   scripts/bench.sh [runs]                         every figure
#   scripts/bench.sh isolation-multi                the isolation layer's figures only
#   scripts/bench.sh host [runs]                    a hosted tab: start to about:blank, memory
#   scripts/bench.sh soak-decoder [buffers] [seed]  pipe decoder soak (1000000 buffers)
#   scripts/bench.sh soak-hooks [cycles] [threads]  isolation layer soak (1000 cycles, 16 threads)
# A soak ends with "N passed, M failed" and exits non-zero when one failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64
build=$root/build/x86_64
. "$root/scripts/wine-env.sh"
wine_session_start "$build/wineprefix"
cd "$build/stage" && wine vantrell_bench.exe "$@"
