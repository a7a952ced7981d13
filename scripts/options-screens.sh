#!/usr/bin/env bash
# Pictures of the open-in-all dialog, the three pages of the options sheet
# and the Favorites menu (from a small Favorites folder of the picture
# prefix). Builds first; runs under Xvfb. Saves build/open-all.png,
# build/options-general.png, build/options-language.png,
# build/options-advanced.png and build/favorites.png.
#   scripts/options-screens.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64 >/dev/null
stage=$root/build/x86_64/stage
. "$root/scripts/wine-env.sh"
wine_screen_session_start "$root/build/x86_64/wineprefix-x11" 171
wine reg delete 'HKCU\Software\Brenmoor\Vantrell' /f >/dev/null 2>&1 || true
# The Favorites folder of the pictures.
fav=$WINEPREFIX/drive_c/vantrell-favorites
rm -rf "$fav"
mkdir -p "$fav/Standards" "$fav/Browsers"
shortcut() { printf '[InternetShortcut]\r\nURL=%s\r\n' "$2" > "$fav/$1.url"; }
shortcut "Compare page" 'file:///C:/vantrell/samples/compare.html'
shortcut "Standards/W3C" 'http://www.w3.org/'
shortcut "Standards/CSS 2.1" 'http://www.w3.org/TR/CSS21/'
shortcut "Browsers/Rendering engines" 'http://www.example.com/engines.html'
shortcut "Quirks & standards mode" 'http://www.example.com/quirks.html'
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v Favorites /t REG_EXPAND_SZ /d 'C:\vantrell-favorites' /f >/dev/null
(cd "$stage" && wine explorer /desktop=Pictures,1280x800 vantrell.exe -ie8 'samples\compare.html' >/dev/null 2>&1 &)
sleep "${SCREEN_DELAY:-8}"
# The command tool runs on the same virtual desktop, where it sees the window.
cmd() { (cd "$stage" && wine explorer /desktop=Pictures,1280x800 window_command.exe "$@" >/dev/null 2>&1) || true; }
shot() { sleep 2; import -window root "$root/build/$1.png"; }
cmd post:32827; shot open-all
cmd dialog:2
cmd post:2001; shot options-general
cmd page:1; shot options-language
cmd page:2; shot options-advanced
cmd dialog:1
cmd "click:${FAVORITES_X:-794},${FAVORITES_Y:-68}"; shot favorites
wineserver -k >/dev/null 2>&1 || true
echo "screenshots: $root/build/{open-all,options-general,options-language,options-advanced,favorites}.png"
