#!/bin/bash
# Commands whose result is what they print fail when it cannot be printed: standard output on
# a full device gives exit 3 and a message; a closed pipe gives 141, as documented:
# outputerrors.sh CLI EXAMPLES_FOLDER
set -uo pipefail
cli=$1
examples=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
cd "$out"
"$cli" run "$examples/diet-two-isotopes.dat" -o diet -q || exit 1
failed=0
expect() {
    local want=$1 got=$2 what=$3
    if [[ $got != "$want" ]]; then
        echo "$what: exit $got, expected $want"; failed=1
    fi
}
for command in "summary diet.tot --csv" "diagnose $examples/heron-no-solution.dat" \
               "run $examples/diet-two-isotopes.dat --estimate"; do
    # shellcheck disable=SC2086
    "$cli" $command > /dev/full 2> err.txt
    expect 3 $? "$command > /dev/full"
    grep -q "could not write to standard output" err.txt ||
        { echo "$command: no message"; cat err.txt; failed=1; }
done
# A run writes its summary to a pipe its reader has closed.
"$cli" run "$examples/diet-two-isotopes.dat" -o piped | (exec 0<&-; sleep 0.2)
expect 141 "${PIPESTATUS[0]}" "run into a closed pipe"
exit $failed
