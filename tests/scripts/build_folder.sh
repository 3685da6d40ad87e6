#!/usr/bin/env bash
# scripts/build-folder in a checkout whose path holds a ";": the checkout gets a link to a folder of its own,
# and keeps its own when it is moved or copied with its link (to any path, under any user's cache), while a
# link the user made elsewhere stays. Each folder configures.
set -euo pipefail
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export XDG_CACHE_HOME=$work/cache

checkout() {
  mkdir -p "$1/scripts"
  cp "$source_dir/scripts/build-folder" "$1/scripts/"
  echo 'cmake_minimum_required(VERSION 3.25)
project(checkout NONE)' >"$1/CMakeLists.txt"
}
fail() {
  echo "FAILED: $*" >&2
  exit 1
}
# The folder the checkout at $1 builds in, once configured there.
folder() {
  (cd "$1" && dir=$(scripts/build-folder build) && cmake -S . -B "$dir" >/dev/null && realpath "$dir") ||
    fail "cannot configure $1"
}

first="$work/a;b"
checkout "$first"
one=$(folder "$first")
[[ "$one" == "$XDG_CACHE_HOME"/potemaru/builds/* ]] || fail "first checkout builds in $one"
[[ "$(folder "$first")" == "$one" ]] || fail "a second call changed the folder"

cp -a "$first" "$work/copy;1"
copy=$(folder "$work/copy;1")
[[ "$copy" != "$one" && -d "$copy" ]] || fail "the copy builds in the first checkout's folder $copy"
[[ "$(readlink "$work/copy;1/build")" == "$copy" ]] || fail "the copy's link is not its own"
[[ "$(folder "$first")" == "$one" ]] || fail "the first checkout lost its folder"

mv "$first" "$work/moved;2"
moved=$(folder "$work/moved;2")
[[ "$moved" != "$one" && "$moved" != "$copy" ]] || fail "the moved checkout builds in $moved"

cp -a "$work/copy;1" "$work/theirs;3"
theirs=$(XDG_CACHE_HOME=$work/theirs folder "$work/theirs;3")
[[ "$theirs" == "$work"/theirs/* ]] || fail "another user's copy builds in $theirs"
cp -a "$work/copy;1" "$work/plain-copy"
mv "$work/moved;2" "$work/plain-moved"
for plain in "$work/plain-copy" "$work/plain-moved"; do
  [[ "$(folder "$plain")" == "$plain/build" && ! -L "$plain/build" ]] || fail "$plain builds elsewhere"
done

mine="$work/my;own"
checkout "$mine"
mkdir "$work/fast"
ln -s "$work/fast" "$mine/build"
[[ "$(folder "$mine")" == "$work/fast" ]] || fail "a link the user made was replaced"
echo "ok"
