#!/usr/bin/env bash
# Times kest against the floor of its work, reading the same files with cat,
# on a warm page cache, over generated corpora:
#     bench/vs_cat.sh CORPUS_FOLDER [--runs N] [--chart PNG] [--tiny]
# Builds a release kest (the bench preset, build/bench), writes the corpora
# into CORPUS_FOLDER with make_corpus unless the same ones are there already,
# then for each corpus runs kest '*.dm2' and cat *.dm2 >/dev/null in the same
# folder by turns (kest, cat, kest, cat, ...) N times each (7; at least 5),
# after one untimed run of each that brings the files into the page cache.
# Prints the medians, their ratio, kest's peak memory (maximum resident set
# of /usr/bin/time -v) and the log's size; then the peak memory of one 10 MB
# demo against the 4 GB one; then draws time against corpus size for kest and
# cat (subsets of the long corpus, and the 4 GB demo) with gnuplot into PNG
# (CORPUS_FOLDER/vs_cat.png). --tiny makes a corpus of a few MB, for CI.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

usage() {
  echo "usage: bench/vs_cat.sh CORPUS_FOLDER [--runs N] [--chart PNG] [--tiny]" >&2
  exit 2
}
folder=
runs=7
chart=
corpus_args=(--long 100 --long-bytes 10000000 --archive 10000 --huge-bytes 4400000000)
while (($#)); do
  case $1 in
    --runs) (($# >= 2)) || usage; runs=$2; shift 2 ;;
    --chart) (($# >= 2)) || usage; chart=$2; shift 2 ;;
    --tiny) corpus_args=(--long 4 --long-bytes 400000 --archive 40 --huge-bytes 3000000); shift ;;
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
if ! (cd "$root" && cmake --preset bench && cmake --build --preset bench -j2 --target kest make_corpus) >"$folder/build.log" 2>&1; then
  cat "$folder/build.log" >&2
  exit 1
fi
kest=$build/src/kest

# The corpora are made again only when they were made with other arguments or not to the end.
echo "== corpora in $folder"
made_with="${corpus_args[*]} --seed 1"
if [[ $(cat "$folder/corpus.args" 2>/dev/null) != "$made_with" ]]; then
  rm -rf "$folder/long" "$folder/archive" "$folder/huge" "$folder/long-gz" "$folder/chart" "$folder/corpus.args"
  "$build/bench/make_corpus" "$folder" "${corpus_args[@]}" --seed 1
  echo "$made_with" >"$folder/corpus.args"
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

bytes_of() { find "$1" -maxdepth 1 -name "$2" -printf '%s\n' | awk '{ total += $1 } END { printf "%.0f\n", total }'; }
count_of() { find "$1" -maxdepth 1 -name "$2" -printf '.' | wc -c; }
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
seconds_since() { awk -v start="$1" -v end="$EPOCHREALTIME" 'BEGIN { printf "%.4f\n", end - start }'; }
peak_mb() { # the maximum resident set of a run of kest in folder $1 with pattern $2, in MB
  (cd "$1" && /usr/bin/time -v "$kest" "$2" 2>&1 >/dev/null) |
    awk -F': ' '/Maximum resident set size/ { printf "%.1f\n", $2 / 1024 }'
}

# Times kest over the pattern $2 in folder $1 against the floor command $3 over the same files,
# interleaved, and appends "label bytes kest_s floor_s" to $results; prints the row.
results=$folder/vs_cat.tsv
: >"$results"
time_against_floor() {
  local label=$1 dir=$2 pattern=$3 floor=$4 kest_times=() floor_times=() start
  cd "$dir"
  "$kest" "$pattern" >/dev/null
  eval "$floor $pattern >/dev/null"
  for ((run = 1; run <= runs; run++)); do
    start=$EPOCHREALTIME
    "$kest" "$pattern" >/dev/null
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
  if grep -q WARNING "$dir/console.txt" || ! grep -qx "Demo filesize: $size" "$dir/kest.log"; then
    echo "vs_cat: kest did not read $demo whole:" >&2
    cat "$dir/console.txt" >&2
    exit 1
  fi
  awk -F': ' -v name="$(basename "$demo")" -v size="$size" -v lines="$(grep -c '^TIME' "$dir/kest.log")" '
    /Elapsed \(wall clock\)/ { wall = $2 }
    /Maximum resident set size/ { peak = $2 / 1024 }
    END { printf "%-20s %14.0f bytes, %8d messages, %s wall, peak memory %.1f MB\n", name, size, lines, wall, peak }' \
    "$dir/time.txt"
  rm -f "$dir/console.txt" "$dir/time.txt"
done
time_against_floor huge "$folder/huge" '*.dm2' cat >/dev/null

if command -v gnuplot >/dev/null; then
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
     "" using (\$2/1e6):4 with points pt 11 ps 1.6 title "cat: archive, 4 GB demo"
EOF
  echo "chart: $chart"
else
  echo "chart skipped: gnuplot is not installed (apt-get install gnuplot-nox)"
fi
