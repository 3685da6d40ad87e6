#!/usr/bin/env bash
# scripts/check-package's lintian gate: a package whose program lacks Debian's hardening fails it, naming the
# tags; the same program built with the hardening passes it on that count.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAILED: $*" >&2
  exit 1
}

cat >"$work/hello.c" <<'C'
#include <stdio.h>
#include <string.h>
int main(int argc, char **argv) {
  char name[32];
  strcpy(name, argc > 1 ? argv[1] : "you");
  printf("hello %s\n", name);
  return 0;
}
C
# pack NAME CFLAGS...: a package holding /usr/bin/NAME built with the flags.
pack() {
  local name=$1 root=$work/$1
  shift
  mkdir -p "$root/DEBIAN" "$root/usr/bin"
  gcc -O2 "$@" "$work/hello.c" -o "$root/usr/bin/$name"
  strip --remove-section=.comment "$root/usr/bin/$name"
  printf 'Package: %s\nVersion: 1.0-1\nArchitecture: %s\nMaintainer: A <a@example.org>\nDescription: greets\n a test\n' \
    "$name" "$(dpkg --print-architecture)" >"$root/DEBIAN/control"
  dpkg-deb --root-owner-group -b "$root" "$work/$name.deb" >/dev/null
}
pack plain -fno-stack-protector -U_FORTIFY_SOURCE -Wl,-z,lazy
pack hardened -fstack-protector-strong -D_FORTIFY_SOURCE=2 -Wl,-z,relro,-z,now

source "$source_dir/scripts/check-package"
said=$(lint "$work/plain.deb" 2>&1) && fail "the gate passes a program without hardening: $said"
grep -q "programs built without Debian's hardening: .*hardening-no-bindnow.*" <<<"$said" ||
  fail "the gate does not name the missing hardening: $said"
grep -q "hardening-no-fortify-functions" <<<"$said" || fail "fortify is not checked: $said"
said=$(lint "$work/hardened.deb" 2>&1) || true
if grep -q "without Debian's hardening" <<<"$said"; then fail "the hardened program fails the gate: $said"; fi
echo "passed"
