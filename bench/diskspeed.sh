#!/usr/bin/env bash
# A full run against the speed of the disk, two builds in one session:
#
#   bench/diskspeed.sh BEFORE_CLI AFTER_CLI [DISK_FOLDER] [RUNS]
#
# For bench-7 and bench-8 (bench/data), RUNS rounds (default 5) of: each build's full run
# (`fenlowick-cli run ENTRY -o FOLDER/NAME -q`, whole process) into DISK_FOLDER (default
# ./diskspeed-out, which must not be in memory) and into /dev/shm, alternated, the earlier
# result files removed first; and `dd oflag=direct` of the same size into DISK_FOLDER. Then
# the medians, the ratio of the disk run to max(run into memory, dd), the same disk runs
# with direct I/O refused (through the page cache, as on a file system without direct I/O),
# and one run of each build each way under strace for the split of a run: the search alone
# (--no-feasible-file), the run's CPU time, the time in the writes of the .out's blocks and
# in its final fsync. The load average is printed at the start and the end: figures taken
# while other work runs are noise.
set -euo pipefail

if [[ $# -lt 2 ]]; then
    sed -n '2,15p' "$0" | sed 's/^# \{0,1\}//'
    exit 2
fi
builds=("$1" "$2")
names=(before after)
disk=${3:-$PWD/diskspeed-out}
runs=${4:-5}
data=$(cd "$(dirname "$0")/data" && pwd)
entries=(bench-7-sources bench-8-sources)
memory=/dev/shm/fenlowick-diskspeed-$$
for cli in "${builds[@]}"; do
    [[ -x $cli ]] || { echo "diskspeed.sh: $cli is not a program" >&2; exit 2; }
done
probe=$disk
while [[ ! -d $probe ]]; do probe=$(dirname "$probe"); done
if [[ $(stat -f -c %T "$probe") == tmpfs ]]; then
    echo "diskspeed.sh: $disk is in memory (tmpfs); give a folder on the disk" >&2
    exit 2
fi
mkdir -p "$disk" "$memory"
disk=$(cd "$disk" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$memory" "$work" "$disk"/bench-*-sources.* "$disk"/dd.bin' EXIT

# Runs a command; prints its wall time in seconds and, after it, user + system CPU seconds.
timed() {
    local start=$EPOCHREALTIME
    /usr/bin/time -f '%U %S' -o "$work/cpu" "$@" > /dev/null
    local end=$EPOCHREALTIME
    awk -v s="$start" -v e="$end" '{ printf "%.3f %.2f\n", e - s, $1 + $2 }' "$work/cpu"
}

# A full run of `entry` by `cli` into `folder`; its earlier result files removed first.
full_run() {
    local cli=$1 entry=$2 folder=$3
    rm -f "$folder/$entry.out" "$folder/$entry.tot"
    sync
    timed "$cli" run "$data/$entry.dat" -o "$folder/$entry" -q
}

# dd of `bytes` (rounded up to 4 MiB blocks) into the disk folder, around the page cache.
dd_run() {
    local blocks=$(( ($1 + 4194303) / 4194304 ))
    rm -f "$disk/dd.bin"
    sync
    timed dd if=/dev/zero of="$disk/dd.bin" bs=4M count="$blocks" oflag=direct conv=fsync status=none
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "load at the start: $(cut -d' ' -f1-3 /proc/loadavg); disk folder $disk ($(stat -f -c %T "$disk"))"
for entry in "${entries[@]}"; do
    size=0
    for round in $(seq "$runs"); do
        # The two builds take turns going first.
        order=(0 1)
        (( round % 2 == 0 )) && order=(1 0)
        for b in "${order[@]}"; do
            full_run "${builds[$b]}" "$entry" "$disk" >> "$work/$entry-${names[$b]}-disk"
            size=$(stat -c %s "$disk/$entry.out")
            rm -f "$disk/$entry.out" "$disk/$entry.tot"
            full_run "${builds[$b]}" "$entry" "$memory" >> "$work/$entry-${names[$b]}-shm"
            rm -f "$memory/$entry.out" "$memory/$entry.tot"
        done
        dd_run "$size" >> "$work/$entry-dd"
        rm -f "$disk/dd.bin"
    done
    echo
    echo "$entry: $((size / 1000000)) MB .out; median of $runs, wall seconds (CPU seconds)"
    printf '%-7s %14s %14s %8s %22s\n' build disk /dev/shm dd 'disk / max(shm, dd)'
    dd_median=$(cut -d' ' -f1 "$work/$entry-dd" | median)
    for name in "${names[@]}"; do
        disk_median=$(cut -d' ' -f1 "$work/$entry-$name-disk" | median)
        disk_cpu=$(cut -d' ' -f2 "$work/$entry-$name-disk" | median)
        shm_median=$(cut -d' ' -f1 "$work/$entry-$name-shm" | median)
        shm_cpu=$(cut -d' ' -f2 "$work/$entry-$name-shm" | median)
        awk -v n="$name" -v d="$disk_median" -v dc="$disk_cpu" -v s="$shm_median" \
            -v sc="$shm_cpu" -v dd="$dd_median" 'BEGIN {
                m = s > dd ? s : dd
                printf "%-7s %7.3f (%4.2f) %7.3f (%4.2f) %8.3f %22.2f\n", n, d, dc, s, sc, dd, d / m
            }'
    done
done

# The same full runs into the disk folder where direct I/O is refused (nodirectio.c, loaded
# before the C library), as on a file system without it: both builds then write through the
# page cache.
if cc -O2 -shared -fPIC -o "$work/nodirectio.so" "$(dirname "$0")/nodirectio.c" -ldl; then
    for entry in "${entries[@]}"; do
        for round in $(seq "$runs"); do
            order=(0 1)
            (( round % 2 == 0 )) && order=(1 0)
            for b in "${order[@]}"; do
                LD_PRELOAD=$work/nodirectio.so full_run "${builds[$b]}" "$entry" "$disk" \
                    >> "$work/$entry-${names[$b]}-cache"
                rm -f "$disk/$entry.out" "$disk/$entry.tot"
            done
        done
        echo
        echo "$entry through the page cache (direct I/O refused): median of $runs into the disk"
        printf '%-7s %14s %22s\n' build disk 'disk / max(shm, dd)'
        dd_median=$(cut -d' ' -f1 "$work/$entry-dd" | median)
        for name in "${names[@]}"; do
            cache_median=$(cut -d' ' -f1 "$work/$entry-$name-cache" | median)
            cache_cpu=$(cut -d' ' -f2 "$work/$entry-$name-cache" | median)
            shm_median=$(cut -d' ' -f1 "$work/$entry-$name-shm" | median)
            awk -v n="$name" -v d="$cache_median" -v dc="$cache_cpu" -v s="$shm_median" \
                -v dd="$dd_median" 'BEGIN {
                    m = s > dd ? s : dd
                    printf "%-7s %7.3f (%4.2f) %22.2f\n", n, d, dc, d / m
                }'
        done
    done
else
    echo "diskspeed.sh: no C compiler; the runs through the page cache are left out" >&2
fi

# The split of one run per build into each folder: the search alone (no records), then the
# whole run with its CPU time (user + system), and from strace the time spent in the .out's
# block writes (on the writer's thread, beside the formatting of the records) and in its
# final sync.
echo
echo "Split of a run (one run each; strace adds a little to the writes), seconds; cache: into"
echo "the disk through the page cache"
printf '%-16s %-7s %-9s %7s %7s %7s %13s %11s\n' entry build folder search run CPU \
    'block writes' 'final sync'
for entry in "${entries[@]}"; do
    for b in 0 1; do
        cli=${builds[$b]}
        alone=$(timed "$cli" run "$data/$entry.dat" --no-feasible-file -o "$disk/$entry" -q |
            cut -d' ' -f1)
        rm -f "$disk/$entry.tot"
        for where in disk /dev/shm cache; do
            folder=$disk
            [[ $where == /dev/shm ]] && folder=$memory
            preload=
            [[ $where == cache ]] && preload=$work/nodirectio.so
            [[ $where == cache && ! -f $preload ]] && continue
            rm -f "$folder/$entry.out" "$folder/$entry.tot"
            sync
            times=$(LD_PRELOAD=$preload timed strace -f -qq --seccomp-bpf -e trace=write,fsync \
                -T -o "$work/trace" "$cli" run "$data/$entry.dat" -o "$folder/$entry" -q)
            # Writes of whole blocks (1 MiB and more) are the .out's; its sync is the longest.
            awk -v n="$entry" -v b="${names[$b]}" -v w="$where" -v a="$alone" -v t="$times" '
                match($0, /<[0-9.]+>$/) { d = substr($0, RSTART + 1, RLENGTH - 2) }
                / write\(/ && match($0, /= [0-9]+ </) && substr($0, RSTART + 2) + 0 >= 1048576 {
                    sum += d
                }
                / fsync\(/ && d > f { f = d }
                END {
                    split(t, r, " ")
                    printf "%-16s %-7s %-9s %7.3f %7.3f %7.2f %13.3f %11.3f\n", n, b, w, a, r[1],
                        r[2], sum, f
                }' "$work/trace"
            rm -f "$folder/$entry.out" "$folder/$entry.tot"
        done
    done
done
echo
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
