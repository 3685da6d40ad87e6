#!/usr/bin/env bash
# scripts/check-package's reference checker on one kind of reference ($1): a page's reference of that kind
# that leads nowhere is named, and one that leads somewhere passes (a link to a heading by the anchor the page
# shows it under: an "_" kept, a second heading of a name with "-1").
set -euo pipefail
doc=$(mktemp -d) && trap 'rm -rf "$doc"' EXIT
printf '# Using an SDK\n\n## The `snake_case` and a_b part\n\n## Setup\n\n## Setup\n' >"$doc/README.md"
case $1 in
  readme) page='The README says where the data lives; the README'"'"'s "Using an SDK" says how to build.'
    expected='the README, with no part of it named,' ;;
  reference) page=$'[a][sdk], [sdk][], [b][gone], [c][unknown].\n\n[sdk]: README.md#using-an-sdk\n[gone]: GONE.md'
    expected=$'[gone]: GONE.md leads nowhere\ncheck-package: PAGE.md: [unknown]' ;;
  href) page='<a href="README.md#setup">a</a>, <a href='"'"'NOPE.md'"'"'>b</a>'
    expected='href="NOPE.md"' ;;
  see) page='(see "Page") (see "Nothing here")'
    expected='"Nothing here"' ;;
  underscore) page='[a](README.md#the-snake_case-and-a_b-part) [b](README.md#the-snakecase-and-ab-part)'
    expected='(README.md#the-snakecase-and-ab-part)' ;;
  duplicate) page='[a](README.md#setup) [b](README.md#setup-1) [c](README.md#setup-2)'
    expected='(README.md#setup-2)' ;;
  *) echo "no case $1" >&2; exit 2 ;;
esac
printf '# Page\n\n%s\n' "$page" >"$doc/PAGE.md"
source "$(dirname "$0")/../../scripts/check-package"
out=$(doc_references "$doc" 2>&1) && { echo "FAILED: passes: $out"; exit 1; }
[[ "$out" == "check-package: PAGE.md: $expected leads nowhere" ]] || { echo "FAILED: $out"; exit 1; }
echo ok
