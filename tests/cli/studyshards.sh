#!/bin/bash
# A study split into 1, 2, 3 and 7 shards and merged gives the unsplit study's files byte for
# byte; merge refuses a missing shard, a repeated one and one of another study, naming them.
# studyshards.sh CLI EXAMPLES_FOLDER
set -euo pipefail
cli=$1
example=$2/study
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
study=("$example/sources.csv" "$example/consumers.csv" --discrimination "$example/discrimination.csv"
       --increment 2 --tolerance 0.3 --draws 60 --by Habitat --quiet)
"$cli" study "${study[@]}" --output whole
for n in 1 2 3 7; do
    shards=()
    for ((i = 0; i < n; i++)); do
        "$cli" study "${study[@]}" --shard "$i/$n" --output "split$n/shard-$i"
        shards+=("split$n/shard-$i")
    done
    "$cli" merge "${shards[@]}" --output "merged$n" --quiet
    diff -r whole "merged$n"
    echo "$n shards: the merged files equal the unsplit study's"
done

refused() { # expected message, then the merge's shards
    local expected=$1
    shift
    if "$cli" merge "$@" --output refused 2> err; then
        echo "merge of $* was not refused"; exit 1
    fi
    grep -qF "$expected" err || { echo "expected \"$expected\", got:"; cat err; exit 1; }
    [[ ! -e refused ]] || { echo "a refused merge wrote refused/"; exit 1; }
}
refused "shard 2 of 3 is missing" split3/shard-0 split3/shard-1
refused "split3/shard-1: shard 1 of 3 again (also split3/shard-1)" \
    split3/shard-0 split3/shard-1 split3/shard-1 split3/shard-2
"$cli" study "${study[@]}" --seed 5 --shard 1/3 --output other
refused "other: a shard of another study (the options differ from split3/shard-0's)" \
    split3/shard-0 other split3/shard-2
# A shard whose run did not finish has no manifest.
rm split3/shard-2/manifest.txt
refused "split3/shard-2: no complete shard here" split3/shard-0 split3/shard-1 split3/shard-2
echo "merge refuses missing, repeated, foreign and unfinished shards"
