#!/usr/bin/env bash
# Installs what is missing, builds everything with AddressSanitizer and UndefinedBehaviorSanitizer,
# and runs the whole test suite through ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
build="$root/build-test"
cmake -S "$root" -B "$build" -DZR_SANITIZE=ON -DZR_WERROR=ON -DCMAKE_BUILD_TYPE=Debug
cmake --build "$build" -j"$(nproc)"
cd "$build"
# The entries mostly wait on the line, timers and child processes (with two jobs on two cores the
# suite keeps them a little over half busy), so one job more than there are cores.
ctest --output-on-failure -j"$(($(nproc) + 1))" --timeout 600 "$@"
