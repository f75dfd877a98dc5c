#!/usr/bin/env bash
# Runs a small CT-XAFS series (5 energies x 4 blocks of slices: 20 tasks) on a one-node Slurm
# cluster started here whose arrays hold at most 8 tasks, with one set made unreadable: the arrays
# must fail and name that set, each task must have done exactly its own block (its log and its
# manifest say which), and a resubmission with --resume must run only the failed set's tasks and
# leave the files of a plain --series run, byte for byte.
# Then the same series as HDF5 scan files (one per energy, with its flats and darks): the same bytes,
# and with --align and --hdf5 a last job after the arrays that aligns the energies and joins the
# tasks' volume files as a local run does.
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
  for log in "$T"/log/*.log "$T"/munge/munged.log "$T"/jobs*/* "$T"/jobs*.log; do
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
# Arrays of at most 8 tasks, so that 20 tasks need three; batch jobs started as soon as a CPU is
# free (the default waits up to 3 s between them).
MaxArraySize=8
SchedulerParameters=batch_sched_delay=0
# sbatch --wait polls after 2 s, then every 8 s while 8 s is not below half of MinJobAge (else every
# 32 s); records of finished tasks are kept 16 s, long enough for a poll to see them all.
MinJobAge=16
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

# A series of 5 energies; slices 2 … 9 in blocks of 2: 20 tasks, with ring removal (an option that
# must reach every task). The centre is given (the demo's axis, 48 · 130/256): on 48 pixels of 40
# noisy projections the two searches miss it by up to 9 pixels, each set differently, and the slices
# of different centres differ in size, which the alignment refuses.
"$demo" "$T/data" --series-only --energies 5 --size 48 --projections 40 --nxs >/dev/null
series=(--series "$T/data/xafs/projections" --i0-files "$T/data/xafs/i0" --bg "$T/data/xafs/bg.img"
  --axis v --cor 24.375 --slices 2:9 --block 2 --sub-folders energy --name s --rings all)
"$recon" "${series[@]}" --list-tasks | grep -v '^#' | cut -f2,5 | sort >"$T/expected-blocks"
[ "$(wc -l <"$T/expected-blocks")" -eq 20 ] || fail "expected 20 tasks, the series has $(wc -l <"$T/expected-blocks")"
"$recon" "${series[@]}" --out "$T/local" >/dev/null || fail "the local run failed"

# One set made unreadable: its four tasks fail, the others do their blocks.
broken=$T/data/xafs/projections/demo-7115eV-0011.img
cp "$broken" "$T/kept.img"
head -c 100 "$T/kept.img" >"$broken"
submit_series() { # LOG-FOLDER RECON-OPTIONS...: the status of the submission, its messages in LOG-FOLDER.log
  local logs=$1
  shift
  mkdir -p "$logs"
  (cd "$logs" && QUORVEL_RECON=$recon timeout 50 "$submit" --wait -o "$logs/%A_%a.out" -- "$@") \
    >"$logs.ids" 2>"$logs.log"
}
if submit_series "$T/jobs1" "${series[@]}" --out "$T/cluster"; then
  fail "the job arrays succeeded with an unreadable set"
