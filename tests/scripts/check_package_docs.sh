#!/usr/bin/env bash
# scripts/check-package's check of potemaru-dev's documentation folder as the build installs it: it passes;
# without the README's page or an example's helper, or with a page that refers to what is not there, it
# fails, naming them. Run: check_package_docs.sh BUILD_DIR
set -euo pipefail
checkout=$(cd "$(dirname "$0")/../.." && pwd -P)
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/prefix" --component sdk >/dev/null
doc=$work/prefix/share/doc/potemaru-dev
source "$checkout/scripts/check-package"
whole=$(sdk_docs "$doc" "$checkout" 2>&1) || { echo "FAILED: the installed folder is refused: $whole"; exit 1; }
rm "$doc/README.md" "$doc/examples/HeadlessScreen.h"
printf 'As [the tour](SDK.md#no-such-part) and the README'"'"'s "Installing" say.\n' >"$doc/NOTES.md"
lacking=$(sdk_docs "$doc" "$checkout" 2>&1) && { echo "FAILED: passes without the README's page"; exit 1; }
[[ "$lacking" == "check-package: NOTES.md: (SDK.md#no-such-part) leads nowhere
check-package: NOTES.md: the README's \"Installing\" leads nowhere
check-package: SDK.md: the README's \"Using an SDK\" leads nowhere
check-package: the sdk package's documentation lacks the checkout's README.md examples/HeadlessScreen.h" ]] ||
  { echo "FAILED: $lacking"; exit 1; }
