# Sourced by the run and test scripts: prepares a private Wine prefix.
#   wine_prefix_ensure DIR DRIVER   creates DIR as a prefix on first use; DRIVER is
#                                   "null" (headless) or "x11" (pictures under Xvfb).
# Wine's download prompts for its own HTML (Gecko) and .NET (Mono) engines are
# switched off while the prefix is created and kept off afterwards.
#
# Every prefix is a 64-bit one; the i686 build's prefixes run its 32-bit
# programs beside Wine's 64-bit services (as on 64-bit Windows), which start
# faster than 32-bit ones under emulation and let one test start a program
# of the other build.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64

# The loaders. Once 32-bit Wine is installed, the "wine" launcher tries the
# 32-bit loader first, which costs every 64-bit start ~0.6 s and more: Wine's
# own programs (reg, wineboot, cmd, explorer, regsvr32, winepath) and the
# x86_64 build's run through the 64-bit loader directly, the i686 build's
# programs through the 32-bit one (under qemu's emulation on these machines).
WINE64_LOADER=/usr/lib/wine/wine64
[ -x "$WINE64_LOADER" ] || WINE64_LOADER=$(command -v wine64 || command -v wine)
WINE32_LOADER=/usr/lib/wine/wine
[ -x "$WINE32_LOADER" ] || WINE32_LOADER=$(command -v wine)
wine() { "$WINE64_LOADER" "$@"; }
wine32() { "$WINE32_LOADER" "$@"; }
winepath() { "$WINE64_LOADER" winepath "$@"; }
# The loader for the programs of a build: wine_loader x86_64|i686
wine_loader() { if [ "$1" = i686 ]; then echo "$WINE32_LOADER"; else echo "$WINE64_LOADER"; fi; }

wine_prefix_ensure() {
  local dir=$1 driver=$2
  mkdir -p "$dir"
  (
    flock 9
    if [ ! -f "$dir/.vantrell-ready" ]; then
      export WINEPREFIX=$dir
      WINEDLLOVERRIDES="mscoree,mshtml=" wine wineboot -i >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\MSHTML' /v GeckoUrl /d '' /f >/dev/null 2>&1 || true
      wine reg add 'HKCU\Software\Wine\DllOverrides' /v mscoree /d '' /f >/dev/null 2>&1 || true
      # A crashing program prints its backtrace and ends instead of waiting
      # in a crash dialog nobody sees (which would keep a test's output open).
      wine reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1 || true
      if [ "$driver" = null ]; then
        # On a busy machine a first "reg add" can come back before the new
        # prefix's registry is ready: check it took, or the whole test run
        # would fail to create any window.
        local try
        for try in 1 2 3 4 5; do
          wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1 || true
          wine reg query 'HKCU\Software\Wine\Drivers' /v Graphics 2>/dev/null | grep -q null && break
          sleep 2
        done
        wine reg query 'HKCU\Software\Wine\Drivers' /v Graphics 2>/dev/null | grep -q null ||
          { echo "wine-env: cannot set the null graphics driver in $dir" >&2; exit 1; }
      fi
      wineserver -w
      touch "$dir/.vantrell-ready"
    fi
  ) 9>"$dir.lock"
}

# The first program of a wineserver session starts Wine's services, which
# inherit that program's standard handles and outlive it: a test runner
# reading those handles would wait for them until its time-out. Starting the
# services from a program whose handles lead nowhere avoids that (and costs
# ~0.1 s once they run).
wine_services_start() {
  wine cmd /c exit </dev/null >/dev/null 2>&1 || true
}

# A headless session in DIR for a run of several programs: the prefix, one
# persistent wineserver (a launch then costs ~0.1 s instead of ~3 s) and the
# services; the server is stopped when the calling script exits. A script may
# hold sessions of several prefixes (the test run holds one per build); the
# last one started is the current WINEPREFIX.
WINE_SESSION_PREFIXES=()
wine_sessions_end() {
  local dir
  for dir in "${WINE_SESSION_PREFIXES[@]}"; do WINEPREFIX=$dir wineserver -k >/dev/null 2>&1 || true; done
}
wine_session_start() {
  # Wine takes only an absolute prefix path.
  export WINEPREFIX=$(realpath -m "$1")
  wine_prefix_ensure "$WINEPREFIX" null
  wineserver -p >/dev/null 2>&1 </dev/null &
  WINE_SESSION_PREFIXES+=("$WINEPREFIX")
  trap wine_sessions_end EXIT
  wine_services_start
}

# Pictures: the x11 prefix DIR and a private Xvfb screen on a free display
# from FIRST on (1280x800); DISPLAY is exported and both the X server and
# the wineserver are stopped when the calling script exits.
#   wine_screen_session_start DIR FIRST
wine_screen_session_start() {
  export WINEPREFIX=$(realpath -m "$1")
  wine_prefix_ensure "$WINEPREFIX" x11
  local n disp=
  for n in $(seq "$2" $(($2 + 29))); do [ -e /tmp/.X11-unix/X$n ] || { disp=:$n; break; }; done
  Xvfb "$disp" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  WINE_SCREEN_XPID=$!
  export DISPLAY=$disp
  trap 'wineserver -k >/dev/null 2>&1 || true; kill $WINE_SCREEN_XPID 2>/dev/null || true' EXIT
  for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${disp#:}" ] && break; sleep 0.1; done
}

# Runs a program of the stage inside Wine's virtual desktop (which draws
# title bars), waits SCREEN_DELAY seconds (default 8), saves the screen as
# build/NAME.png and ends the session's programs.
#   wine_shoot ROOT STAGE NAME PROGRAM [ARGS...]
wine_shoot() {
  local root=$1 stage=$2 name=$3; shift 3
  (cd "$stage" && wine explorer /desktop=Pictures,1280x800 "$@" >/dev/null 2>&1 &)
  sleep "${SCREEN_DELAY:-8}"
  import -window root "$root/build/$name.png"
  wineserver -k >/dev/null 2>&1 || true
  sleep 1
  echo "screenshot: $root/build/$name.png"
}
