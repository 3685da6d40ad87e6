#!/usr/bin/env bash
# The README's package line packs in the folder that its install lines configure and then build whole (cpack
# builds nothing: it installs every component from what was built), so it works right after them.
set -euo pipefail
installing=$(sed -n '/^## Installing$/,/^## /p' "$(dirname "$0")/../../README.md")
lines=$(awk '/^```/ { n++; next } n == 1' <<<"$installing")
configured=$(grep -oP -- '-B \K[^ ]+' <<<"$lines" | head -n 1)
whole=$(grep -oP -- 'cmake --build \K[^ ]+(?= &&| *$)' <<<"$lines" || true)
packed=$(grep -oP -- '`cd \K[^ ]+(?= && cpack -G DEB`)' <<<"$installing" || true)
[[ -n "$packed" && "$packed" == "$configured" ]] && grep -qxF -- "$packed" <<<"$whole" ||
  { echo "FAILED: the package line packs in \"$packed\"; the install lines configure \"$configured\" and build whole \"$whole\""; exit 1; }
