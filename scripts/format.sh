#!/usr/bin/env bash
# Formats the C++ sources by the tree's .clang-format, in place:
#   scripts/format.sh            reformat every *.cpp and *.h
#   scripts/format.sh --check    list the files whose formatting differs and exit 1 if any do
# The formatter is Debian 12's clang-format (version 14); another version may format differently.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
formatter=clang-format
command -v clang-format-14 >/dev/null 2>&1 && formatter=clang-format-14
if ! command -v "$formatter" >/dev/null 2>&1; then
    echo "format.sh: clang-format not found; run scripts/setup.sh" >&2
    exit 2
fi
mapfile -t files < <(git ls-files -- \
    'core/*.cpp' 'core/*.h' 'gui/*.cpp' 'gui/*.h' \
    'cli/*.cpp' 'cli/*.h' 'sim/*.cpp' 'sim/*.h' 'tests/*.cpp' 'tests/*.h' 'bench/*.cpp' 'bench/*.h' \
    'fuzz/*.cpp' 'fuzz/*.h' 'core/*.cpp' 'core/*.h')
case "${1:-}" in
    --check)
        differ=()
        for f in "${files[@]}"; do
            if ! "$formatter" --style=file "$f" | cmp -s - "$f"; then
                differ+=("$f")
            fi
        done
        if [ ${#differ[@]} -ne 0 ]; then
            echo "format.sh: not formatted by .clang-format (run scripts/format.sh):" >&2
            printf '  %s\n' "${differ[@]}" >&2
            exit 1
        fi
        echo "format.sh: ${#files[@]} files formatted"
        ;;
    "")
        "$formatter" --style=file -i "${files[@]}"
        ;;
    *)
        echo "usage: scripts/format.sh [--check]" >&2
        exit 2
        ;;
esac
