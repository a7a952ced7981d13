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
export WINEPREFIX=$root/build/x86_64/wineprefix-x11
wine_prefix_ensure "$WINEPREFIX" x11
for n in $(seq 151 180); do [ -e /tmp/.X11-unix/X$n ] || { disp=:$n; break; }; done
Xvfb "$disp" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
export DISPLAY=$disp
trap 'wineserver -k >/dev/null 2>&1 || true; kill $xpid 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${disp#:}" ] && break; sleep 0.1; done
address=${1:-'samples\compare.html'}
shoot() {  # name, viewer arguments...
  local name=$1; shift
  (cd "$stage" && wine explorer /desktop=Tabs,1280x800 tab_content_viewer.exe "$@" >/dev/null 2>&1 &)
  sleep "${SCREEN_DELAY:-8}"
  import -window root "$root/build/$name.png"
  wineserver -k >/dev/null 2>&1 || true
  sleep 1
  echo "screenshot: $root/build/$name.png"
}
shoot tab-content "$address" ie55 ie7 ie8
shoot tab-content-child -child "$address" ie55 ie7 ie8
