#!/usr/bin/env bash
# The README's jq query, run over kest.json of the sample demos, gives what the README shows.
#     readme_query_test.sh KEST SOURCE_DIR
set -euo pipefail
kest=$1
source=$2
command -v jq >/dev/null || { echo "jq is not installed"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$source"/examples/*.dm2 "$source"/examples/*.mvd2 "$work/"
cd "$work"
"$kest" --json '*.dm2' '*.mvd2' >/dev/null
# The query is the README's one indented line that starts with jq; what it gives, the indented
# lines after the next "gives" line.
query=$(sed -n 's/^    \(jq .*\)$/\1/p' "$source/README.md")
[[ $(wc -l <<<"$query") == 1 ]] || { echo "the README shows no jq query, or more than one"; exit 1; }
expected=$(awk '/^gives/ { on = 1; next } on && /^    / { print substr($0, 5); next } on && NF { exit }' "$source/README.md")
[[ -n $expected ]] || { echo "the README shows nothing the query gives"; exit 1; }
diff <(printf '%s\n' "$expected") <(eval "$query")
