#!/usr/bin/env bash
# Installs what is missing, builds the program and runs it under Wine.
# Arguments are passed to vantrell.exe. VANTRELL_LANGID=12 runs it in French.
# VANTRELL_ARCH=i686 builds and runs the 32-bit program instead (in its own
# prefix, build/i686/wineprefix-x11).
# With no display it runs under Xvfb, saves a screenshot and prints its path.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${VANTRELL_ARCH:-x86_64}
case $arch in
  x86_64|i686) ;;
  *) echo "run.sh: VANTRELL_ARCH is x86_64 or i686, not $arch" >&2; exit 2 ;;
esac
"$root/scripts/install-deps.sh"
if [ "$arch" = i686 ]; then
  support=$(cat "$root/build/i686-support")
  [ "$support" = yes ] || { echo "run.sh: 32-bit programs cannot run on this machine: $support" >&2; exit 1; }
fi
"$root/scripts/build.sh" "$arch"
stage=$root/build/$arch/stage
. "$root/scripts/wine-env.sh"
export WINEPREFIX=$root/build/$arch/wineprefix-x11
# Version 9's files carry standard names; without this Wine would use its own.
export WINEDLLOVERRIDES="ieframe,mshtml,jscript,urlmon,wininet=n,b"
wine_prefix_ensure "$WINEPREFIX" x11
if [ -n "${VANTRELL_LANGID:-}" ]; then
  wine reg add 'HKCU\Software\Brenmoor\Vantrell\Options' /v langID /t REG_DWORD /d "$VANTRELL_LANGID" /f >/dev/null
fi

if [ -n "${DISPLAY:-}" ] && [ -z "${VANTRELL_SCREENSHOT:-}" ]; then
  cd "$stage" && exec "$(wine_loader "$arch")" vantrell.exe "$@"
fi

# Headless: a private X server, the program inside Wine's virtual desktop
# (which draws title bars), then a picture of the screen.
own_x=""
if [ -z "${DISPLAY:-}" ]; then
  for n in $(seq 90 120); do [ -e /tmp/.X11-unix/X$n ] || { disp=:$n; break; }; done
  Xvfb "$disp" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  own_x=$!
  export DISPLAY=$disp
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${disp#:}" ] && break; sleep 0.1; done
fi
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "$own_x" ] && kill "$own_x" 2>/dev/null || true
}
trap cleanup EXIT
(cd "$stage" && wine explorer /desktop=Vantrell,1280x800 vantrell.exe "$@" >/dev/null 2>&1 &)
sleep "${VANTRELL_SCREENSHOT_DELAY:-8}"
shot=${VANTRELL_SCREENSHOT:-$root/build/screenshot.png}
import -window root "$shot"
echo "screenshot: $shot"
