#!/usr/bin/env bash
# Picture of a tab's script errors: the page with a script error in IE 7 and
# IE 8 (two tabs), the status bar's sign of the active tab's errors and the
# list the sign opens. Builds first; runs under Xvfb. Saves
# build/app-script-errors.png (VANTRELL_LANGID=12: French, with a -fr
# suffix; VANTRELL_MULTIPROCESS=1: the tabs in child processes, with a -mp
# suffix).
#   scripts/script-error-screens.sh [address]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64 >/dev/null
stage=$root/build/x86_64/stage
. "$root/scripts/wine-env.sh"
wine_screen_session_start "$root/build/x86_64/wineprefix-x11" 171
suffix=
wine reg delete 'HKCU\Software\Brenmoor\Vantrell' /f >/dev/null 2>&1 || true
if [ -n "${VANTRELL_LANGID:-}" ]; then
  wine reg add 'HKCU\Software\Brenmoor\Vantrell\Options' /v langID /t REG_DWORD /d "$VANTRELL_LANGID" /f >/dev/null
  [ "$VANTRELL_LANGID" = 12 ] && suffix=-fr
fi
if [ -n "${VANTRELL_MULTIPROCESS:-}" ]; then
  wine reg add 'HKCU\Software\Brenmoor\Vantrell\Options' /v MultiProcessMode /t REG_DWORD /d 1 /f >/dev/null
  suffix=$suffix-mp
fi
address=${1:-'samples\script-error.html'}
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 vantrell.exe -ie7 "$address" -ie8 "$address" >/dev/null 2>&1 &)
sleep "${SCREEN_DELAY:-8}"
# 230: the sign's command, posted because the list it opens is modal.
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 window_command.exe post:230 >/dev/null 2>&1) || true
sleep 2
import -window root "$root/build/app-script-errors$suffix.png"
wineserver -k >/dev/null 2>&1 || true
echo "screenshot: $root/build/app-script-errors$suffix.png"
