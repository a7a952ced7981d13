#!/usr/bin/env bash
# Pictures of the program's tab content showing the sample page in 5.5, 7 and
# 8 side by side: once on engine threads of one process, once in child
# processes. Builds first; runs under Xvfb. Saves build/tab-content*.png.
#   scripts/tab-screens.sh [address]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64 >/dev/null
stage=$root/build/x86_64/stage
. "$root/scripts/wine-env.sh"
wine_screen_session_start "$root/build/x86_64/wineprefix-x11" 151
address=${1:-'samples\compare.html'}
shoot() { wine_shoot "$root" "$stage" "$1" tab_content_viewer.exe "${@:2}"; }  # name, viewer arguments...
shoot tab-content "$address" ie55 ie7 ie8
shoot tab-content-child -child "$address" ie55 ie7 ie8
