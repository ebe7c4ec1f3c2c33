#!/bin/bash
# A study split into 1, 2, 3 and 7 shards and merged gives the unsplit study's files byte for
# byte, and so does one split in two with each option the study takes; a shard written by the
# earlier version (its manifest in the line format) merges too. merge refuses a missing shard,
# a repeated one, one of another study and one whose partial results changed, naming them.
# studyshards.sh CLI EXAMPLES_FOLDER SHARDS_TEST_DATA
set -euo pipefail
cli=$1
example=$2/study
bears=$2/concentrations
earlier=$3/earlier-format
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

# Shard folders named in a list file, for more shards than a command line holds.
printf '%s\n' split3/shard-0 "" split3/shard-1 > shard-list.txt
"$cli" merge split3/shard-2 --shard-list shard-list.txt --output merged-list --quiet
diff -r whole merged-list
echo "shards from a list file: the merged files equal the unsplit study's"

# Each option the study takes, in two shards.
split_in_two() { # name, then the study's arguments
    local name=$1
    shift
    "$cli" study "$@" --quiet --output "$name-whole"
    "$cli" study "$@" --quiet --shard 0/2 --output "$name-0"
    "$cli" study "$@" --quiet --shard 1/2 --output "$name-1"
    "$cli" merge "$name-0" "$name-1" --output "$name-merged" --quiet
    diff -r "$name-whole" "$name-merged"
    echo "$name: the merged files equal the unsplit study's"
}
tables=("$example/sources.csv" "$example/consumers.csv")
split_in_two limit "${tables[@]}" -i 5 -t 0.3 --limit "Marine plankton<=30" --limit "Terrestrial insects>=5"
split_in_two linear "$bears/sources.csv" "$bears/consumers.csv" -i 5 -t 0.5 --no-concentrations
split_in_two concentrations "$bears/sources.csv" "$bears/consumers.csv" -i 5 -t 0.5 --by Sex
split_in_two seed "${tables[@]}" -d "$example/discrimination.csv" -i 5 -t 0.3 --draws 20 \
    --seed 10000000000000000000 --threads 1
split_in_two all-options "${tables[@]}" --discrimination "$example/discrimination.csv" \
    --increment 4 --tolerance 0.4 --draws 10 --seed 18446744073709551615 --by Habitat \
    --limit "Freshwater insects=5-60" --no-concentrations

# A shard of the earlier version, whose manifest is in the line format, against the study run
# now on the same tables.
"$cli" study "$earlier/sources.csv" "$earlier/consumers.csv" -d "$earlier/discrimination.csv" \
    --increment 2 --tolerance 0.3 --draws 60 --by Habitat --quiet --output earlier-whole
"$cli" merge "$earlier" --output earlier-merged --quiet
diff -r earlier-whole earlier-merged
echo "a shard of the earlier format merges into the unsplit study's files"

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
# The output folder of a merge must not be a shard's: its copy of the tables would go.
before=$(md5sum split3/shard-0/consumers.csv)
if "$cli" merge split3/shard-0 split3/shard-1 split3/shard-2 --output split3/shard-0 2> err; then
    echo "a merge into a shard's folder was not refused"; exit 1
fi
grep -qF "split3/shard-0: the study's files would replace split3/shard-0/consumers.csv" err ||
    { echo "unexpected message:"; cat err; exit 1; }
[[ $(md5sum split3/shard-0/consumers.csv) == "$before" ]] || { echo "the shard's table changed"; exit 1; }
# Partial results changed after their manifest was written, or gone, in the last shard added.
cp -r split3 damaged
echo "changed" >> damaged/shard-2/partials.txt
refused "damaged/shard-2/partials.txt: the file differs from the one its manifest was written for" \
    damaged/shard-0 damaged/shard-1 damaged/shard-2
rm damaged/shard-2/partials.txt
refused "damaged/shard-2/partials.txt" damaged/shard-0 damaged/shard-1 damaged/shard-2
# A shard whose run did not finish has no manifest.
rm split3/shard-2/manifest.txt
refused "split3/shard-2: no complete shard here" split3/shard-0 split3/shard-1 split3/shard-2
echo "merge refuses missing, repeated, foreign, damaged and unfinished shards"
