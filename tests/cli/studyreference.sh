#!/bin/bash
# Runs one reference study with the options of its case and compares the consumers' exact
# results with the reference: studyreference.sh CLI STUDIES_FOLDER CASE
set -euo pipefail
cli=$1
studies=$2
case=$3
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
folder="$studies/cases/$case"
read -r -a options < "$folder/options.txt"
for i in "${!options[@]}"; do
    if [[ -f "$folder/${options[$i]}" ]]; then
        options[$i]="$folder/${options[$i]}"
    fi
done
"$cli" study "$folder/sources.csv" "$folder/consumers.csv" "${options[@]}" -o "$out" -q
python3 "$studies/compare" "$studies/expected/$case.csv" "$out/consumers.csv"
