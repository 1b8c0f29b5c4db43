#!/usr/bin/env bash
# Valgrind's memcheck over whole small runs of the program: a 3 x 20
# permafrost sample with the layered water proportion and a 3 x 20
# shaley-sand sample with the patchy map (two layer types each), so that
# every stage of the pass runs; then the frequency sweep (upscale_sweep,
# beside the program) over three frequencies of each sample, so that the
# reuse of the factor structure runs too.  Fails on any invalid access, use
# of an uninitialised value, leak, or an end other than the normal one (stop
# 40 for the program, status 0 for the sweep).
#
#   fuzz/run_valgrind.sh [path to the upscale executable]   (default build/upscale)
set -euo pipefail
cd "$(dirname "$0")/.."
program=$(realpath "${1:-build/upscale}")
sweep="$(dirname "$program")/upscale_sweep"
command -v valgrind > /dev/null || { echo "valgrind is not installed (Debian: apt-get install valgrind)"; exit 1; }
# The BLAS kernels the programs pin, named beforehand: a program that had to
# start itself again to pin them would leave valgrind's watch.
export OPENBLAS_CORETYPE=Prescott

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
status=0
for case in "permafrost 3 20" "shaley 3 20 patchy"; do
  read -r model nx ny patchy <<< "$case"
  dir=$scratch/${model}_${nx}x${ny}
  python3 examples/make_deck.py "$dir" --model "$model" --nx "$nx" --ny "$ny" --layout "${patchy:-layered}" > /dev/null
  for run in "$program 40" "$sweep 0"; do
    read -r executable normal_end <<< "$run"
    [ "$executable" = "$sweep" ] && sed -i '3s/^[^ ]*/3/' "$dir/deck.in"  # nfreq = 3
    set +e
    (cd "$dir" && valgrind --tool=memcheck --error-exitcode=101 --track-origins=yes --leak-check=full \
        --errors-for-leak-kinds=definite,indirect --log-file=memcheck.txt "$executable" < deck.in > echo.txt 2> stderr.txt)
    code=$?
    set -e
    summary=$(grep "ERROR SUMMARY" "$dir/memcheck.txt" | sed 's/^==[0-9]*== //')
    echo "$(basename "$executable") $model ${nx}x${ny} ${patchy:-layered}: exit status $code; $summary"
    if [ "$code" -ne "$normal_end" ]; then
      cat "$dir/memcheck.txt" "$dir/stderr.txt"
      status=1
    fi
  done
done
exit $status
