#!/bin/bash
# A study submitted to a real single-node Slurm as a 4-task job array and a dependent merge
# job gives the unsplit study's files. The test starts munged, slurmctld and slurmd itself
# (as root, with a configuration for this host under a temporary folder) and stops them by
# process id afterwards. When Slurm cannot start it fails; it skips only without root.
# slurmstudy.sh CLI EXAMPLES_FOLDER
set -euo pipefail
cli=$(readlink -f "$1")
example=$(readlink -f "$2")/study

fail() { echo "FAIL: $*" >&2; exit 1; }
if [[ $(id -u) != 0 ]]; then
    echo "SKIP: needs root to start munged, slurmctld and slurmd (CI runs as root)"
    exit 77
fi
for tool in munged slurmctld slurmd sbatch scontrol sinfo; do
    command -v "$tool" > /dev/null || fail "$tool is not installed (scripts/install-deps.sh installs slurm-wlm and munge)"
done

stop_daemons() { # the folder of a run, whose pid files name its daemons
    for pidfile in "$1/slurmd.pid" "$1/slurmctld.pid" "$1/munged.pid"; do
        [[ -s $pidfile ]] && kill "$(cat "$pidfile")" 2> /dev/null || true
    done
    sleep 1
    for pidfile in "$1/slurmd.pid" "$1/slurmctld.pid" "$1/munged.pid"; do
        [[ -s $pidfile ]] && kill -9 "$(cat "$pidfile")" 2> /dev/null || true
    done
}
# A run killed outright (a test timeout kills without a trap) leaves its daemons holding the
# ports: stop those of every earlier run whose script is gone.
for earlier in /tmp/fenlowick-slurm-*; do
    [[ -d $earlier && -s $earlier/owner ]] || continue
    kill -0 "$(cat "$earlier/owner")" 2> /dev/null && continue
    stop_daemons "$earlier"
    rm -rf "$earlier"
done

work=$(mktemp -d /tmp/fenlowick-slurm-XXXXXX)
chmod 755 "$work"
echo $$ > "$work/owner"
made_key=
stop_all() {
    stop_daemons "$work"
    [[ -n $made_key ]] && rm -f /etc/munge/munge.key
    rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 143' TERM INT
logs() { tail -n 30 "$work"/*.log "$work"/"my out"/slurm/*.log 2> /dev/null || true; }

# munge: the key where Slurm's munge plugin expects it, the daemon on its own socket.
mkdir -p /etc/munge "$work/munge"
if [[ ! -s /etc/munge/munge.key ]]; then
    dd if=/dev/urandom of=/etc/munge/munge.key bs=1024 count=1 status=none
    chmod 400 /etc/munge/munge.key
    made_key=yes
fi
socket="$work/munge/munge.socket"
munged --force --socket="$socket" --pid-file="$work/munged.pid" \
    --log-file="$work/munged.log" --seed-file="$work/munge/seed" \
    || fail "munged did not start"

host=$(hostname -s)
cpus=$(nproc)
mkdir -p "$work/state" "$work/spool"
cat > "$work/slurm.conf" << CONF
ClusterName=fenlowick-test
SlurmctldHost=$host
SlurmUser=root
SlurmdUser=root
AuthType=auth/munge
AuthInfo=socket=$socket
CredType=cred/munge
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
SchedulerType=sched/backfill
ReturnToService=2
MpiDefault=none
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
SlurmctldPort=16817
SlurmdPort=16818
NodeName=$host CPUs=$cpus State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
export SLURM_CONF="$work/slurm.conf"
slurmctld -f "$SLURM_CONF" || { logs; fail "slurmctld did not start"; }
slurmd -f "$SLURM_CONF" || { logs; fail "slurmd did not start"; }
for ((i = 0; i < 60; i++)); do
    state=$(sinfo -h -N -o %t 2> /dev/null || true)
    [[ $state == idle* ]] && break
    sleep 1
done
[[ ${state:-} == idle* ]] || { logs; fail "the node did not become idle (state: ${state:-none})"; }

study=("$example/sources.csv" "$example/consumers.csv" --discrimination "$example/discrimination.csv"
       --increment 2 --tolerance 0.3 --draws 40 --by Habitat)
# A folder with a blank in its name: the scripts quote it, in the #SBATCH lines too.
"$cli" study "${study[@]}" --slurm 4 --output "$work/my out" --quiet
submitted=$(bash "$work/my out/slurm/submit.sh")
merge_job=${submitted##* }
echo "$submitted"
for ((i = 0; i < 300; i++)); do
    # A controller busy with the array may not answer at once: ask again next second.
    job_state=$(scontrol show job "$merge_job" 2> /dev/null | sed -n 's/.*JobState=\([A-Z_]*\).*/\1/p' || true)
    case $job_state in
        COMPLETED) break ;;
        FAILED | CANCELLED | TIMEOUT | NODE_FAIL | OUT_OF_MEMORY) logs; fail "the merge job ended $job_state" ;;
    esac
    sleep 1
done
[[ $job_state == COMPLETED ]] || { logs; fail "the merge job did not finish (state: ${job_state:-gone})"; }

"$cli" study "${study[@]}" --output "$work/whole" --quiet
diff -r -x slurm -x shards "$work/whole" "$work/my out" || fail "the merged files differ from the unsplit study's"
[[ $(ls "$work/my out/shards" | wc -l) == 4 ]] || fail "not 4 shard folders"
for log in shard-0 shard-1 shard-2 shard-3 merge; do
    [[ -f "$work/my out/slurm/$log.log" ]] || fail "no log $log.log where the scripts name it"
done
echo "4 array tasks and the merge job on Slurm gave the unsplit study's files"
