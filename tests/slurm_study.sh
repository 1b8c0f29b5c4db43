#!/usr/bin/env bash
# One real Slurm run of a small study: starts munged, slurmctld and slurmd
# for this machine alone from a generated configuration in a temporary
# directory, runs a study of 4 realisations x 5 frequencies of a 10 x 10
# deck with --engine slurm --wait into an OUTPUT whose name holds a "%"
# (a pattern character of sbatch's file names), and compares its summary
# byte for byte with the local engine's.  The study file is edited right
# after the submission: the tasks read the copy frozen at submission.  Then
# a study submitted held keeps its output while its array waits: a second
# study there is refused, and its tasks refuse a study of other inputs.  The daemons it started are stopped by their
# process ids when the script ends, whether the test passed or not; every
# wait is bounded.
#   tests/slurm_study.sh BUILD_DIR
# Exit status: 0 passed, 77 skipped (not root: the daemons need it), other
# values failed.  The waits add up to less than ctest's limit of 900 s, so
# that the script's own exit, and with it the stop of the daemons, comes
# first.
set -euo pipefail
build="$(cd "$1" && pwd)"

if [ "$(id -u)" -ne 0 ]; then
  echo "skipped: starting munged, slurmctld and slurmd needs root"
  exit 77
fi
for tool in munged slurmctld slurmd sbatch sinfo; do
  command -v "$tool" > /dev/null || { echo "FAILED: $tool is missing (./install_missing.sh slurm installs it)"; exit 1; }
done

# The daemons of a private one-node cluster, and fail / wait_for.
source "$(dirname "$0")/slurm_cluster.sh"

# 3. The same small study through both engines.
work="$tmp/work"
mkdir -p "$work/case" "$work/cwd"
sed -e 's/^30 \{18\}nx/10                  nx/' -e 's/^30 \{18\}ny/10                  ny/' \
  -e 's/^30 \{18\}nl(1)/10                  nl(1)/' \
  "$(dirname "$0")/../examples/study_permafrost/case/deck.in" > "$work/case/deck.in"
for engine in local slurm; do
  cat > "$work/$engine.txt" << STUDY
case         = case
realisations = 4
seed         = 11
maps         = --kind binary --fraction 0.4 --values 0.08 0.2 --correlation 0.2 0.1 --file ice
fmin         = 0.001
fmax         = 10.0
nfreq        = 5
modulus      = c33
output       = out_$engine
STUDY
done
sed -i 's/^output .*/output       = out_slurm%a/' "$work/slurm.txt"
cd "$work/cwd"
timeout 240 "$build/upscale_study" "$work/local.txt" -j 2 > "$work/local.log" 2>&1 || fail "local engine: $(cat "$work/local.log")"
# The study file changed at once after the submission (another seed): the
# tasks, which start later, must not see it.
( for _ in $(seq 1 100); do
    [ -f "$work/out_slurm%a/slurm/sbatch_array.out" ] && { sed -i 's/^seed .*/seed = 12/' "$work/slurm.txt"; break; }
    sleep 0.1
  done ) &
editor=$!
timeout 480 "$build/upscale_study" "$work/slurm.txt" --engine slurm -j 2 --wait > "$work/slurm.log" 2>&1 \
  || fail "slurm engine: $(cat "$work/slurm.log"; cat "$work"/out_slurm%a/slurm/*.err 2> /dev/null)"
wait "$editor"
grep -q '^seed = 12' "$work/slurm.txt" || fail "the study file was not edited during the run"
cat "$work/slurm.log"

# 4. The same bytes; every file of the jobs inside OUTPUT.
cmp "$work/out_local/study_summary.dat" "$work/out_slurm%a/study_summary.dat" \
  || fail "the two engines' summaries differ"
[ "$(wc -l < "$work/out_slurm%a/study_summary.dat")" -eq 6 ] || fail "the summary has not 5 rows"
for r in 1 2 3 4; do
  [ -f "$work/out_slurm%a/slurm/task_$r.out" ] || fail "no output file of task $r in OUTPUT/slurm (\"%\" not escaped?)"
