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
"$example" --endpoints "$out/endpoints.json" --captures "$out"
"$check" "$out"
