#!/bin/bash
# Runs the bears example, mixed by concentration, and checks every consumer against the plain
# count of concentrationreference.py: concentrationreference.sh CLI EXAMPLES_FOLDER
set -euo pipefail
cli=$1
example=$2/concentrations
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
"$cli" study "$example/sources.csv" "$example/consumers.csv" -i 1 -t 0.1 --no-figures -q -o "$out"
python3 "$(dirname "$0")/concentrationreference.py" "$example/sources.csv" \
    "$example/consumers.csv" 1 0.1 "$out/consumers.csv"
