#!/usr/bin/env bash
# The layering check against small trees: each case adds one include and expects the finding it
# names (or none), so a check that stopped looking would fail here.
set -euo pipefail
script="$(cd "$(dirname "$0")/../.." && pwd)/scripts/check_layers.sh"
results=$(mktemp -d)
trap 'rm -rf "$results"' EXIT
cases=0
# case NAME FILE LINE EXPECTED: writes LINE into FILE of a fresh tree and greps the output. The
# cases run side by side; each leaves its PASS or FAIL line in $results.
check_case() {
    cases=$((cases + 1))
    run_case "$@" >"$results/$cases" &
}
run_case() {
    local name=$1 file=$2 line=$3 expected=$4
    local tree
    tree=$(mktemp -d -p "$results")
    mkdir -p "$tree"/core/base "$tree"/core/device "$tree"/core/modbus "$tree"/gui "$tree"/cli "$tree"/sim
    printf '#include "core/base/clock.h"\n' > "$tree/core/device/rules.cpp"
    : > "$tree/core/base/clock.h"; : > "$tree/core/device/rules.h"; : > "$tree/core/modbus/frame.h"
    : > "$tree/gui/widget.h"; : > "$tree/cli/cli_line.h"; : > "$tree/sim/transmitter.h"
    printf '%s\n' "$line" >> "$tree/$file"
    git -C "$tree" init -q --template=
    local out rc=0
    out=$(bash "$script" "$tree" 2>&1) || rc=$?
    if [ -z "$expected" ]; then
        [ "$rc" -eq 0 ] || { echo "FAIL $name: expected no finding, got: $out"; return; }
    elif [ "$rc" -ne 1 ] || ! grep -q -- "$expected" <<<"$out"; then
        echo "FAIL $name: expected '$expected', got (rc $rc): $out"; return
    fi
    echo "PASS $name"
}
check_case "core to gui" core/device/rules.cpp '#include "gui/widget.h"' "core/ includes only core/"
check_case "core to cli" core/base/clock.h '#include "cli/cli_line.h"' "core/ includes only core/"
check_case "core layers upward" core/modbus/frame.h '#include "core/device/rules.h"' "core/modbus is below core/device"
check_case "form outside gui" cli/cli_line.h '#include "ui_widget.h"' "outside gui/"
check_case "gui to cli" gui/widget.h '#include "cli/cli_line.h"' "front ends do not include each other"
check_case "sim to gui" sim/transmitter.h '#include "gui/widget.h"' "front ends do not include each other"
check_case "circle" core/base/clock.h '#include "core/device/rules.h"' "include circle"
check_case "downward is fine" gui/widget.h '#include "core/device/rules.h"' ""
wait
grep -h '^FAIL' "$results"/[0-9]* || true
passed=$(cat "$results"/[0-9]* | grep -c '^PASS' || true)
if [ "$passed" -ne "$cases" ]; then
    echo "$((cases - passed)) failed"
    exit 1
fi
echo "$cases passed, 0 failed"
