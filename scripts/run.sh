#!/usr/bin/env bash
# Starts the desktop program when there is a display; otherwise runs the command-line tool
# on an example entry and says where the results are.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [[ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]]; then
  exec build/bin/fenlowick
fi
echo "No display: running the command-line tool on an example entry."
example=examples/diet-two-isotopes.dat
mkdir -p output
build/bin/fenlowick-cli run "$example" --output output/diet-two-isotopes
echo
echo "Results are in $root/output/: diet-two-isotopes.out (every feasible mixture) and"
echo "diet-two-isotopes.tot (histograms and statistics per source)."
