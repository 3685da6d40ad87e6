#!/usr/bin/env bash
# scripts/check-package's lintian gate fails a package whose program lacks Debian's hardening, naming the
# tags, and not the same program built with it; it fails on a warning, naming it: a pkg-config file outside
# the multiarch folder.
set -euo pipefail
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
printf '#include <stdio.h>\n#include <string.h>\nint main(int c, char **v) {\n  char s[32];\n  strcpy(s, c > 1 ? v[1] : "x");\n  printf("%%s\\n", s);\n}\n' >"$work/hi.c"
pack() { # NAME CFLAGS...: a package of /usr/bin/NAME built with the flags
  local root=$work/$1
  mkdir -p "$root/DEBIAN" "$root/usr/bin"
  gcc -O2 "${@:2}" "$work/hi.c" -o "$root/usr/bin/$1"
  printf 'Package: %s\nVersion: 1.0-1\nArchitecture: %s\nMaintainer: A <a@example.org>\nDescription: hi\n hi\n' \
    "$1" "$(dpkg --print-architecture)" >"$root/DEBIAN/control"
  dpkg-deb --root-owner-group -b "$root" "$work/$1.deb" >/dev/null
}
pack plain -fno-stack-protector -U_FORTIFY_SOURCE -Wl,-z,lazy
pack hardened -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wl,-z,relro,-z,now
source "$(dirname "$0")/../../scripts/check-package"
plain=$(lint "$work/plain.deb" 2>&1) && { echo "FAILED: passes without hardening: $plain"; exit 1; }
hardened=$(lint "$work/hardened.deb" 2>&1) || true
grep -q "without Debian's hardening: .*hardening-no-bindnow.*hardening-no-fortify-functions" <<<"$plain" &&
  ! grep -q "without Debian's hardening" <<<"$hardened" || { echo "FAILED: $plain $hardened"; exit 1; }
mkdir -p "$work/hardened/usr/lib/pkgconfig" && echo "Name: hi" >"$work/hardened/usr/lib/pkgconfig/hi.pc"
dpkg-deb --root-owner-group -b "$work/hardened" "$work/pc.deb" >/dev/null
pc=$(lint "$work/pc.deb" 2>&1) || true
grep -q "lintian warns: .*hardened: pkg-config-unavailable-for-cross-compilation" <<<"$pc" || { echo "FAILED: $pc"; exit 1; }
