#!/bin/bash
# Runs one reference study's posterior with the options of its case (and an error structure,
# if given) and compares it with the independent reference:
# posteriorreference.sh CLI STUDIES_FOLDER CASE [ERROR]
set -euo pipefail
cli=$1
studies=$2
case=$3
error=${4:-}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
folder="$studies/cases/$case"
read -r -a options < "$folder/posterior-options.txt"
for i in "${!options[@]}"; do
    if [[ -f "$folder/${options[$i]}" ]]; then
        options[$i]="$folder/${options[$i]}"
    fi
done
expected="$studies/expected-posterior/$case"
if [[ -n "$error" ]]; then
    options+=(--error "$error")
    expected="$expected.$error"
fi
"$cli" study "$folder/sources.csv" "$folder/consumers.csv" "${options[@]}" -o "$out" -q
python3 "$studies/compare-posterior" "$expected" "$out"
