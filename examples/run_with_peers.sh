#!/usr/bin/env bash
# Runs one example against a fresh potemaru-peers, then its check on what it wrote.
#   run_with_peers.sh PEERS EXAMPLE CHECK OUTDIR
set -euo pipefail
peers=$1 example=$2 check=$3 out=$4
rm -rf "$out"
mkdir -p "$out"
"$peers" --port 0 --record "$out/record.jsonl" --endpoints-out "$out/endpoints.json" >"$out/peers.out" 2>"$out/peers.err" &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true' EXIT
for _ in $(seq 100); do
  [[ -s "$out/endpoints.json" ]] && break
  sleep 0.1
done
[[ -s "$out/endpoints.json" ]] || { echo "run_with_peers: potemaru-peers did not start" >&2; exit 1; }
# An example that hangs shows where before it is stopped (gdb, when there is one), well inside ctest's limit.
limit=${EXAMPLE_TIME_LIMIT:-200}
"$example" --endpoints "$out/endpoints.json" --captures "$out" &
example_pid=$!
for _ in $(seq $((limit * 10))); do
  kill -0 "$example_pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$example_pid" 2>/dev/null; then
  echo "run_with_peers: $(basename "$example") still runs after ${limit} s; its threads:" >&2
  command -v gdb >/dev/null && gdb -batch -p "$example_pid" -ex 'thread apply all bt' 2>&1 | grep -E '^(Thread|#)' >&2
  kill -9 "$example_pid"
  wait "$example_pid" 2>/dev/null || true
  exit 1
fi
wait "$example_pid"
"$check" "$out"
