#!/usr/bin/env bash
# Runs every fuzz target for a bounded time, seeded with the kept inputs and the program's
# own files. Usage: fuzz.sh BUILD_DIR SECONDS_PER_TARGET. Exits non-zero on a finding; the
# input that caused it is left in BUILD_DIR/artifacts/ to be added to tests/data/fuzz/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$1
seconds=$2
mkdir -p "$build/artifacts"
status=0
for target in datafile fieldreader numerictext calculation resultreaders csvtable studytables \
    shardmanifest shardpartials sharelimits import; do
  corpus="$build/corpus/$target"
  mkdir -p "$corpus" "tests/data/fuzz/$target"
  seeds=("tests/data/fuzz/$target")
  case $target in
    datafile|calculation|fieldreader) seeds+=(tests/data/conformance/cases examples) ;;
    resultreaders) seeds+=(tests/data/conformance/expected) ;;
    csvtable) seeds+=(tests/data/import examples/batch) ;;
  esac
  echo "== $target: ${seconds}s"
  if ! "$build/bin/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -max_len=4096 -print_final_stats=1 -artifact_prefix="$build/artifacts/$target-" \
      "$corpus" "${seeds[@]}" 2>"$build/fuzz-$target.log"; then
    echo "   FINDING: see $build/fuzz-$target.log and $build/artifacts/"
    status=1
  else
    grep -E '^stat::number_of_executed_units' "$build/fuzz-$target.log" || true
  fi
done
exit $status
