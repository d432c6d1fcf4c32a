#!/usr/bin/env bash
# Plants each fault of tools/mutations.txt alone in a scratch copy of the tree, rebuilds that
# copy and runs the test suite in it (the release build's, or another preset's): a fault that
# no test fails on is one the suite misses. The work tree itself is only read.
# See docs/mutation_check.md.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd -P)
faults_file=$root/tools/mutations.txt
scratch=${TMPDIR:-/tmp}/kest-mutation-$(printf %s "$root" | cksum | cut -d' ' -f1)
demos=
tsv=
timeout=
jobs=2
preset=release
check_only=false
selected=()

usage() {
  cat <<EOF
Usage: tools/mutation_check.sh [options] [FAULT_ID...]
Plants each fault (or only those named) alone in a scratch copy of the tree, rebuilds it
and runs the test suite there; prints whether the suite caught it and with which tests.
  --scratch DIR  the scratch copy and its build, kept for the next run (default: $scratch)
  --demos DIR    the real recordings (default: ../shared/demos beside the tree)
  --tsv FILE     the failing tests per fault, tab-separated (default: SCRATCH/results.tsv)
  --faults FILE  the list of faults (default: tools/mutations.txt)
  --timeout SEC  a test that runs longer fails, as caught by timeout (default: three times
                 the longest test on the tree as it is, and at least 30)
  --jobs N       parallel build and test jobs (default: $jobs)
  --preset NAME  the configure preset to build and test with (default: $preset; asan also sees
                 faults that only spoil memory)
  --check        only check that every fault's text occurs exactly once in its file
EOF
}

while (($#)); do
  case $1 in
    --scratch) scratch=${2:?}; shift 2 ;;
    --demos) demos=${2:?}; shift 2 ;;
    --tsv) tsv=${2:?}; shift 2 ;;
    --faults) faults_file=${2:?}; shift 2 ;;
    --timeout) timeout=${2:?}; shift 2 ;;
    --jobs) jobs=${2:?}; shift 2 ;;
    --preset) preset=${2:?}; shift 2 ;;
    --check) check_only=true; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) usage >&2; exit 2 ;;
    *) selected+=("$1"); shift ;;
  esac
done

fail() {
  echo "mutation_check: $*" >&2
  exit 2
}

now() { date +%s.%N; }
seconds_since() { awk -v a="$1" -v b="$(now)" 'BEGIN { printf "%.1f", b - a }'; }

# Sets `file_text` to the file's text, exactly, its last line end included.
file_text=
read_text() {
  file_text=$(cat "$1" && printf x) || fail "cannot read $1"
  file_text=${file_text%x}
}

# ---- The list of faults: blocks of three lines, separated by empty lines.
#   ID FILE DESCRIPTION...
#   - TEXT TO FIND (exactly once in FILE)
#   + ITS REPLACEMENT
ids=() files=() finds=() replaces=() descriptions=()
parse_faults() {
  local line number=0 id= file= description= find= replace= have_find= have_replace=
  flush() {
    [[ -n $id ]] || return 0
    [[ -n $have_find && -n $have_replace ]] || fail "$faults_file: fault $id lacks its - or + line"
    ids+=("$id") files+=("$file") finds+=("$find") replaces+=("$replace") descriptions+=("$description")
    id= have_find= have_replace=
  }
  while IFS= read -r line || [[ -n $line ]]; do
    ((++number))
    case $line in
      '#'* | '') flush ;;
      '- '*) find=${line#- }; have_find=1 ;;
      '+ '* | '+') replace=${line#+}; replace=${replace# }; have_replace=1 ;;
      *)
        flush
        read -r id file description <<<"$line"
        [[ -n $file ]] || fail "$faults_file:$number: expected 'ID FILE DESCRIPTION'"
        ;;
    esac
  done <"$faults_file"
  flush
}

