#!/bin/bash
# Runs the repository's Slurm recipe on a real one-machine Slurm: munged, slurmctld
# and slurmd on this host with a configuration, keys and state of their own in a
# temporary folder. The sweep's merged table must equal the table of one unsharded
# run, byte for byte. Exits 77 (skipped) when this machine cannot host the scheduler.
# usage: slurm-sweep-test.sh BIN_DIR SOURCE_DIR
set -uo pipefail
bin=$(readlink -f "$1")
source_dir=$(readlink -f "$2")
script="$source_dir/scripts/cluster/varnolt-sweep.sbatch"

skip() { echo "SKIPPED: $*"; exit 77; }
fail() {
  echo "FAILED: $*"
  for log in "$tmp"/log/*.log "$tmp"/work/*.out; do
    [ -f "$log" ] && { echo "--- $log"; tail -n 20 "$log"; }
  done
  exit 1
}

[ "$(id -u)" -eq 0 ] || skip "the one-machine Slurm needs root (run as root, e.g. in CI)"
for tool in munged slurmctld slurmd sbatch squeue scontrol scancel sinfo; do
  command -v "$tool" >/dev/null || skip "$tool is missing (scripts/setup.sh installs slurm-wlm and munge)"
done
[ -x "$bin/varnolt-cli" ] || fail "no runner at $bin/varnolt-cli"

tmp=$(mktemp -d /tmp/varnolt-slurm.XXXXXX)
chmod 755 "$tmp"
pids=()
stop_all() {
  # Cancels what is left of our jobs, then stops the daemons this test started.
  if [ -f "$tmp/slurm.conf" ] && [ ${#pids[@]} -gt 0 ]; then
    SLURM_CONF="$tmp/slurm.conf" timeout 10 scancel --quiet --user=root 2>/dev/null
  fi
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null; done
  for pid in "${pids[@]}"; do
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -9 "$pid" 2>/dev/null
  done
  rm -rf "$tmp"
}
trap stop_all EXIT
trap 'exit 1' INT TERM HUP

# A port nobody listens on (nor is about to: picked at random in a high range).
used_ports() {
  awk 'NR > 1 && $4 == "0A" { split($2, a, ":"); print strtonum("0x" a[2]) }' /proc/net/tcp /proc/net/tcp6 2>/dev/null
}
free_port() {
  local port
  while :; do
    port=$((20000 + RANDOM % 30000))
    used_ports | grep -qx "$port" || [ "$port" = "${1:-}" ] || { echo "$port"; return; }
  done
}

mkdir -p "$tmp/munge" "$tmp/log" "$tmp/state" "$tmp/spool" "$tmp/work"
chmod 755 "$tmp/munge"
chmod 700 "$tmp/state" "$tmp/spool"
head -c 1024 /dev/urandom >"$tmp/munge/munge.key"
chmod 400 "$tmp/munge/munge.key"
socket="$tmp/munge/munge.socket"
munged --force --key-file="$tmp/munge/munge.key" --socket="$socket" \
  --pid-file="$tmp/munge/munged.pid" --log-file="$tmp/log/munged.log" \
  --seed-file="$tmp/munge/munge.seed" --foreground >"$tmp/log/munged.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$socket" ] && break; sleep 0.1; done
[ -S "$socket" ] || fail "munged did not start"

host=$(hostname -s)
ctl_port=$(free_port)
node_port=$(free_port "$ctl_port")
cpus=$(nproc)
cat >"$tmp/slurm.conf" <<CONF
ClusterName=varnolt-test
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$ctl_port
SlurmdPort=$node_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
StateSaveLocation=$tmp/state
SlurmdSpoolDir=$tmp/spool
SlurmctldPidFile=$tmp/slurmctld.pid
SlurmdPidFile=$tmp/slurmd.pid
SlurmctldLogFile=$tmp/log/slurmctld.log
SlurmdLogFile=$tmp/log/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_Core
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
JobCompType=jobcomp/none
MpiDefault=none
SwitchType=switch/none
MailProg=/bin/true
ReturnToService=2
SlurmdParameters=config_overrides
MinJobAge=600
NodeName=$host NodeAddr=127.0.0.1 CPUs=$cpus State=UNKNOWN
PartitionName=varnolt Nodes=ALL Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$tmp/slurm.conf"

slurmctld -D -i -f "$SLURM_CONF" >"$tmp/log/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" >"$tmp/log/slurmd.out" 2>&1 &
pids+=($!)

# Waits (at most a minute) for the node to take work.
state=""
for _ in $(seq 300); do
  state=$(timeout 5 sinfo -h -n "$host" -o %T 2>/dev/null | head -n 1)
  [ "$state" = idle ] && break
  sleep 0.2
done
[ "$state" = idle ] || fail "the node did not become idle (state '$state')"

cd "$tmp/work"
export PATH="$bin:$PATH"
sweep=(sweep --set cycleCount=200 --set palmCount=200 --vary randomPercent=0:50:5 --seed 7 --threads 1)
submitted=$(timeout 60 "$script" --shards 3 --csv random-sweep.csv -- "${sweep[@]}") || fail "submitting failed: $submitted"
echo "$submitted"
merge=$(sed -n 's/.* as job \([0-9]*\) .*/\1/p' <<<"$submitted")
[ -n "$merge" ] || fail "no merge job in: $submitted"

# Waits (at most two minutes) for the merge job to end.
job_state=""
for _ in $(seq 600); do
  job_state=$(timeout 5 scontrol show job "$merge" 2>/dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
  case "$job_state" in COMPLETED | FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY) break ;; esac
  sleep 0.2
done
[ "$job_state" = COMPLETED ] || fail "the merge job ended as '$job_state'"

varnolt-cli "${sweep[@]}" --csv whole.csv >/dev/null || fail "the unsharded sweep failed"
[ -f random-sweep.csv ] || fail "no merged table"
cmp random-sweep.csv whole.csv || fail "the merged table differs from the unsharded one"
rows=$(grep -c '^[0-9]' whole.csv)
[ "$rows" -eq 11 ] || fail "the table has $rows points, not 11"
for k in 1 2 3; do [ -f "random-sweep.part-$k-of-3.csv" ] || fail "part $k is missing"; done

# Submitting again after everything is done changes nothing: every task finds its
# part complete and the merge writes the same table.
cp random-sweep.csv first.csv
submitted=$(timeout 60 "$script" --shards 3 --csv random-sweep.csv -- "${sweep[@]}") || fail "submitting again failed"
merge=$(sed -n 's/.* as job \([0-9]*\) .*/\1/p' <<<"$submitted")
for _ in $(seq 600); do
  job_state=$(timeout 5 scontrol show job "$merge" 2>/dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p')
  case "$job_state" in COMPLETED | FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY) break ;; esac
  sleep 0.2
done
[ "$job_state" = COMPLETED ] || fail "the second merge job ended as '$job_state'"
cmp random-sweep.csv first.csv || fail "submitting again changed the merged table"
echo "PASSED: the Slurm recipe's merged table equals the unsharded one"
