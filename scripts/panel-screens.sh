#!/usr/bin/env bash
# Pictures of the developer-toolbar panel with the stand-in component
# (stage\fennick\fennick.dll, registered in the picture prefix with
# regsvr32; the program itself never registers it): the sample page in a
# version-7 tab with the panel shown (command 2002), then the source window
# of "View source code" (command 328). Builds first; runs under Xvfb.
# Saves build/panel.png and build/panel-source.png.
#   scripts/panel-screens.sh [address]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64 >/dev/null
stage=$root/build/x86_64/stage
. "$root/scripts/wine-env.sh"
wine_screen_session_start "$root/build/x86_64/wineprefix-x11" 173
wine reg delete 'HKCU\Software\Brenmoor\Vantrell' /f >/dev/null 2>&1 || true
wine regsvr32 /s "$(winepath -w "$stage/fennick/fennick.dll")" >/dev/null 2>&1
address=${1:-'samples\compare.html'}
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 vantrell.exe -ie7 "$address" >/dev/null 2>&1 &)
sleep "${SCREEN_DELAY:-8}"
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 window_command.exe 2002 >/dev/null 2>&1) || true
sleep 2
import -window root "$root/build/panel.png"
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 window_command.exe 328 >/dev/null 2>&1) || true
sleep 2
import -window root "$root/build/panel-source.png"
wine regsvr32 /s /u "$(winepath -w "$stage/fennick/fennick.dll")" >/dev/null 2>&1 || true
wineserver -k >/dev/null 2>&1 || true
echo "screenshots: $root/build/panel.png $root/build/panel-source.png"
