#!/usr/bin/env bash
# The README's pkg-config line builds an app against the SDK installed below a prefix whose path holds a space
# and letters outside ASCII, with the README's PKG_CONFIG_PATH for it. Run: pkg_config_prefix.sh BUILD_DIR
set -euo pipefail
readme=$(dirname "$0")/../../README.md
line=$(grep -m1 'pkg-config --cflags --libs potemaru-analytics' "$readme")
folder=$(grep -o -m1 'PKG_CONFIG_PATH=<prefix>/[^`]*' "$readme")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/my prefix ゲーム" && folder=${folder#PKG_CONFIG_PATH=<prefix>}
cmake --install "$1" --prefix "$prefix" --component sdk >/dev/null
PKG_CONFIG_PATH=$prefix${folder//<triplet>/$(gcc -print-multiarch)} && export PKG_CONFIG_PATH
cd "$work" # RUV::create is taken through a volatile, so the link needs the library.
printf '#include "analytics/RUV.h"\nint main() {\n  std::shared_ptr<RUV> (*volatile create)() = &RUV::create;\n  return create == nullptr;\n}\n' >app.cpp
bash -c "$line -o app" && ./app || { echo "FAILED: the README's line, with PKG_CONFIG_PATH=$PKG_CONFIG_PATH: $line" >&2; exit 1; }
