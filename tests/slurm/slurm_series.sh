#!/usr/bin/env bash
# Runs a small CT-XAFS series (3 energies x 2 blocks of slices) as a job array on a one-node Slurm
# cluster started here, and compares its files with a plain --series run: the same bytes. Then the
# same series as HDF5 scan files (one per energy, with its flats and darks), the same bytes again.
# Installs nothing; skips (exit 77) when Slurm, munge or root rights are missing. Every daemon it
# starts (munged, slurmctld, slurmd) runs on files in a temporary folder and is stopped by its pid.
#
#   slurm_series.sh QUORVEL-RECON QUORVEL-DEMO SUBMIT-SERIES-SCRIPT
set -euo pipefail
recon=$(realpath "$1")
demo=$(realpath "$2")
submit=$(realpath "$3")

skip() {
  echo "SKIPPED: $*"
  exit 77
}
[ "$(id -u)" -eq 0 ] || skip "the cluster runs its daemons as root; run as root to test Slurm"
for tool in munged munge slurmctld slurmd sbatch sinfo squeue runuser; do
  command -v "$tool" >/dev/null || skip "$tool is missing (tools/install-deps.sh installs slurmctld slurmd slurm-client munge)"
done
id munge >/dev/null 2>&1 || skip "no munge user (the munge package makes it)"

T=$(mktemp -d /tmp/quorvel-slurm.XXXXXX)
chmod 755 "$T"
pids=()
stop_all() {
  # Stops what this script started, newest first, each by the pid it wrote.
  local f pid
  for f in "$T/run/slurmd.pid" "$T/run/slurmctld.pid" "$T/munge-run/munged.pid"; do
    [ -s "$f" ] || continue
    pid=$(cat "$f")
    kill -TERM "$pid" 2>/dev/null || continue
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -KILL "$pid" 2>/dev/null || true
  done
  rm -rf "$T"
}
trap stop_all EXIT
trap 'exit 143' TERM INT # so that the daemons are stopped then too
fail() {
  echo "FAILED: $*"
  for log in "$T"/log/*.log "$T"/munge/munged.log "$T"/jobs/*; do
    [ -f "$log" ] && { echo "--- $log"; tail -20 "$log"; }
  done
  exit 1
}

# munge with a key and a socket of its own, so that a munged of the machine is neither used nor touched.
mkdir -p "$T/munge" "$T/munge-run" "$T/run" "$T/log" "$T/state" "$T/spool" "$T/jobs"
head -c 1024 /dev/urandom >"$T/munge/munge.key"
chown -R munge:munge "$T/munge" "$T/munge-run"
chmod 700 "$T/munge"
chmod 600 "$T/munge/munge.key"
chmod 755 "$T/munge-run"
socket=$T/munge-run/munge.socket
runuser -u munge -- munged --socket="$socket" --key-file="$T/munge/munge.key" \
  --pid-file="$T/munge-run/munged.pid" --seed-file="$T/munge/munged.seed" --log-file="$T/munge/munged.log" \
  || fail "munged did not start"

# Two free ports for the controller and the node.
free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 20000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
}
ctld_port=$(free_port)
node_port=$(free_port)
while [ "$node_port" = "$ctld_port" ]; do node_port=$(free_port); done

host=$(hostname -s)
export SLURM_CONF=$T/slurm.conf
cat >"$SLURM_CONF" <<CONF
ClusterName=quorveltest
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
CredType=cred/munge
AuthInfo=socket=$socket
StateSaveLocation=$T/state
SlurmdSpoolDir=$T/spool
SlurmctldPidFile=$T/run/slurmctld.pid
SlurmdPidFile=$T/run/slurmd.pid
SlurmctldLogFile=$T/log/slurmctld.log
SlurmdLogFile=$T/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
ReturnToService=2
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
JobCompType=jobcomp/none
MpiDefault=none
MailProg=/bin/true
PlugStackConfig=$T/plugstack.conf
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=debug Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
: >"$T/plugstack.conf"
slurmctld -f "$SLURM_CONF" || fail "slurmctld did not start"
slurmd -f "$SLURM_CONF" || fail "slurmd did not start"
for _ in $(seq 100); do
  state=$(sinfo -h -o %t 2>/dev/null || true)
  [ "$state" = "idle" ] && break
  sleep 0.2
done
[ "$state" = "idle" ] || fail "the node is not idle after 20 s (state: ${state:-none})"

# A series of 3 energies; slices 2 … 9 in blocks of 4: 6 tasks, with ring removal (an option that
# must reach every task).
"$demo" "$T/data" --series-only --energies 3 --size 48 --projections 40 --nxs >/dev/null
series=(--series "$T/data/xafs/projections" --i0-files "$T/data/xafs/i0" --bg "$T/data/xafs/bg.img"
  --axis v --cor guess --slices 2:9 --block 4 --sub-folders energy --name s --rings all)
tasks=$("$recon" "${series[@]}" --list-tasks | grep -vc '^#')
[ "$tasks" -eq 6 ] || fail "expected 6 tasks, the series has $tasks"

job=$(cd "$T/jobs" && QUORVEL_RECON=$recon timeout 50 "$submit" --wait -o "$T/jobs/%A_%a.out" -- \
  "${series[@]}" --out "$T/cluster") || fail "the job array failed or took too long"
echo "job array $job: $tasks tasks done"
[ "$(ls "$T/jobs" | wc -l)" -eq 6 ] || fail "expected the logs of 6 array tasks"

"$recon" "${series[@]}" --out "$T/local" >/dev/null || fail "the local run failed"
files=$(find "$T/local" -type f | wc -l)
[ "$files" -eq 48 ] || fail "the local run wrote $files files, not 3 x 8 x 2"
diff -r "$T/local" "$T/cluster" || fail "the cluster's files differ from the local run's"

scans=(--series "$T/data/xafs/scans" --pattern '*.nxs' --axis v --cor guess --slices 2:9 --block 4
  --sub-folders energy --name s --rings all)
job=$(cd "$T/jobs" && QUORVEL_RECON=$recon timeout 50 "$submit" --wait -o "$T/jobs/%A_%a.out" -- \
  "${scans[@]}" --out "$T/cluster-scans") || fail "the job array of scan files failed or took too long"
diff -r "$T/local" "$T/cluster-scans" || fail "the files from scan files differ from the local run's"
echo "PASSED: $files files from $tasks Slurm array tasks equal the local run's, from images and from scan files"