fi
grep -q 'submitting 20 of 20 tasks as 3 array' "$T/jobs1.log" || fail "20 tasks were not split into 3 arrays: $(cat "$T/jobs1.log")"
[ "$(ls "$T/jobs1" | wc -l)" -eq 20 ] || fail "expected the logs of 20 array tasks, found $(ls "$T/jobs1" | wc -l)"
grep -l 'demo-7115eV-0011.img' "$T"/jobs1/* | wc -l | grep -qx 4 || fail "the failing set is not named by its 4 tasks"

# Each task did its own block: its log and its manifest name one set and its slices, and together
# they cover the series once. (A task that did the whole series would name them all, and write the
# series' manifest instead of its own.)
for log in "$T"/jobs1/*; do
  [ "$(grep -c '^task [0-9]*: set ' "$log")" -eq 1 ] || fail "$log does not name exactly one block: $(cat "$log")"
  block=$(sed -n 's/^task [0-9]*: set \([0-9]*\) (.*), slices \([0-9]*\):\([0-9]*\):1: .*/\1\t\2:\3/p' "$log")
  [ -n "$block" ] || fail "$log names no block"
  tag=$(sed -n 's/^task [0-9]*: set [0-9]* (demo \(.*\)), slices.*/\1/p' "$log")
  first=${block#*$'\t'}
  first=${first%%:*}
  last=${block##*:}
  for wrote in $(sed -n 's/^wrote //p' "$log"); do
    slice=$((10#$(basename "$wrote" | sed 's/.*-\([0-9]*\)\..*/\1/')))
    [[ "$wrote" == */"$tag"/s-"$tag"-* ]] && [ "$slice" -ge "$first" ] && [ "$slice" -le "$last" ] \
      || fail "$log wrote $wrote, outside its block $block"
  done
  echo "$block"
done | sort >"$T/logged-blocks"
diff "$T/expected-blocks" "$T/logged-blocks" || fail "the tasks' logs do not cover the series once"
[ ! -e "$T/cluster/series-manifest.tsv" ] || fail "a task wrote the manifest of the whole series"
cat "$T"/cluster/series-tasks/*.tsv | grep -v '^set' | cut -f1,8 | sed 's/:1$//' | sort >"$T/manifest-blocks"
diff "$T/expected-blocks" "$T/manifest-blocks" || fail "the tasks' manifests do not cover the series once"
[ "$(grep -c 'failed: ' "$T"/cluster/series-tasks/7115eV-*.tsv | grep -c ':1$')" -eq 4 ] \
  || fail "the manifests of the failed set's tasks do not say it failed"

# Mended and resubmitted with --resume: only the four failed tasks run.
cp "$T/kept.img" "$broken"
submit_series "$T/jobs2" "${series[@]}" --out "$T/cluster" --resume || fail "the resumed arrays failed: $(cat "$T/jobs2.log")"
grep -q 'submitting 4 of 20 tasks as 1 array' "$T/jobs2.log" || fail "--resume did not submit the 4 failed tasks: $(cat "$T/jobs2.log")"
echo "job arrays $(tr '\n' ' ' <"$T/jobs1.ids")and $(cat "$T/jobs2.ids"): 20 tasks, 4 of them resumed"

files=$(find "$T/local" -type f \( -name '*.dat' -o -name '*.png' \) | wc -l)
[ "$files" -eq 80 ] || fail "the local run wrote $files files, not 5 x 8 x 2"
diff -r -x series-tasks -x series-manifest.tsv -x .series-locks "$T/local" "$T/cluster" || fail "the cluster's files differ from the local run's"

scans=(--series "$T/data/xafs/scans" --pattern '*.nxs' --axis v --cor 24.375 --slices 2:9 --block 2
  --sub-folders energy --name s --rings all)
submit_series "$T/jobs3" "${scans[@]}" --out "$T/cluster-scans" --align --hdf5 volume.h5 \
  || fail "the job arrays of scan files and their alignment failed: $(cat "$T/jobs3.log")"
grep -q 'and the last job after them' "$T/jobs3.log" || fail "no alignment was submitted: $(cat "$T/jobs3.log")"
[ "$(wc -l <"$T/jobs3.ids")" -eq 4 ] || fail "expected the ids of 3 arrays and the last job: $(cat "$T/jobs3.ids")"
"$recon" "${series[@]}" --out "$T/local" --resume --align >/dev/null || fail "the local alignment failed"
alignment=(-x aligned.h5 -x shifts.tsv -x alignment.png -x '*.h5')
diff -r -x series-tasks -x series-manifest.tsv -x .series-locks "${alignment[@]}" "$T/local" "$T/cluster-scans" \
  || fail "the files from scan files differ from the local run's"
cmp "$T/local/shifts.tsv" "$T/cluster-scans/shifts.tsv" || fail "the last job's shifts differ from the local run's"
[ -s "$T/cluster-scans/aligned.h5" ] || fail "the last job wrote no aligned.h5"
# The tasks' block files joined by the last job: the values of a local run that wrote the volumes whole.
"$recon" "${scans[@]}" --out "$T/local-h5" --no-png --no-data --hdf5 volume.h5 >/dev/null || fail "the local volumes failed"
ls "$T"/cluster-scans/*/s-*.block003.h5 >/dev/null || fail "the tasks wrote no block files"
for volume in "$T/local-h5"/*/s-*.h5 "$T/local-h5/volume.h5"; do
  other=$T/cluster-scans/${volume#"$T/local-h5/"}
  cmp <(h5dump -A 0 -d /entry/data/data "$volume" | tail -n +3) <(h5dump -A 0 -d /entry/data/data "$other" | tail -n +3) \
    || fail "$other holds other values than $volume"
done
echo "PASSED: $files files from 44 Slurm array tasks (4 resumed, 20 on scan files) equal the local run's," \
  "and the last job aligned the series as the local run does"
