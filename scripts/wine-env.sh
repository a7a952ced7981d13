# Sourced by the run and test scripts: prepares a private Wine prefix.
#   wine_prefix_ensure DIR DRIVER   creates DIR as a prefix on first use; DRIVER is
#                                   "null" (headless) or "x11" (pictures under Xvfb).
# Wine's download prompts for its own HTML (Gecko) and .NET (Mono) engines are
# switched off while the prefix is created and kept off afterwards.
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64

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
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
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
# services; the server is stopped when the calling script exits.
wine_session_start() {
  export WINEPREFIX=$1
  wine_prefix_ensure "$WINEPREFIX" null
  wineserver -p >/dev/null 2>&1 </dev/null &
  trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
  wine_services_start
}
