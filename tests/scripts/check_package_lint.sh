#!/usr/bin/env bash
# scripts/check-package's lintian gate passes a package lintian finds nothing to say about; fails one whose
# program lacks Debian's hardening, naming the tags; and fails on a warning alone, naming it: a pkg-config
# file outside the multiarch folder.
set -euo pipefail
work=$(mktemp -d) && trap 'rm -rf "$work"' EXIT
printf '#include <stdio.h>\n#include <string.h>\nint main(int c, char **v) {\n  char s[32];\n  strcpy(s, c > 1 ? v[1] : "x");\n  printf("%%s\\n", s);\n}\n' >"$work/hi.c"
pack() { # NAME CFLAGS...: a package of /usr/bin/NAME built with the flags, as Debian's tools want one
  local root=$work/$1 doc=$work/$1/usr/share/doc/$1
  mkdir -p "$root/DEBIAN" "$root/usr/bin" "$doc" "$root/usr/share/man/man1"
  gcc -O2 -s "${@:2}" "$work/hi.c" -o "$root/usr/bin/$1"
  printf '.TH %s 1\n.SH NAME\n%s \\- prints its argument\n' "$1" "$1" | gzip -9n >"$root/usr/share/man/man1/$1.1.gz"
  printf '%s (1.0) unstable; urgency=low\n\n  * First.\n\n -- A <a@example.org>  Fri, 11 Dec 2026 00:00:00 +0000\n' \
    "$1" | gzip -9n >"$doc/changelog.gz"
  printf 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n\nFiles: *\nCopyright: 2026 A\nLicense: MIT\n' \
    >"$doc/copyright"
  printf 'Package: %s\nVersion: 1.0\nArchitecture: %s\nMaintainer: A <a@example.org>\nPriority: optional\nSection: misc\nDepends: libc6\nDescription: prints its argument\n A program that prints the argument it is given, for the tests of\n the package checks.\n' \
    "$1" "$(dpkg --print-architecture)" >"$root/DEBIAN/control"
  (cd "$root" && find usr -type f -exec md5sum {} + >DEBIAN/md5sums)
  dpkg-deb --root-owner-group -b "$root" "$work/$1.deb" >/dev/null
}
pack plain -fno-stack-protector -U_FORTIFY_SOURCE -Wl,-z,lazy
pack hardened -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wl,-z,relro,-z,now
source "$(dirname "$0")/../../scripts/check-package"
hardened=$(lint "$work/hardened.deb" 2>&1) || { echo "FAILED: a clean package is refused: $hardened"; exit 1; }
plain=$(lint "$work/plain.deb" 2>&1) && { echo "FAILED: passes without hardening: $plain"; exit 1; }
grep -q "without Debian's hardening: .*hardening-no-bindnow.*hardening-no-fortify-functions" <<<"$plain" ||
  { echo "FAILED: $plain"; exit 1; }
mkdir -p "$work/hardened/usr/lib/pkgconfig" && echo "Name: hi" >"$work/hardened/usr/lib/pkgconfig/hi.pc"
(cd "$work/hardened" && find usr -type f -exec md5sum {} + >DEBIAN/md5sums)
dpkg-deb --root-owner-group -b "$work/hardened" "$work/pc.deb" >/dev/null
pc=$(lint "$work/pc.deb" 2>&1) && { echo "FAILED: passes with a warning: $pc"; exit 1; }
grep -q "lintian warns: .*hardened: pkg-config-unavailable-for-cross-compilation" <<<"$pc" || { echo "FAILED: $pc"; exit 1; }
echo ok
