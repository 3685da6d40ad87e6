#!/usr/bin/env bash
# Configured without its tests, the project names no library by "-l" that is neither built nor installed: a
# program that needs a test kit is left out instead. $1: the C++ compiler.
set -euo pipefail
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$(dirname "$0")/../.." -B "$work" -G Ninja -DCMAKE_CXX_COMPILER="$1" -DBUILD_TESTS=OFF \
  -DBUILD_BENCH=ON >/dev/null
for lib in $(grep -o -- ' -l[^ ]*' "$work/build.ninja" | cut -c 4- | sort -u); do
  if [[ "$("$1" -print-file-name="lib$lib.so")" == "lib$lib.so" &&
    "$("$1" -print-file-name="lib$lib.a")" == "lib$lib.a" ]]; then
    echo "FAILED: a program links -l$lib, which is neither built nor installed" >&2
    exit 1
  fi
done
echo ok
