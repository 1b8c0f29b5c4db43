#!/usr/bin/env bash
# The scaling benchmark of the two solvers: a one-layer permafrost sample
# of N x N cells (N = 30 .. 480), swept at one and at three frequencies by
# `upscale_sweep -j 1`, on the built-in solver and on MUMPS.  For each run
# it records the unknowns, the CPU time (user + system) and the peak
# resident memory; the first frequency's time is that of the one-frequency
# sweep, a further frequency's the difference of the two sweeps over two.
#   bench/scaling.sh [BUILD_DIR [SIZES_BUILTIN [SIZES_MUMPS]]]
# Writes bench/scaling.dat (one row per solver and size) and, with gnuplot,
# bench/scaling.png.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
builtin_sizes="${2:-30 60 120 240}"
mumps_sizes="${3:-30 60 120 240 480}"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
out=bench/scaling.dat
echo "# solver cells_per_side unknowns first_frequency_cpu_s further_frequency_cpu_s peak_MB" > "$out"

deck() {  # deck N NFREQ
  awk -v n="$1" -v f="$2" 'NR == 1 { $1 = "1.0" } NR == 2 { $1 = "100.0" } NR == 3 { $1 = f }
       NR == 5 || NR == 6 { $1 = n } NR == 9 { $1 = 1 } /nl\(1\)/ { $1 = n } { print }' \
    examples/permafrost_layered/deck.in | head -29
}

measure() {  # measure SOLVER N NFREQ -> "cpu peak_kb"
  deck "$2" "$3" > "$work/deck.in"
  ( cd "$work" && /usr/bin/time -f "%U %S %M" -o time.txt \
      "$OLDPWD/$build/upscale_sweep" -j 1 --solver "$1" < deck.in > /dev/null 2> /dev/null )
  awk '{ printf "%.3f %d\n", $1 + $2, $3 }' "$work/time.txt"
}

for solver in builtin mumps; do
  sizes="$builtin_sizes"
  [ "$solver" = mumps ] && sizes="$mumps_sizes"
  for n in $sizes; do
    awk -v n="$n" 'BEGIN { for (k = 1; k <= n; ++k) for (j = 1; j <= n; ++j) print j, k, 0.08 }' > "$work/binary_ice_gnu.dat"
    read -r one peak_one < <(measure "$solver" "$n" 1)
    read -r three peak_three < <(measure "$solver" "$n" 3)
    unknowns=$(( 6 * n * n + 10 * n + 4 ))
    further=$(awk -v a="$one" -v b="$three" 'BEGIN { printf "%.3f", (b - a) / 2 }')
    peak=$(( (peak_three > peak_one ? peak_three : peak_one) / 1024 ))
    echo "$solver $n $unknowns $one $further $peak" | tee -a "$out"
  done
done

if command -v gnuplot > /dev/null; then
  gnuplot bench/plot_scaling.gp
fi
