#!/usr/bin/env bash
# Builds x86_64 and runs the benchmark executable under Wine (headless prefix).
#   scripts/bench.sh [runs]                         every figure
#   scripts/bench.sh isolation-multi                the isolation layer's figures only
#   scripts/bench.sh host [runs]                    a hosted tab: start to about:blank, memory
#   scripts/bench.sh soak-decoder [buffers] [seed]  pipe decoder soak (1000000 buffers)
#   scripts/bench.sh soak-hooks [cycles] [threads]  isolation layer soak (1000 cycles, 16 threads)
#   scripts/bench.sh capture [runs]                 vantrell.exe -capture: the sample page in 5.5, 6, 7
#                                                   and 8, and 20 pages in those 4 versions (80 pictures)
#                                                   in one run, multi-thread against multi-process (3 runs)
#   scripts/bench.sh child-tab [runs]               multi-process mode: new-tab command to the page's title
#                                                   in a child, against a trivial process's start and end
#   scripts/bench.sh faults [rounds]                the long fault runs: a child killed at random moments
#                                                   (100 rounds) and the parent killed (rounds / 5 times)
# A soak ends with "N passed, M failed" and exits non-zero when one failed.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh" x86_64
build=$root/build/x86_64
. "$root/scripts/wine-env.sh"
wine_session_start "$build/wineprefix"

# Capture figures: medians over the runs. A version's time is the one its
# line prints (engine start, load, DocumentComplete, picture written); a run's
# time is the whole program from start to exit, measured here.
capture_bench() {
  local runs=${1:-3} stage=$build/stage work=$build/bench-capture
  rm -rf "$work"; mkdir -p "$work/pages"
  local sample pages=() i
  sample=$(winepath -w "$stage/samples/compare.html")
  for i in $(seq -w 1 20); do
    sed "s|<title>[^<]*</title>|<title>Page $i</title>|; s|<h1>One page, every engine</h1>|<h1>Page $i</h1>|" \
      "$stage/samples/compare.html" > "$work/pages/page$i.html"
    pages+=("$(winepath -w "$work/pages/page$i.html")")
  done
  local key='HKCU\Software\Brenmoor\Vantrell\Options'
  median() { sort -n | awk '{a[NR]=$1} END {print (NR ? a[int((NR+1)/2)] : 0)}'; }
  declare -A result
  local mode name v r start end code lines
  for mode in 0 1; do
    name=$([ $mode = 0 ] && echo multi-thread || echo multi-process)
    wine reg add "$key" /v MultiProcessMode /t REG_DWORD /d $mode /f >/dev/null
    for r in $(seq "$runs"); do
      start=$(date +%s%N)
      out=$(set -o pipefail; cd "$stage" && wine vantrell.exe -capture "$(winepath -w "$work/sample-$name-$r")" \
              -ie55 "$sample" -ie6 "$sample" -ie7 "$sample" -ie8 "$sample" | tr -d '\r') || { echo "$out"; exit 1; }
      end=$(date +%s%N)
      echo $(( (end - start) / 1000000 )) >> "$work/sample-$name-whole.ms"
      for v in "IE 5.5" "IE 6" "IE 7" "IE 8"; do
        echo "$out" | awk -F'\t' -v v="$v" '$1 == v {sub(/ ms/, "", $4); print $4}' >> "$work/sample-$name-${v// /}.ms"
      done
      local args=()
      for v in ie55 ie6 ie7 ie8; do args+=("-$v" "${pages[@]}"); done
      start=$(date +%s%N)
      code=0
      out=$(set -o pipefail; cd "$stage" && wine vantrell.exe -capture "$(winepath -w "$work/many-$name-$r")" "${args[@]}" | tr -d '\r') || code=$?
      end=$(date +%s%N)
      lines=$(echo "$out" | grep -c ' ms$' || true)
      if [ $code != 0 ] || [ "$lines" != 80 ]; then echo "$out" | grep -v ' ms$'; echo "80 pictures: exit $code, $lines written"; exit 1; fi
      echo $(( (end - start) / 1000000 )) >> "$work/many-$name.ms"
    done
    for v in IE5.5 IE6 IE7 IE8 whole; do result[$name-$v]=$(median < "$work/sample-$name-$v.ms"); done
    result[$name-many]=$(median < "$work/many-$name.ms")
  done
  wine reg delete "$key" /v MultiProcessMode /f >/dev/null 2>&1 || true
  echo "capture, median of $runs runs (ms)        multi-thread  multi-process  process/thread"
  for v in IE5.5 IE6 IE7 IE8; do
    printf '  sample page, %-26s %12s %14s %15s\n' "$v" "${result[multi-thread-$v]}" "${result[multi-process-$v]}" \
      "$(awk -v a="${result[multi-thread-$v]}" -v b="${result[multi-process-$v]}" 'BEGIN {printf "%.2f", (a ? b / a : 0)}')"
  done
  printf '  %-39s %12s %14s %15s\n' "sample page in all 4, whole run" "${result[multi-thread-whole]}" \
    "${result[multi-process-whole]}" \
    "$(awk -v a="${result[multi-thread-whole]}" -v b="${result[multi-process-whole]}" 'BEGIN {printf "%.2f", (a ? b / a : 0)}')"
  printf '  %-39s %12s %14s %15s\n' "80 pictures (20 pages x 4), whole run" "${result[multi-thread-many]}" \
    "${result[multi-process-many]}" \
    "$(awk -v a="${result[multi-thread-many]}" -v b="${result[multi-process-many]}" 'BEGIN {printf "%.2f", (a ? b / a : 0)}')"
}

if [ "${1:-}" = faults ]; then
  cd "$build/stage"
  VANTRELL_LONG_RUNS=${2:-100} wine shell_tests.exe --gtest_filter='Tabs.LongRun*'
  exit $?
fi
if [ "${1:-}" = capture ]; then
  shift
  capture_bench "$@"
  exit 0
fi
cd "$build/stage" && wine vantrell_bench.exe "$@"
