#!/bin/bash
# The posterior's draws split into shards, given to merge out of order, give the posterior of
# the unsplit run; the Slurm scripts of such a study pass the posterior's options on:
# posteriorshards.sh CLI EXAMPLES_FOLDER
set -euo pipefail
cli=$1
examples=$2/study
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$out"
study=("$cli" study "$examples/sources.csv" "$examples/consumers.csv"
       --discrimination "$examples/discrimination.csv" --posterior --increment 5 --by Habitat
       --draws 7 --seed 31 --prior "Marine plankton=2,Freshwater insects=1,Terrestrial insects=1,Benthic invertebrates=1.5"
       --no-figures -q)
"${study[@]}" -o whole
for i in 0 1 2; do
    "${study[@]}" --shard $i/3 -o shard-$i
done
"$cli" merge shard-2 shard-0 shard-1 -o merged --no-figures -q
python3 - whole merged <<'PY'
import csv, sys
whole, merged = sys.argv[1], sys.argv[2]
bad = 0
for name in ('posterior', 'model', 'residual', 'posterior-histograms'):
    a = list(csv.reader(open(f'{whole}/{name}.csv')))
    b = list(csv.reader(open(f'{merged}/{name}.csv')))
    if len(a) != len(b) or a[0] != b[0]:
        print(name, 'differs in shape'); bad += 1; continue
    for ra, rb in zip(a[1:], b[1:]):
        for x, y in zip(ra, rb):
            if x == y:
                continue
            try:
                if abs(float(x) - float(y)) <= 1e-9 * max(1.0, abs(float(x))):
                    continue
            except ValueError:
                pass
            print(name, ra, rb); bad += 1
sys.exit(1 if bad else 0)
PY
# A shard of other draws (another seed) is refused by merge.
"$cli" study "$examples/sources.csv" "$examples/consumers.csv" \
    --discrimination "$examples/discrimination.csv" --posterior --increment 5 --by Habitat \
    --draws 7 --seed 32 --prior "Marine plankton=2,Freshwater insects=1,Terrestrial insects=1,Benthic invertebrates=1.5" \
    --shard 2/3 -o other -q
if "$cli" merge shard-0 shard-1 other -o refused -q 2> refused.txt; then
    echo "a shard of another seed was merged"; exit 1
fi
grep -q "a shard of another study (the options differ" refused.txt
# The job scripts run the posterior's shards.
"${study[@]}" --slurm 3 -o cluster
grep -q -- "'--posterior'" cluster/slurm/study.sbatch
grep -q -- "'--prior=Marine plankton=2,Freshwater insects=1,Terrestrial insects=1,Benthic invertebrates=1.5'" cluster/slurm/study.sbatch
echo "posterior shards merge as the unsplit run"
