#!/usr/bin/env bash
# Pictures of the sample page in the stand-in engines: one of 5.5, 7 and 8
# side by side, and one of each alone. Builds first; runs under Xvfb.
#   scripts/standin-screens.sh [address]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64 >/dev/null
stage=$root/build/x86_64/stage
. "$root/scripts/wine-env.sh"
export WINEDLLOVERRIDES="ieframe,mshtml,jscript,urlmon,wininet=n,b"
wine_screen_session_start "$root/build/x86_64/wineprefix-x11" 121
address=${1:-}
shoot() {  # name, libraries...
  SCREEN_DELAY=${SCREEN_DELAY:-6} wine_shoot "$root" "$stage" "$1" standin_viewer.exe ${address:+"$address"} "${@:2}"
}
if [ -z "$address" ]; then address='samples\compare.html'; fi
shoot standin-compare 5hdocvw.dll 7eframe.dll 8eframe.dll
shoot standin-5.5 5hdocvw.dll
shoot standin-7 7eframe.dll
shoot standin-8 8eframe.dll
