#!/usr/bin/env bash
# The README's pkg-config line builds an app against the SDK installed below a prefix whose path holds a space
# and letters outside ASCII. Run: pkg_config_prefix.sh BUILD_DIR
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/my prefix ゲーム"
cmake --install "$1" --prefix "$prefix" --component sdk >/dev/null
line=$(grep -m1 'pkg-config --cflags --libs potemaru-analytics' "$source_dir/README.md")
cat >"$work/app.cpp" <<'CPP'
#include "analytics/RUV.h"
// Taken through a volatile, so the link needs the library.
int main() {
  std::shared_ptr<RUV> (*volatile create)() = &RUV::create;
  return create == nullptr;
}
CPP
cd "$work"
export PKG_CONFIG_PATH
PKG_CONFIG_PATH=$(dirname "$(find "$prefix" -name potemaru-analytics.pc)")
bash -c "$line -o app" || { echo "FAILED: the README's line: $line" >&2; exit 1; }
./app
echo "passed"
