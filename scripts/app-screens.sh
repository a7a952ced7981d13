#!/usr/bin/env bash
# Pictures of the program's main window: the sample page in 5.5, 6, 7 and 8
# as four tabs, then with the active tab (8) in a second tab group beside
# the others. Builds first; runs under Xvfb. Saves build/app-tabs.png and
# build/app-groups.png (VANTRELL_LANGID=12: French, with a -fr suffix;
# VANTRELL_LOOK=215..218: the Office 2007 blue, black, silver or aqua look,
# with a -lookN suffix; VANTRELL_MULTIPROCESS=1: every tab in its own child
# process, with version 9 as a fifth tab and a -mp suffix; with
# VANTRELL_BUSY=1 as well, one child is then stopped for a while and
# build/app-busy<suffix>.png shows the notice of a page that does not respond).
#   scripts/app-screens.sh [address]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64 >/dev/null
stage=$root/build/x86_64/stage
. "$root/scripts/wine-env.sh"
wine_screen_session_start "$root/build/x86_64/wineprefix-x11" 171
suffix=
# Each run starts from the default settings, then applies its own.
wine reg delete 'HKCU\Software\Brenmoor\Vantrell' /f >/dev/null 2>&1 || true
if [ -n "${VANTRELL_LANGID:-}" ]; then
  wine reg add 'HKCU\Software\Brenmoor\Vantrell\Options' /v langID /t REG_DWORD /d "$VANTRELL_LANGID" /f >/dev/null
  [ "$VANTRELL_LANGID" = 12 ] && suffix=-fr
fi
if [ -n "${VANTRELL_LOOK:-}" ]; then
  wine reg add 'HKCU\Software\Brenmoor\Vantrell\Workspace' /v ApplicationLook /t REG_DWORD /d "$VANTRELL_LOOK" /f >/dev/null
  suffix=$suffix-look$VANTRELL_LOOK
fi
if [ -n "${VANTRELL_MULTIPROCESS:-}" ]; then
  wine reg add 'HKCU\Software\Brenmoor\Vantrell\Options' /v MultiProcessMode /t REG_DWORD /d 1 /f >/dev/null
  suffix=$suffix-mp
fi
address=${1:-'samples\compare.html'}
tabs=(-ie55 "$address" -ie6 "$address" -ie7 "$address" -ie8 "$address")
[ -n "${VANTRELL_MULTIPROCESS:-}" ] && tabs+=(-ie9 "$address")
# 58017: new vertical tab group (the active tab moves beside the others).
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 vantrell.exe "${tabs[@]}" >/dev/null 2>&1 &)
sleep "${SCREEN_DELAY:-8}"
import -window root "$root/build/app-tabs$suffix.png"
# The command tool runs on the same virtual desktop, where it sees the window.
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 window_command.exe 58017 >/dev/null 2>&1) || true
sleep 2
import -window root "$root/build/app-groups$suffix.png"
if [ -n "${VANTRELL_MULTIPROCESS:-}" ] && [ -n "${VANTRELL_BUSY:-}" ]; then
  # A child stopped from outside looks to the program like a page busy in a
  # long script: after 5 s the notice asks whether to wait.
  child=$(pgrep -f 'vantrell.exe -pcode=' | head -n 1 || true)
  if [ -n "$child" ]; then
    kill -STOP "$child"
    sleep 9
    import -window root "$root/build/app-busy$suffix.png"
    kill -CONT "$child"
    echo "screenshot: $root/build/app-busy$suffix.png"
  fi
fi
wineserver -k >/dev/null 2>&1 || true
echo "screenshots: $root/build/app-tabs$suffix.png $root/build/app-groups$suffix.png"
