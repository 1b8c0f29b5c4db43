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

tmp="$(mktemp -d /tmp/upscale_slurm_XXXXXX)"
pids=()
stop_daemons() {
  # The daemons this script started, newest first, by their process ids.
  local i pid
  # Jobs still queued or running on this private cluster are cancelled
  # first, so that no task outlives the test.
  if [ "${#pids[@]}" -ge 3 ]; then
    timeout 10 squeue -h -o %i 2> /dev/null | xargs -r timeout 10 scancel 2> /dev/null || true
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    pid="${pids[$i]}"
    kill -TERM "$pid" 2> /dev/null || true
    for _ in $(seq 1 50); do kill -0 "$pid" 2> /dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2> /dev/null || true
  done
  if [ "${keep:-0}" != 1 ]; then rm -rf "$tmp"; fi
}
trap stop_daemons EXIT
fail() {
  echo "FAILED: $*"
  for log in "$tmp"/*.log; do [ -f "$log" ] && { echo "--- $log"; tail -20 "$log"; }; done
  exit 1
}
# Runs "$@" until it succeeds, at most $1 seconds.
wait_for() {
  local seconds="$1"; shift
  for _ in $(seq 1 $((seconds * 5))); do "$@" > /dev/null 2>&1 && return 0; sleep 0.2; done
  return 1
}

# 1. munge, on a socket and key of its own.
mkdir -p "$tmp/munge" "$tmp/state" "$tmp/spool"
chmod 755 "$tmp/munge"
dd if=/dev/urandom of="$tmp/munge.key" bs=1024 count=1 status=none
chmod 400 "$tmp/munge.key"
socket="$tmp/munge/munge.socket"
munged --foreground --force --socket="$socket" --key-file="$tmp/munge.key" --pid-file="$tmp/munged.pid" \
  --log-file="$tmp/munged.log" --seed-file="$tmp/munged.seed" > "$tmp/munged.out" 2>&1 &
pids+=($!)
wait_for 20 test -S "$socket" || fail "munged did not open its socket"

# 2. slurmctld and slurmd for this one node.
host="$(hostname -s)"
cpus="$(nproc)"
port=$((20000 + RANDOM % 20000))
export SLURM_CONF="$tmp/slurm.conf"
cat > "$SLURM_CONF" << CONF
ClusterName=upscaletest
SlurmctldHost=$host(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/slurmctld.log
SlurmdLogFile=$tmp/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/builtin
MpiDefault=none
ReturnToService=2
SlurmctldTimeout=30
SlurmdTimeout=30
MinJobAge=600
KillWait=5
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=study Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -D -i -f "$SLURM_CONF" > "$tmp/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N "$host" > "$tmp/slurmd.out" 2>&1 &
pids+=($!)
node_idle() { timeout 10 sinfo -h -N -o %T | grep -q idle; }
wait_for 60 node_idle || fail "the node did not become idle within 60 s: $(sinfo 2>&1)"

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
