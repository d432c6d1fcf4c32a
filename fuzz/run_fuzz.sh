#!/usr/bin/env bash
# Builds the fuzz preset and fuzzes the whole path from demo bytes to log bytes
# for a bounded time.
#
#   fuzz/run_fuzz.sh [SECONDS [DEMO_FOLDER...]]     (default 120 seconds)
#
# Starts from a copy of the seed corpus, of any sample demos in examples/ and
# of the demos (.dm2, .mvd2, gzipped or not) in the folders named, so the
# repository is never written to. Exits 0 when the time ran out without
# a finding; otherwise non-zero, after printing each crashing, leaking, slow or
# memory-hungry input as a hex dump (xxd -r turns it back into the file).
# The inputs are also copied to build/fuzz/findings/.
set -euo pipefail

seconds=${1:-120}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds == 0)); then
  echo "usage: $0 [SECONDS [DEMO_FOLDER...]]" >&2
  exit 2
fi
demo_folders=()
for folder in "${@:2}"; do
  demo_folders+=("$(cd "$folder" && pwd)")
done

root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j2 --target kest_fuzz_demo

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/corpus"
cp fuzz/corpus/* "$work/corpus/"
for folder in examples "${demo_folders[@]}"; do
  [[ -d $folder ]] || continue
  while IFS= read -r -d '' demo; do
    cp "$demo" "$work/corpus/$(basename "$folder")-$(basename "$demo")"
  done < <(find "$folder" \( -name '*.dm2*' -o -name '*.mvd2*' \) -type f -print0)
done

# Each run keeps its findings apart, so that runs side by side do not mix them.
findings=$work/findings
mkdir "$findings"

echo "== fuzzing kest_fuzz_demo for ${seconds}s from $(ls "$work/corpus" | wc -l) demos"
# The line for every new input would flood CI's log; the rest is kept.
set +e +o pipefail
build/fuzz/fuzz/kest_fuzz_demo \
  -max_total_time="$seconds" -timeout=1 -rss_limit_mb=2048 -max_len=65536 \
  -dict=fuzz/demo.dict -artifact_prefix="$findings/" -print_final_stats=1 \
  "$work/corpus" 2>&1 | grep --line-buffered -vE '^#[0-9]+[[:space:]]+(NEW|REDUCE) |^[[:space:]]+NEW_FUNC'
status=${PIPESTATUS[0]}
set -e -o pipefail

dump() {
  if command -v xxd >/dev/null; then xxd "$1"; else od -A x -t x1z -v "$1"; fi
}

found=0
for input in "$findings"/*; do
  [[ -f $input ]] || continue
  found=1
  mkdir -p build/fuzz/findings
  cp "$input" build/fuzz/findings/
  echo "== finding: build/fuzz/findings/$(basename "$input") ($(stat -c %s "$input") bytes)"
  dump "$input"
done

if ((status != 0 || found)); then
  echo "== fuzzing FAILED (libFuzzer exit code $status); add the input above to fuzz/regressions/"
  exit 1
fi
echo "== fuzzing passed: no crash, leak, timeout or out-of-memory in ${seconds}s"
