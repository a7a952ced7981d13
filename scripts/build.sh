#!/usr/bin/env bash
# Configures and builds one target: scripts/build.sh x86_64|i686 [extra cmake args]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
arch=${1:-x86_64}; shift || true
dir=$root/build/$arch
# ccache, where installed, lets several work trees share compiled objects.
launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S "$root" -B "$dir" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-$arch-w64-mingw32.cmake" "${launcher[@]}" "$@"
fi
cmake --build "$dir"
