#!/usr/bin/env bash
# Builds the reply fuzz target with clang (libFuzzer, AddressSanitizer, UBSan), writes its seed
# corpus and runs it for a bounded time. Exits non-zero when the fuzzer finds a crash or a
# sanitizer report; the reproducer is left as crash-* in the build directory.
#   scripts/fuzz.sh [seconds]     default 60; e.g. scripts/fuzz.sh 3600 for an hour
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
"$root/scripts/setup.sh" --with-fuzz
build="$root/fuzz-build"
cmake -S "$root/fuzz" -B "$build" -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" -j"$(nproc)"
"$build/make_seeds" "$build/seeds"
# The corpus grows across runs; the seeds are read alongside it.
mkdir -p "$build/corpus"
cd "$build"
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
exec ./fuzz_replies -max_total_time="$seconds" -max_len=1100 -print_final_stats=1 corpus seeds
