#!/usr/bin/env bash
# The user's own data folder (${XDG_DATA_HOME:-~/.local/share}) is never the tests': every test runs with
# a home of its own. This notes what the folder holds before the tests and fails after them, naming what
# appeared, if anything did.
#   real_data_home.sh snapshot LIST    notes the folder's entries (two levels down) in LIST
#   real_data_home.sh check LIST       fails if the folder holds an entry that LIST does not
set -euo pipefail
mode=${1:?usage: real_data_home.sh snapshot|check LIST} list=${2:?usage: real_data_home.sh snapshot|check LIST}
data=${XDG_DATA_HOME:-}
[[ "$data" == /* ]] || data=${HOME:?HOME is not set}/.local/share
# Two levels: a folder an app makes for itself, and a file a test left in a folder that was there (a game's
# progress beside the player's).
entries() { if [[ -d "$data" ]]; then find "$data" -mindepth 1 -maxdepth 2 -printf '%P\n' | LC_ALL=C sort; fi; }
case "$mode" in
snapshot)
  mkdir -p "$(dirname "$list")"
  entries >"$list"
  ;;
check)
  [[ -f "$list" ]] || { echo "real_data_home.sh: no snapshot at $list" >&2; exit 1; }
  appeared=$(LC_ALL=C comm -13 "$list" <(entries))
  if [[ -n "$appeared" ]]; then
    echo "the tests wrote in the user's own data folder $data (a program under test kept its home there):"
    sed 's/^/  /' <<<"$appeared"
    exit 1
  fi
  echo "nothing appeared in $data"
  ;;
*)
  echo "usage: real_data_home.sh snapshot|check LIST" >&2
  exit 2
  ;;
esac
