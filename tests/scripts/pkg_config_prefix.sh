#!/usr/bin/env bash
# The README's pkg-config line builds an app against the SDK installed below a prefix whose path holds a space
# and letters outside ASCII. Run: pkg_config_prefix.sh BUILD_DIR
set -euo pipefail
line=$(grep -m1 'pkg-config --cflags --libs potemaru-analytics' "$(dirname "$0")/../../README.md")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$1" --prefix "$work/my prefix ゲーム" --component sdk >/dev/null
PKG_CONFIG_PATH=$(dirname "$(find "$work" -name potemaru-analytics.pc)") && export PKG_CONFIG_PATH
cd "$work" # RUV::create is taken through a volatile, so the link needs the library.
printf '#include "analytics/RUV.h"\nint main() {\n  std::shared_ptr<RUV> (*volatile create)() = &RUV::create;\n  return create == nullptr;\n}\n' >app.cpp
bash -c "$line -o app" && ./app || { echo "FAILED: the README's line: $line" >&2; exit 1; }
