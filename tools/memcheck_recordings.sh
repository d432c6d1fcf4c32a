#!/usr/bin/env bash
# Runs kest under valgrind's memcheck over the real recordings (the good
# players' demos together, each multi-view recording, then the demo in a
# protocol kest does not decode) and fails on any memory error or leak.
set -euo pipefail
kest=$(readlink -f "${1:?usage: memcheck_recordings.sh KEST_BINARY [DEMOS_DIR]}")
demos=$(readlink -f "${2:-$(dirname "$0")/../../shared/demos}")
if [[ ! -d $demos ]]; then
  echo "memcheck: no recordings folder at $demos, skipped"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$demos"/*.dm2 "$demos"/*.mvd2* "$work"/
cd "$work"
memcheck=(valgrind --quiet --error-exitcode=99 --leak-check=full --show-leak-kinds=all --errors-for-leak-kinds=all)

good=()
for demo in *.dm2; do
  [[ $demo == mission64-demo1.dm2 ]] || good+=("$demo")
done
"${memcheck[@]}" "$kest" "${good[@]}" >/dev/null
cmp kest.log "$demos/expected/all-good.log"
for recording in *.mvd2*; do
  "${memcheck[@]}" "$kest" "$recording" >/dev/null
  cmp kest.log "$demos/expected/${recording%%.*}.log"
done

status=0
"${memcheck[@]}" "$kest" mission64-demo1.dm2 >/dev/null || status=$?
if ((status != 1)); then
  echo "memcheck: expected exit 1 for the unknown protocol, got $status"
  exit 1
fi
echo "memcheck: no errors, no leaks"
