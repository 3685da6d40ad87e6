#!/usr/bin/env bash
# Configures the project without its tests (CXX: the compiler to use): every library a link line names by
# "-l" must be one the linker finds, so a program that needs a test kit is left out rather than broken.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
cxx=${1:?usage: build_options.sh CXX}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake -S "$source_dir" -B "$work" -G Ninja -DCMAKE_CXX_COMPILER="$cxx" -DBUILD_TESTS=OFF -DBUILD_BENCH=ON \
  >"$work/configure.log" || { cat "$work/configure.log"; exit 1; }
status=0
for flag in $(grep -o -- ' -l[^ ]*' "$work/build.ninja" | sort -u); do
  lib=${flag#-l}
  if [[ "$("$cxx" -print-file-name="lib$lib.so")" == "lib$lib.so" &&
    "$("$cxx" -print-file-name="lib$lib.a")" == "lib$lib.a" ]]; then
    echo "FAILED: a link line names $flag, which is neither built nor installed:" >&2
    awk -v flag="$flag" '/^build /{target=$2; sub(/:$/, "", target)} index($0, " " flag " ") || $0 ~ " " flag "$" {print "  " target}' \
      "$work/build.ninja" >&2
    status=1
  fi
done
[[ $status == 0 ]] && echo "ok"
exit $status
