#!/bin/bash
# Runs one reference study with the options of its case and compares the results with the
# independent reference: studyreference.sh CLI STUDIES_FOLDER CASE [posterior [ERROR]]
# compares the consumers' exact results; with "posterior" the case's posterior (under the
# error structure ERROR, if given).
set -euo pipefail
cli=$1
studies=$2
case=$3
kind=${4:-}
error=${5:-}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
folder="$studies/cases/$case"
read -r -a options < "$folder/${kind:+$kind-}options.txt"
for i in "${!options[@]}"; do
    if [[ -f "$folder/${options[$i]}" ]]; then
        options[$i]="$folder/${options[$i]}"
    fi
done
if [[ -n "$error" ]]; then
    options+=(--error "$error")
fi
"$cli" study "$folder/sources.csv" "$folder/consumers.csv" "${options[@]}" -o "$out" -q --no-figures
if [[ -z "$kind" ]]; then
    python3 "$studies/compare" "$studies/expected/$case.csv" "$out/consumers.csv"
else
    python3 "$studies/compare-posterior" "$studies/expected-posterior/$case${error:+.$error}" "$out"
fi
