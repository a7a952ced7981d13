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
export WINEPREFIX=$root/build/x86_64/wineprefix-x11
export WINEDLLOVERRIDES="ieframe,mshtml,jscript,urlmon,wininet=n,b"
wine_prefix_ensure "$WINEPREFIX" x11
for n in $(seq 121 150); do [ -e /tmp/.X11-unix/X$n ] || { disp=:$n; break; }; done
Xvfb "$disp" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
export DISPLAY=$disp
trap 'wineserver -k >/dev/null 2>&1 || true; kill $xpid 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${disp#:}" ] && break; sleep 0.1; done
address=${1:-}
shoot() {  # name, libraries...
  local name=$1; shift
  (cd "$stage" && wine explorer /desktop=Standins,1280x800 standin_viewer.exe ${address:+"$address"} "$@" >/dev/null 2>&1 &)
  sleep "${SCREEN_DELAY:-6}"
  import -window root "$root/build/$name.png"
  wineserver -k >/dev/null 2>&1 || true
  sleep 1
  echo "screenshot: $root/build/$name.png"
}
if [ -z "$address" ]; then address='samples\compare.html'; fi
shoot standin-compare 5hdocvw.dll 7eframe.dll 8eframe.dll
shoot standin-5.5 5hdocvw.dll
shoot standin-7 7eframe.dll
shoot standin-8 8eframe.dll
