#!/usr/bin/env bash
# scripts/check-package's check of potemaru-dev's documentation folder: the SDK's pages (the README's page as
# the build cuts it) and the checkout's examples pass; without the README's page or an example's helper it
# fails, naming them.
set -euo pipefail
checkout=$(cd "$(dirname "$0")/../.." && pwd -P)
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
mkdir "$work/doc"
cp "$checkout/docs/SDK.md" "$checkout/docs/STORAGE.md" "$1/packaging/sdk/README.md" "$work/doc/"
cp -r "$checkout/examples" "$work/doc/"
source "$checkout/scripts/check-package"
whole=$(sdk_docs "$work/doc" "$checkout" 2>&1) || { echo "FAILED: the whole folder is refused: $whole"; exit 1; }
rm "$work/doc/README.md" "$work/doc/examples/HeadlessScreen.h"
lacking=$(sdk_docs "$work/doc" "$checkout" 2>&1) && { echo "FAILED: passes without the README's page"; exit 1; }
grep -qx "check-package: .* lacks the checkout's README.md examples/HeadlessScreen.h" <<<"$lacking" ||
  { echo "FAILED: $lacking"; exit 1; }
