# A private Slurm cluster of this one node, for the tests that run the
# programs through the real Slurm: munged, slurmctld and slurmd started
# from a generated configuration in a temporary directory ($tmp), SLURM_CONF
# exported, and the daemons stopped by their process ids when the sourcing
# script ends (an EXIT trap), whether its test passed or not. Sourced by
# a script that runs as root under "set -euo pipefail"; it gives that
# script fail MESSAGE (prints the daemons' logs, exits 1) and
# wait_for SECONDS COMMAND... (runs COMMAND until it succeeds).
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

