#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes the whole path from demo bytes to log bytes
# for a bounded time.
#
#   fuzz/run_fuzz.sh [SECONDS]     (default 120)
#
# Starts from a copy of the seed corpus and of any sample demos in examples/,
# so the repository is never written to. Exits 0 when the time ran out without
# a finding; otherwise non-zero, after printing each crashing, leaking, slow or
# memory-hungry input as a hex dump (xxd -r turns it back into the file).
# The inputs are also kept in build/fuzz/findings/.
set -euo pipefail

seconds=${1:-120}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: $0 [SECONDS]" >&2
  exit 2
fi

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target kest_fuzz_demo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp fuzz/corpus/* "$work/corpus/"
if [[ -d examples ]]; then
  while IFS= read -r -d '' demo; do
    cp "$demo" "$work/corpus/example-$(basename "$demo")"
  done < <(find examples -name '*.dm2' -type f -print0)
fi

findings=build/fuzz/findings
rm -rf "$findings"
mkdir -p "$findings"

echo "== fuzzing kest_fuzz_demo for ${seconds}s from $(ls "$work/corpus" | wc -l) demos"
status=0
build/fuzz/fuzz/kest_fuzz_demo \
  -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=65536 \
  -dict=fuzz/demo.dict -artifact_prefix="$findings/" -print_final_stats=1 \
  "$work/corpus" || status=$?

dump() {
  if command -v xxd >/dev/null; then xxd "$1"; else od -A x -t x1z -v "$1"; fi
}

found=0
for input in "$findings"/*; do
  [[ -f $input ]] || continue
  case $(basename "$input") in
    crash-* | leak-* | timeout-* | oom-* | slow-unit-*) found=1 ;;
  esac
  echo "== finding: $input ($(stat -c %s "$input") bytes)"
  dump "$input"
done

if ((status != 0 || found)); then
  echo "== fuzzing FAILED (libFuzzer exit code $status); add the input above to fuzz/regressions/"
  exit 1
fi
echo "== fuzzing passed: no crash, leak, timeout or out-of-memory in ${seconds}s"
