#!/bin/bash
# Runs a QtTest executable's test functions except those named after it, so that its slow
# functions can run as ctest entries of their own beside the rest (ctest -j balances them).
# usage: run_except.sh EXECUTABLE FUNCTION...
set -euo pipefail
exe=$1
shift
mapfile -t all < <("$exe" -functions | sed -n 's/()$//p' | grep -v '_data$')
run=()
for f in "${all[@]}"; do
    skip=0
    for x in "$@"; do
        [[ $f == "$x" ]] && skip=1
    done
    ((skip)) || run+=("$f")
done
if ((${#run[@]} == 0)); then
    echo "run_except.sh: no function of $exe left to run" >&2
    exit 1
fi
exec "$exe" "${run[@]}"
