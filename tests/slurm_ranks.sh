#!/usr/bin/env bash
# One sample over two ranks through the real Slurm: on a private one-node
# cluster, a sweep of a 70 x 70 sample (three frequencies, the scalable
# solver) runs as "srun --mpi=pmix -n 2", once from the command line and
# once as the step of an sbatch job of two tasks; each table agrees with
# the default build's run of the same deck to 1e-10 of its column's
# largest value.
#   tests/slurm_ranks.sh MPI_BUILD_DIR SEQUENTIAL_BUILD_DIR
# Exit status: 0 passed, 77 skipped (not root: the daemons need it), other
# values failed.
set -euo pipefail
mpi_build="$(cd "$1" && pwd)"
sequential_build="$(cd "$2" && pwd)"

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: starting munged, slurmctld and slurmd needs root"
  exit 77
fi
for tool in munged slurmctld slurmd sbatch srun sinfo; do
  command -v "$tool" > /dev/null || { echo "FAILED: $tool is missing (./install_missing.sh slurm installs it)"; exit 1; }
done

source "$(dirname "$0")/slurm_cluster.sh"

# The case: the bundled patchy deck on a 70 x 70 mesh, three frequencies.
work="$tmp/work"
mkdir -p "$work/sequential" "$work/srun" "$work/sbatch"
python3 "$(dirname "$0")/../examples/make_deck.py" --layout patchy --nx 70 --ny 70 --fmin 1 --fmax 100 --nfreq 3 \
  --force "$work/sequential" > /dev/null
cp "$work/sequential"/* "$work/srun"/
cp "$work/sequential"/* "$work/sbatch"/
(cd "$work/sequential" && "$sequential_build/upscale_sweep" -j 1 < deck.in > out.txt 2> err.txt) \
  || fail "the sequential sweep: $(cat "$work/sequential/out.txt")"

(cd "$work/srun" && timeout 300 srun --mpi=pmix -n 2 "$mpi_build/upscale_sweep" -j 1 < deck.in > out.txt 2> err.txt) \
  || fail "srun --mpi=pmix -n 2: $(cat "$work/srun/out.txt" "$work/srun/err.txt")"

cat > "$work/sbatch/job.sh" << JOB
#!/bin/sh
#SBATCH --ntasks=2
#SBATCH --output=$work/sbatch/job.out
cd "$work/sbatch" && srun --mpi=pmix -n 2 "$mpi_build/upscale_sweep" -j 1 < deck.in > out.txt 2> err.txt
JOB
timeout 300 sbatch --wait "$work/sbatch/job.sh" > /dev/null \
  || fail "the sbatch job: $(cat "$work/sbatch/job.out" "$work/sbatch/out.txt" "$work/sbatch/err.txt" 2> /dev/null)"

# Column by column, every number within 1e-10 of the column's largest.
for run in srun sbatch; do
  grep -q "on 2 ranks" "$work/$run/out.txt" || fail "$run: the sweep did not run on 2 ranks: $(cat "$work/$run/out.txt")"
  awk 'NR == FNR { if (FNR > 1) for (i = 1; i <= NF; i++) a[FNR, i] = $i; next }
       FNR > 1 { for (i = 1; i <= NF; i++) if ($i ~ /^[-0-9]/) {
                   d = $i - a[FNR, i]; if (d < 0) d = -d; v = $i < 0 ? -$i : $i
                   if (d > worst[i]) worst[i] = d; if (v > big[i]) big[i] = v } }
       END { for (i in worst) if (worst[i] > 1e-10 * big[i]) { print "column " i ": " worst[i]; bad = 1 }; exit bad }' \
    "$work/sequential/frequency_sweep.dat" "$work/$run/frequency_sweep.dat" \
    || fail "$run: the table differs from the sequential run's"
done
echo "passed: srun --mpi=pmix -n 2, from the command line and from an sbatch job, gives the sequential sweep's table"
