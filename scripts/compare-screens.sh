#!/usr/bin/env bash
# Pictures of "Compare side by side": the sample page opened with
# -compare-view in the versions chosen for "All IE versions" (5.5, 7 and 8
# here), one tab group each, the tabs linked, after a scroll of the first
# tab that the others followed. Builds first; runs under Xvfb. Saves
# build/compare-view.png (VANTRELL_LANGID=12: French, build/compare-view-fr.png;
# VANTRELL_MULTIPROCESS=1: every tab in its own child process, with a -mp suffix).
#   scripts/compare-screens.sh [address]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64 >/dev/null
stage=$root/build/x86_64/stage
. "$root/scripts/wine-env.sh"
wine_screen_session_start "$root/build/x86_64/wineprefix-x11" 171
suffix=
key='HKCU\Software\Brenmoor\Vantrell\Options'
wine reg delete 'HKCU\Software\Brenmoor\Vantrell' /f >/dev/null 2>&1 || true
if [ -n "${VANTRELL_LANGID:-}" ]; then
  wine reg add "$key" /v langID /t REG_DWORD /d "$VANTRELL_LANGID" /f >/dev/null
  [ "$VANTRELL_LANGID" = 12 ] && suffix=-fr
fi
if [ -n "${VANTRELL_MULTIPROCESS:-}" ]; then
  wine reg add "$key" /v MultiProcessMode /t REG_DWORD /d 1 /f >/dev/null
  suffix=$suffix-mp
fi
for code in 5 7 8; do wine reg add "$key" /v "OpenAll_IE$code" /t REG_DWORD /d 1 /f >/dev/null; done
for code in 6 9 D; do wine reg add "$key" /v "OpenAll_IE$code" /t REG_DWORD /d 0 /f >/dev/null; done
address=${1:-'samples\compare.html'}
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 vantrell.exe -compare-view -ie8 "$address" >/dev/null 2>&1 &)
sleep "${SCREEN_DELAY:-10}"
# A few lines down in the first tab: the linked tabs follow. The tool runs
# on the same virtual desktop, where it sees the window.
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 window_command.exe scroll:6 >/dev/null 2>&1) || true
sleep 2
import -window root "$root/build/compare-view$suffix.png"
wineserver -k >/dev/null 2>&1 || true
echo "screenshot: $root/build/compare-view$suffix.png"
