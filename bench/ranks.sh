#!/usr/bin/env bash
# One sample over MPI ranks: for N x N one-frequency sweeps of the patchy
# permafrost deck, the wall time, the peak memory of each rank and the
# largest difference from the sequential build's table (against each
# column's largest value), for 1 and 2 ranks of the MPI build.
#   bench/ranks.sh [N ...]          (default: 120 240 480)
# Needs build/ (the default build) and build-mpi/ (-DUPSCALE_MPI=ON); writes
# build/bench_ranks/ and prints one line per run:
#   N ranks wall_s peak_MB_rank0 peak_MB_rank1 largest_difference
set -euo pipefail
cd "$(dirname "$0")/.."
sizes=("$@")
[ "${#sizes[@]}" -gt 0 ] || sizes=(120 240 480)
export OMPI_ALLOW_RUN_AS_ROOT=1 OMPI_ALLOW_RUN_AS_ROOT_CONFIRM=1
root="$PWD/build/bench_ranks"
mpi_sweep="$PWD/build-mpi/upscale_sweep"
rm -rf "$root" && mkdir -p "$root"
echo "# N ranks wall_s peak_MB_rank0 peak_MB_rank1 largest_difference"
for n in "${sizes[@]}"; do
  case_dir="$root/case_$n"
  python3 examples/make_deck.py --layout patchy --nx "$n" --ny "$n" --fmin 10 --fmax 10 --nfreq 1 "$case_dir" > /dev/null
  sequential="$root/sequential_$n"
  cp -r "$case_dir" "$sequential"
  (cd "$sequential" && /usr/bin/time -f "%e %M" -o time.txt ../../upscale_sweep -j 1 < deck.in > out.txt 2> err.txt)
  read -r wall kib < "$sequential/time.txt"
  echo "$n sequential $wall $((kib / 1024)) - 0"
  for ranks in 1 2; do
    run="$root/mpi_${n}_$ranks"
    cp -r "$case_dir" "$run"
    start=$(date +%s.%N)
    (cd "$run" && mpirun --oversubscribe -np "$ranks" sh -c \
      'exec /usr/bin/time -f "%M" -o peak.$OMPI_COMM_WORLD_RANK "$0" -j 1 < deck.in > out.$OMPI_COMM_WORLD_RANK 2> err.$OMPI_COMM_WORLD_RANK' \
      "$mpi_sweep")
    wall=$(echo "$(date +%s.%N) - $start" | bc)
    peaks=""
    for r in 0 1; do
      if [ -f "$run/peak.$r" ]; then peaks="$peaks $(( $(tail -1 "$run/peak.$r") / 1024 ))"; else peaks="$peaks -"; fi
    done
    difference=$(awk 'NR == FNR { if (FNR > 1) for (i = 1; i <= NF; i++) a[FNR, i] = $i; next }
      FNR > 1 { for (i = 1; i <= NF; i++) if ($i ~ /^[-0-9]/) {
                  d = $i - a[FNR, i]; if (d < 0) d = -d; v = $i < 0 ? -$i : $i
                  if (d > w[i]) w[i] = d; if (v > b[i]) b[i] = v } }
      END { m = 0; for (i in w) if (b[i] > 0 && w[i] / b[i] > m) m = w[i] / b[i]; printf "%.1e", m }' \
      "$sequential/frequency_sweep.dat" "$run/frequency_sweep.dat")
    printf '%s %s %.1f%s %s\n' "$n" "$ranks" "$wall" "$peaks" "$difference"
  done
done
