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
ctest --output-on-failure -j"$(nproc)" --timeout 600 "$@"
