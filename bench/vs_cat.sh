#!/usr/bin/env bash
# Times kest against the floor of its work, reading the same files with cat,
# on a warm page cache, over generated corpora:
#     bench/vs_cat.sh CORPUS_FOLDER [--runs N] [--chart PNG] [--recordings DIR] [--tiny]
# Builds a release kest (the bench preset, build/bench), writes the corpora
# into CORPUS_FOLDER with make_corpus unless the same ones are there already,
# and the multi-view corpus with demo_blocks from the blocks of the real
# multi-view recordings in DIR (KEST_REAL_DEMOS_DIR of the build, by default
# ../shared/demos beside the checkout; the row is skipped without them),
# then for each corpus runs kest '*.dm2' and cat *.dm2 >/dev/null in the same
# folder by turns (kest, cat, kest, cat, ...) N times each (7; at least 5),
# after one untimed run of each that brings the files into the page cache.
# Prints the medians, their ratio, kest's peak memory (maximum resident set
# of /usr/bin/time -v) and the log's size, and in the same way kest --json
# against kest without it over the long demos; then the peak memory of one 10 MB
# demo against the 4 GB one; then kest's instructions per block over the
# long and the multi-view demos; then draws time against corpus size for kest
# and cat (subsets of the long corpus, the archive, the 4 GB demo and the
# multi-view corpus) with gnuplot into PNG (CORPUS_FOLDER/vs_cat.png). --tiny
# makes corpora of a few MB, for CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: bench/vs_cat.sh CORPUS_FOLDER [--runs N] [--chart PNG] [--recordings DIR] [--tiny]" >&2
  exit 2
}
folder=
runs=7
chart=
recordings=
corpus_args=(--long 100 --long-bytes 10000000 --archive 10000 --huge-bytes 4400000000)
multiview_args=(--count 100 --bytes 10000000)
while (($#)); do
  case $1 in
    --runs) (($# >= 2)) || usage; runs=$2; shift 2 ;;
    --chart) (($# >= 2)) || usage; chart=$2; shift 2 ;;
    --recordings) (($# >= 2)) || usage; recordings=$(realpath -m "$2"); shift 2 ;;
    --tiny)
      corpus_args=(--long 4 --long-bytes 400000 --archive 40 --huge-bytes 3000000)
      multiview_args=(--count 4 --bytes 400000)
      shift
      ;;
    -*) usage ;;
    *) [[ -z $folder ]] || usage; folder=$1; shift ;;
  esac
done
[[ -n $folder ]] || usage
((runs >= 5)) || { echo "vs_cat: at least 5 runs of each, for a median that one slow run cannot move" >&2; exit 2; }
mkdir -p "$folder"
folder=$(cd "$folder" && pwd)
chart=${chart:-$folder/vs_cat.png}
[[ $chart == /* ]] || chart=$PWD/$chart

echo "== building a release kest (cmake --preset bench, build/bench)"
build=$root/build/bench
if ! (cd "$root" && cmake --preset bench && cmake --build --preset bench -j2 --target kest make_corpus demo_blocks) >"$folder/build.log" 2>&1; then
  cat "$folder/build.log" >&2
  exit 1
fi
kest=$build/src/kest
demo_blocks=$build/bench/demo_blocks
recordings=${recordings:-$(sed -n 's/^KEST_REAL_DEMOS_DIR:[A-Z]*=//p' "$build/CMakeCache.txt")}

# The corpora are made again only when they were made with other arguments or not to the end.
echo "== corpora in $folder"
made_with="${corpus_args[*]} --seed 1"
if [[ $(cat "$folder/corpus.args" 2>/dev/null) != "$made_with" ]]; then
  rm -rf "$folder/long" "$folder/archive" "$folder/huge" "$folder/long-gz" "$folder/chart" "$folder/corpus.args"
  "$build/bench/make_corpus" "$folder" "${corpus_args[@]}" --seed 1
  echo "$made_with" >"$folder/corpus.args"
fi

# The multi-view corpus: the real recordings' blocks, cycled into files as long as the long demos.
multiview_skipped=
made_with="${multiview_args[*]} $recordings"
if [[ $(cat "$folder/multiview.args" 2>/dev/null) != "$made_with" ]]; then
  rm -rf "$folder/multiview" "$folder/multiview.args"
  made=0
  "$demo_blocks" multiview "$folder/multiview" "${multiview_args[@]}" "$recordings" || made=$?
  case $made in
    0) echo "$made_with" >"$folder/multiview.args" ;;
    3) multiview_skipped="no multi-view recording in $recordings (--recordings DIR)" ;;
    *) exit 1 ;;
  esac
fi

# The long corpus gzipped, for the row of kest against zcat.
if [[ ! -f $folder/long-gz/complete ]]; then
  rm -rf "$folder/long-gz"
  mkdir -p "$folder/long-gz"
  for demo in "$folder"/long/*.dm2; do
    gzip -c "$demo" >"$folder/long-gz/$(basename "$demo").gz"
  done
  touch "$folder/long-gz/complete"
fi

# Folders of the first 1/8, 1/4, 1/2 and all of the long demos, as hard links, for the chart.
long_demos=("$folder"/long/*.dm2)
if [[ ! -d $folder/chart ]]; then
  for share in 8 4 2 1; do
    count=$(((${#long_demos[@]} + share - 1) / share))
    [[ -d $folder/chart/$count ]] && continue
    mkdir -p "$folder/chart/$count"
    ln "${long_demos[@]:0:count}" "$folder/chart/$count/"
  done
fi

# Fails the script unless the run whose standard output is in file $2 read the demos $3... whole:
# no warning, and each demo's name and size in $1/kest.log, in order.
check_read_whole() {
  local dir=$1 console=$2 demo expected=
  shift 2
  for demo; do
    expected+="Demo filename: $(basename "$demo")"$'\n'"Demo filesize: $(stat -c %s "$demo")"$'\n'
  done
  if grep -q WARNING "$console" || [[ $(grep '^Demo file' "$dir/kest.log") != "${expected%$'\n'}" ]]; then
    echo "vs_cat: kest did not read $* whole:" >&2
    cat "$console" >&2
    exit 1
  fi
}
bytes_of() { find "$1" -maxdepth 1 -name "$2" -printf '%s\n' | awk '{ total += $1 } END { printf "%.0f\n", total }'; }
count_of() { find "$1" -maxdepth 1 -name "$2" -printf '.' | wc -c; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds_since() { awk -v start="$1" -v end="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", end - start }'; }
# Options kest runs with in the rows below; the row of kest --json sets them.
kest_options=()
peak_mb() { # the maximum resident set of a run of kest in folder $1 with pattern $2, in MB
  (cd "$1" && /usr/bin/time -v "$kest" "${kest_options[@]}" "$2" 2>&1 >/dev/null) |
    awk -F': ' '/Maximum resident set size/ { printf "%.1f\n", $2 / 1024 }'
}

# Times kest over the pattern $2 in folder $1 against the floor command $3 over the same files,
# interleaved, and appends "label bytes kest_s floor_s" to $results; prints the row.
results=$folder/vs_cat.tsv
: >"$results"
time_against_floor() {
  local label=$1 dir=$2 pattern=$3 floor=$4 kest_times=() floor_times=() start
  cd "$dir"
  "$kest" "${kest_options[@]}" "$pattern" >/dev/null
  eval "$floor $pattern >/dev/null"
  for ((run = 1; run <= runs; run++)); do
    start=$EPOCHREALTIME
    "$kest" "${kest_options[@]}" "$pattern" >/dev/null
    kest_times+=("$(seconds_since "$start")")
    start=$EPOCHREALTIME
    eval "$floor $pattern >/dev/null"
    floor_times+=("$(seconds_since "$start")")
  done
  local kest_s floor_s log_bytes peak
  kest_s=$(printf '%s\n' "${kest_times[@]}" | median)
  floor_s=$(printf '%s\n' "${floor_times[@]}" | median)
  log_bytes=$(stat -c %s kest.log)
  peak=$(peak_mb "$dir" "$pattern")
  cd "$root"
  local demos bytes
  demos=$(count_of "$dir" "$pattern")
  bytes=$(bytes_of "$dir" "$pattern")
  printf '%s\t%s\t%s\t%s\n' "$label" "$bytes" "$kest_s" "$floor_s" >>"$results"
  awk -v label="$label ($floor)" -v demos="$demos" -v bytes="$bytes" -v k="$kest_s" -v f="$floor_s" -v peak="$peak" \
    -v logbytes="$log_bytes" 'BEGIN { printf "%-15s %6d %14.0f %9.3f %9.3f %9.2f %8.1f %10d\n", label, demos, bytes, k, f, k / f, peak, logbytes }'
}

echo "== kest '*.dm2' against cat *.dm2 >/dev/null, medians of $runs interleaved runs each"
printf '%-15s %6s %14s %9s %9s %9s %8s %10s\n' corpus demos bytes kest_s floor_s kest/floor peak_MB log_bytes
time_against_floor long "$folder/long" '*.dm2' cat
# kest --json against kest without it: what the match facts cost.
kest_without_json() { "$kest" "$@"; }
kest_options=(--json)
time_against_floor long-json "$folder/long" '*.dm2' kest_without_json
kest_options=()
time_against_floor archive "$folder/archive" '*.dm2' cat
# kest learns .dm2.gz elsewhere; the row waits until the kest built here gives the same messages as from the plain file.
gz_sample=$(basename "${long_demos[0]}")
if (cd "$folder/long-gz" && "$kest" "$gz_sample.gz" >/dev/null 2>&1) &&
  diff <(grep -v '^Demo file' "$folder/long-gz/kest.log") \
    <(cd "$folder/long" && "$kest" "$gz_sample" >/dev/null && grep -v '^Demo file' kest.log) >/dev/null; then
  time_against_floor long-gz "$folder/long-gz" '*.dm2.gz' zcat
else
  echo "long-gz: skipped, this kest does not read .dm2.gz (it fails on $gz_sample.gz or its log differs from the plain demo's)"
fi
if [[ -n $multiview_skipped ]]; then
  echo "multiview: skipped, $multiview_skipped"
else
  multiview_demos=("$folder"/multiview/*.mvd2)
  rm -f "$folder/multiview/kest.log"
  (cd "$folder/multiview" && "$kest" '*.mvd2' >"$folder/console.txt") || true
  check_read_whole "$folder/multiview" "$folder/console.txt" "${multiview_demos[@]}"
  rm -f "$folder/console.txt"
  time_against_floor multiview "$folder/multiview" '*.mvd2' cat
fi
for dir in "$folder"/chart/*/; do
  time_against_floor "long-$(basename "$dir")" "$dir" '*.dm2' cat >/dev/null
done

echo "== one demo at a time: peak memory does not grow with the demo's size"
huge=$(ls "$folder"/huge/*.dm2)
for demo in "${long_demos[0]}" "$huge"; do
  size=$(stat -c %s "$demo")
  (cd "$(dirname "$demo")" && /usr/bin/time -v "$kest" "$(basename "$demo")" >console.txt 2>time.txt) ||
    { echo "vs_cat: kest failed on $demo:" >&2; cat "$(dirname "$demo")/console.txt" >&2; exit 1; }
  dir=$(dirname "$demo")
  check_read_whole "$dir" "$dir/console.txt" "$demo"
  awk -F': ' -v name="$(basename "$demo")" -v size="$size" -v lines="$(grep -c '^TIME' "$dir/kest.log")" '
    /Elapsed \(wall clock\)/ { wall = $2 }
    /Maximum resident set size/ { peak = $2 / 1024 }
    END { printf "%-20s %14.0f bytes, %8d messages, %s wall, peak memory %.1f MB\n", name, size, lines, wall, peak }' \
    "$dir/time.txt"
  rm -f "$dir/console.txt" "$dir/time.txt"
done
time_against_floor huge "$folder/huge" '*.dm2' cat >/dev/null

# Instructions are what a change to the walk moves, and unlike time they do not
# move with the machine's load: perf counts them where the processor's counters
# can be read, else callgrind (exact, but about fifty times slower, so over the
# first four demos of each corpus only). Only kest's own instructions are
# counted, not the kernel's copying, and those of a run over no demo (kest's
# start-up) are taken off, so what remains is the reading of the demos.
instructions_of() { # kest's instructions in user space in folder $1 with the arguments $2...
  local dir=$1
  shift
  if [[ $counter == perf ]]; then
    (cd "$dir" && perf stat -x, -e instructions:u -o "$folder/counter.txt" "$kest" "$@" >/dev/null)
    awk -F, '/instructions/ { print $1 }' "$folder/counter.txt"
  else
    (cd "$dir" && valgrind --tool=callgrind --callgrind-out-file=/dev/null "$kest" "$@" >/dev/null 2>"$folder/counter.txt")
    awk '/Collected :/ { print $NF }' "$folder/counter.txt"
  fi
  rm -f "$folder/counter.txt"
}
instructions_per_block() { # prints the row of the demos $2... (all with perf, four with callgrind), labelled $1
  local label=$1 dir blocks instructions demos
  shift
  dir=$(dirname "$1")
  demos=("${@##*/}")
  [[ $counter == perf ]] || demos=("${demos[@]:0:4}")
  blocks=$(cd "$dir" && "$demo_blocks" count "${demos[@]}")
  instructions=$(instructions_of "$dir" "${demos[@]}")
  awk -v label="$label" -v demos=${#demos[@]} -v blocks="$blocks" -v all="$instructions" -v startup="$startup" \
    'BEGIN { printf "%-15s %6d %12d %14.0f %10.1f\n", label, demos, blocks, all - startup, (all - startup) / blocks }'
}
if perf stat -x, -e instructions:u true 2>&1 >/dev/null | grep -q '^[0-9]'; then
  counter=perf
elif command -v valgrind >/dev/null; then
  counter=callgrind
else
  counter=
  echo "== instructions per block: skipped, perf cannot read the instruction counter here and valgrind is not installed"
fi
if [[ -n $counter ]]; then
  startup=$(instructions_of "$folder")
  echo "== instructions per block: $counter, kest's instructions less the $startup of its start-up, over the blocks read"
  printf '%-15s %6s %12s %14s %10s\n' corpus demos blocks instructions per_block
  instructions_per_block long "${long_demos[@]}"
  if [[ -z $multiview_skipped ]]; then
    instructions_per_block multiview "${multiview_demos[@]}"
  fi
fi

if command -v gnuplot >/dev/null; then
  multiview_plot=
  [[ -n $multiview_skipped ]] || multiview_plot=", \"< grep '^multiview\t' '$results'\" using (\$2/1e6):3 with points pt 13 ps 1.6 title \"kest: multi-view\", \"\" using (\$2/1e6):4 with points pt 15 ps 1.6 title \"cat: multi-view\""
  gnuplot <<EOF
set terminal pngcairo size 900,560 font ",11"
set output "$chart"
set title "kest against cat of the same files (warm page cache, medians of $runs runs)"
set xlabel "corpus size (MB)"
set ylabel "wall time (s)"
set key top left
set grid
set logscale xy
set datafile separator "\t"
plot "< grep '^long-[0-9]' '$results' | sort -t '\t' -k2 -n" using (\$2/1e6):3 with linespoints lw 2 pt 7 title "kest, long demos", \
     "" using (\$2/1e6):4 with linespoints lw 2 pt 5 title "cat, long demos", \
     "< grep -E '^(archive|huge)\t' '$results'" using (\$2/1e6):3 with points pt 9 ps 1.6 title "kest: archive, 4 GB demo", \
     "" using (\$2/1e6):4 with points pt 11 ps 1.6 title "cat: archive, 4 GB demo"$multiview_plot
EOF
  echo "chart: $chart"
else
  echo "chart skipped: gnuplot is not installed (apt-get install gnuplot-nox)"
fi