# Why a fault cannot be planted in the text of its file, if it cannot.
refusal() {
  local text=$1 find=$2 replace=$3
  [[ -n $find ]] || { echo "no text to find"; return; }
  [[ $find != "$replace" ]] || { echo "the replacement is the text itself"; return; }
  [[ $text == *"$find"* ]] || { echo "its text is not in the file"; return; }
  local before=${text%%"$find"*}
  [[ ${text:${#before}+1} != *"$find"* ]] || echo "its text occurs more than once in the file"
}

parse_faults
((${#ids[@]})) || fail "no faults in $faults_file"
declare -A index_of=()
for i in "${!ids[@]}"; do
  [[ -z ${index_of[${ids[i]}]:-} ]] || fail "fault ${ids[i]} is listed twice"
  index_of[${ids[i]}]=$i
done
if ((${#selected[@]} == 0)); then
  selected=("${ids[@]}")
fi
refused=0
for id in "${selected[@]}"; do
  [[ -n ${index_of[$id]:-} ]] || fail "no fault $id in $faults_file"
  i=${index_of[$id]}
  [[ -f $root/${files[i]} ]] || { echo "$id: refused: no file ${files[i]}"; ((++refused)); continue; }
  read_text "$root/${files[i]}"
  why=$(refusal "$file_text" "${finds[i]}" "${replaces[i]}")
  [[ -z $why ]] || { echo "$id: refused: $why (${files[i]})"; ((++refused)); }
done
((refused == 0)) || fail "$refused fault(s) refused: fix them in $faults_file"
if $check_only; then
  echo "${#selected[@]} faults, each one's text found exactly once in its file"
  exit 0
fi

if [[ -z $demos ]]; then
  demos=$root/../shared/demos
fi
[[ -d $demos ]] || fail "no real recordings at $demos (--demos DIR): the suite would skip their tests"
demos=$(cd "$demos" && pwd)
tree=$scratch/tree
build=$tree/build/$preset
logs=$scratch/logs
tsv=${tsv:-$scratch/results.tsv}
case $(realpath -m "$scratch")/ in
  "$root"/*) fail "the scratch copy must lie outside the tree: $scratch" ;;
esac
mkdir -p "$tree" "$logs" "$(dirname "$tsv")"

# The scratch copy holds the files of the work tree that git has or would add. A file whose
# text differs is copied with a fresh time, so that what was built from an older text (or
# from a fault left behind by a run that was killed) is built again; the rest keep theirs.
sync_scratch() {
  local file
  declare -A wanted=()
  while IFS= read -r -d '' file; do
    [[ -f $root/$file ]] || continue
    wanted[$file]=1
    if ! cmp -s "$root/$file" "$tree/$file"; then
      mkdir -p "$(dirname "$tree/$file")"
      cp "$root/$file" "$tree/$file"
    fi
  done < <(git -C "$root" ls-files -z --cached --others --exclude-standard)
  while IFS= read -r -d '' file; do
    [[ -n ${wanted[${file#"$tree"/}]:-} ]] || rm -f "$file"
  done < <(find "$tree" -path "$tree/build" -prune -o -type f -print0)
}

# The fault in place, if one is: its file in the scratch copy and that file's own text.
planted_file=
original_text=
restore() {
  if [[ -n $planted_file ]]; then
    printf %s "$original_text" >"$planted_file"
    planted_file=
  fi
}
trap restore EXIT
trap 'restore; echo "mutation_check: interrupted; the scratch copy is as the tree" >&2; exit 130' INT TERM

build_tree() { cmake --build "$build" --parallel "$jobs" >"$1" 2>&1; }

# Runs the suite; sets `failed` to the tests that failed (a name, a tab, how: Failed, Timeout...).
failed=
run_suite() {
  local log=$1
  ctest --test-dir "$build" --parallel "$jobs" --timeout "${timeout:-1500}" --output-on-failure >"$log" 2>&1 && return 0
  failed=$(sed -n '/^The following tests FAILED:/,$p' "$log" |
    sed -nE 's/^[[:space:]]*[0-9]+ - ([^ ]+) \(([^)]*)\).*/\1\t\2/p')
  [[ -n $failed ]] || failed=$'(the suite did not run: see the log)\tError'
  return 1
}

started=$(now)
echo "mutation_check: scratch copy $tree, recordings $demos"
sync_scratch
generator=()
if [[ ! -f $build/CMakeCache.txt ]] && command -v ninja >/dev/null; then
  generator=(-G Ninja)
fi
(cd "$tree" && cmake --preset "$preset" "${generator[@]}" -DKEST_REAL_DEMOS_DIR="$demos") >"$logs/configure.log" 2>&1 ||
  fail "configuring failed: $logs/configure.log"
build_tree "$logs/build.log" || fail "the tree as it is does not build: $logs/build.log"
suite_started=$(now)
if ! run_suite "$logs/suite.log"; then
  echo "$failed" | cut -f1 | sed 's/^/  /' >&2
  fail "the suite fails on the tree as it is: $logs/suite.log"
fi
tests=$(sed -nE 's/^100% tests passed, 0 tests failed out of ([0-9]+)/\1/p' "$logs/suite.log")
longest=$(sed -nE 's/.* Passed +([0-9.]+) sec$/\1/p' "$logs/suite.log" | sort -rn | head -1)
timeout=${timeout:-$(awk -v l="${longest:-0}" 'BEGIN { t = int(3 * l) + 1; print t < 30 ? 30 : t }')}
echo "mutation_check: tree built and ${tests:-all} tests passed ($(seconds_since "$started") s in all, the suite" \
  "$(seconds_since "$suite_started") s, its longest test ${longest:-?} s); a test times out after $timeout s"

printf 'fault\toutcome\tfailed\ttimed_out\tbuild_s\ttest_s\ttests\n' >"$tsv"
caught=0 missed=0 unbuilt=0
for id in "${selected[@]}"; do
  i=${index_of[$id]}
  target=$tree/${files[i]}
  read_text "$target"
  original_text=$file_text
  planted_file=$target
  text=${original_text/"${finds[i]}"/"${replaces[i]}"}
  printf %s "$text" >"$target"
  build_started=$(now)
  failed=
  if ! build_tree "$logs/$id.build.log"; then
    outcome=does-not-build build_s=$(seconds_since "$build_started") test_s=0
  else
    build_s=$(seconds_since "$build_started")
    test_started=$(now)
    if run_suite "$logs/$id.log"; then outcome=missed; else outcome=caught; fi
    test_s=$(seconds_since "$test_started")
  fi
  restore
  count=0 timed_out=0 names=
  if [[ -n $failed ]]; then
    count=$(wc -l <<<"$failed")
    timed_out=$(cut -f2 <<<"$failed" | grep -c '^Timeout$' || true)
    names=$(cut -f1 <<<"$failed" | tr '\n' ' ')
    names=${names% }
  fi
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$id" "$outcome" "$count" "$timed_out" "$build_s" "$test_s" "$names" >>"$tsv"
  case $outcome in
    caught)
      ((++caught))
      shown=$(cut -d' ' -f1-3 <<<"$names")
      ((count <= 3)) || shown+=" and $((count - 3)) more"
      ((timed_out == 0)) || shown+=" ($timed_out timed out)"
      printf '%-28s caught  %3d test(s): %s\n' "$id" "$count" "$shown"
      ;;
    missed) ((++missed)); printf '%-28s MISSED  %s\n' "$id" "${descriptions[i]}" ;;
    *) ((++unbuilt)); printf '%-28s does not build: %s\n' "$id" "$logs/$id.build.log" ;;
  esac
done

total=${#selected[@]}
elapsed=$(seconds_since "$started")
echo "mutation_check: $total faults: $caught caught, $missed missed, $unbuilt do not build;" \
  "$elapsed s in all, $(awk -v t="$elapsed" -v n="$total" 'BEGIN { printf "%.1f", t / n }') s a fault; $tsv"