done
[ -f "$work/out_slurm%a/slurm/merge.out" ] || fail "no output file of the merge job in OUTPUT/slurm"
[ -z "$(ls -A "$work/cwd")" ] || fail "files written outside OUTPUT: $(ls -A "$work/cwd")"
timeout 10 "$build/upscale_study" --status "$work/out_slurm%a" | grep -q "realisations done: 4 of 4" || fail "--status"
# 5. The output lock for the life of an array.  Study A is submitted held
#    (its tasks wait in the queue, holding no lock): study B into A's output
#    is refused with 2, by either engine, and A's plan stays as it was.
sed -e 's/^output .*/output       = out_lock/' -e 's/^realisations .*/realisations = 2/' "$work/slurm.txt" \
  > "$work/lock_a.txt"
echo "slurm        = --hold" >> "$work/lock_a.txt"
timeout 60 "$build/upscale_study" "$work/lock_a.txt" --engine slurm -j 2 > "$work/lock_a.log" 2>&1 \
  || fail "study A was not submitted: $(cat "$work/lock_a.log")"
array="$(sed -n 's/^ job array \([0-9]*\):.*/\1/p' "$work/lock_a.log")"
merge="$(sed -n 's/^ merge job \([0-9]*\) .*/\1/p' "$work/lock_a.log")"
[ -n "$array" ] && [ -n "$merge" ] || fail "no job ids in: $(cat "$work/lock_a.log")"
sed 's/^seed .*/seed = 99/' "$work/lock_a.txt" > "$work/lock_b.txt"
cp "$work/out_lock/study_plan" "$work/plan_a"
for engine in slurm local; do
  status=0
  timeout 60 "$build/upscale_study" "$work/lock_b.txt" --engine "$engine" > "$work/lock_b.log" 2>&1 || status=$?
  [ "$status" -eq 2 ] || fail "study B ($engine) into A's queued output ended with $status: $(cat "$work/lock_b.log")"
  grep "is in use by the Slurm jobs" "$work/lock_b.log" | grep "${array}_" | grep -q " $merge" \
    || fail "B's refusal does not name A's jobs $array and $merge: $(cat "$work/lock_b.log")"
  cmp -s "$work/plan_a" "$work/out_lock/study_plan" || fail "B ($engine) changed A's plan"
done
# 6. Had B got in (its plan and frozen study in A's output), A's tasks,
#    released, refuse to run it: each checks the signature it was
#    submitted with.
sed -e 's/^output .*/output       = out_b/' -e '/^slurm /d' "$work/lock_b.txt" > "$work/local_b.txt"
timeout 120 "$build/upscale_study" "$work/local_b.txt" -j 2 > "$work/local_b.log" 2>&1 \
  || fail "study B alone: $(cat "$work/local_b.log")"
cp "$work/out_b/study_plan" "$work/out_lock/study_plan"
sed -i 's/^seed = .*/seed = 99/' "$work/out_lock/slurm/study.txt"
scontrol release "$array"
array_over() { [ -z "$(timeout 10 squeue -h -j "$array" -o %i 2> /dev/null)" ]; }
wait_for 120 array_over || fail "A's array did not end within 120 s"
timeout 10 scancel "$merge" 2> /dev/null || true
for r in 1 2; do
  grep -q "this task was submitted for the study of signature" "$work/out_lock/slurm/task_$r.out" \
    || fail "task $r of A ran B's study: $(cat "$work/out_lock/slurm/task_$r."* 2> /dev/null)"
  [ ! -e "$work/out_lock/r0001/manifest" ] || fail "a task of A wrote a realisation of B"
done
echo "passed: the Slurm engine's summary equals the local engine's, byte for byte; a second study is refused while the first's array waits, and its tasks refuse another study"
