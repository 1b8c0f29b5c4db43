#!/usr/bin/env bash
# Valgrind's memcheck over whole small runs of the program: a 3 x 20
# permafrost sample with the layered water proportion and a 3 x 20
# shaley-sand sample with the patchy map (two layer types each), so that
# every stage of the pass runs.  Fails on any invalid access, use of an
# uninitialised value, leak, or an end other than the normal stop 40.
#
#   fuzz/run_valgrind.sh [path to the upscale executable]   (default build/upscale)
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/upscale}")
command -v valgrind > /dev/null || { echo "valgrind is not installed (Debian: apt-get install valgrind)"; exit 1; }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for case in "permafrost 3 20" "shaley 3 20 patchy"; do
  read -r model nx ny patchy <<< "$case"
  dir=$scratch/${model}_${nx}x${ny}
  python3 examples/make_deck.py "$dir" "$model" "$nx" "$ny" $patchy
  set +e
  (cd "$dir" && valgrind --tool=memcheck --error-exitcode=101 --track-origins=yes --leak-check=full \
      --errors-for-leak-kinds=definite,indirect --log-file=memcheck.txt "$program" < deck.in > echo.txt 2> stderr.txt)
  code=$?
  set -e
  summary=$(grep "ERROR SUMMARY" "$dir/memcheck.txt" | sed 's/^==[0-9]*== //')
  echo "$model ${nx}x${ny} ${patchy:-layered}: exit status $code; $summary"
  if [ "$code" -ne 40 ]; then
    cat "$dir/memcheck.txt" "$dir/stderr.txt"
    status=1
  fi
done
exit $status
