#!/usr/bin/env bash
# Times kest over a folder of generated demos, as a user runs it on a folder
# of recordings: `kest '*.dm2'`, the whole run from start to exit.
#     bench/run_folder.sh [BUILD_DIR] [COUNT] [RUNS]
# BUILD_DIR defaults to build/bench (cmake --preset bench && cmake --build
# --preset bench -j2), COUNT to 1000 demos, RUNS to 7 timed runs after one
# warm-up run. Prints each run's wall time, then the median and its MB/s.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "${1:-$root/build/bench}")
count=${2:-1000}
runs=${3:-7}
kest=$build/src/kest
make_folder=$build/bench/make_demo_folder
if [[ ! -x $kest || ! -x $make_folder ]]; then
  echo "run_folder: no kest or make_demo_folder in $build; build the bench preset first" >&2
  exit 1
fi

folder=$(mktemp -d)
trap 'rm -rf "$folder"' EXIT
"$make_folder" "$folder" "$count" >/dev/null
bytes=$(find "$folder" -name '*.dm2' -printf '%s\n' | awk '{ total += $1 } END { print total }')
cd "$folder"
echo "$count demos, $bytes bytes, in $folder"

# Median wall time in microseconds of RUNS runs of a command, each run's time on stderr.
median_of_runs() {
  local times=() start end
  for ((run = 1; run <= runs; run++)); do
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    times+=($(((end - start) / 1000)))
    awk -v run="$run" -v us="${times[-1]}" 'BEGIN { printf "  run %d: %.1f ms\n", run, us / 1000 }' >&2
  done
  printf '%s\n' "${times[@]}" | sort -n | awk '{ t[NR] = $1 } END { print (NR % 2) ? t[(NR + 1) / 2] : (t[NR / 2] + t[NR / 2 + 1]) / 2 }'
}

# The warm-up run brings the demos into the page cache, so every timed run reads them from memory.
"$kest" '*.dm2' >/dev/null
echo "kest '*.dm2', $runs runs:"
median=$(median_of_runs "$kest" '*.dm2')
awk -v us="$median" -v bytes="$bytes" 'BEGIN { printf "median: %.1f ms, %.1f MB/s\n", us / 1000, bytes / us }'
