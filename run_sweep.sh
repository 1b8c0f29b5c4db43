#!/usr/bin/env bash
# Builds the frequency sweep and runs it on one bundled example deck in a
# directory of its own (build/sweeps/NAME under the periodic test,
# build/sweeps/NAME_piston or NAME_split under the others, so that each
# load keeps its results), then draws its dispersion and attenuation
# curves into frequency_sweep.png there.
#   ./run_sweep.sh [NAME [FMIN FMAX NFREQ]]
# NAME: a folder of examples/ (default permafrost_layered).  FMIN FMAX
# NFREQ replace the deck's frequency grid (its first three lines).  The
# environment variable LOAD=piston or LOAD=split runs the sweep under the
# rigid piston or the split load of a closed sample (default: periodic, the
# sample as one period of an infinite medium).
set -euo pipefail
cd "$(dirname "$0")"
name="${1:-permafrost_layered}"
if [ "$#" -ne 0 ] && [ "$#" -ne 1 ] && [ "$#" -ne 4 ]; then
  echo "usage: ./run_sweep.sh [NAME [FMIN FMAX NFREQ]]" >&2
  exit 2
fi
load="${LOAD:-periodic}"
case "$load" in
  periodic) run="build/sweeps/$name" ;;
  piston | split) run="build/sweeps/${name}_$load" ;;
  *) echo "run_sweep.sh: LOAD=$load is not a load (periodic, piston or split)" >&2; exit 2 ;;
esac
case "$name" in
  "" | *[!A-Za-z0-9_-]*) echo "run_sweep.sh: '$name' is not the name of a folder of examples/" >&2; exit 2 ;;
esac
[ -d "examples/$name" ] || { echo "run_sweep.sh: no example named $name in examples/" >&2; exit 2; }
./install_missing.sh gnuplot
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DUPSCALE_TESTS=OFF > /dev/null
cmake --build build -j2 --target upscale_sweep > /dev/null
rm -rf "$run" && mkdir -p "$run"
cp examples/"$name"/* "$run"/
cd "$run"
if [ "$#" -eq 4 ]; then
  # Each of the first three lines becomes the new value followed by the
  # line's own comment.
  awk -v fmin="$2" -v fmax="$3" -v nfreq="$4" \
    'NR == 1 { $1 = fmin } NR == 2 { $1 = fmax } NR == 3 { $1 = nfreq } { print }' deck.in > deck.tmp
  mv deck.tmp deck.in
fi
../../upscale_sweep --load "$load" < deck.in | tee sweep_summary.txt
gnuplot -e "name='$name'" ../../../examples/plot_sweep.gp
echo "table in $run/frequency_sweep.dat, curves in $run/frequency_sweep.png"
