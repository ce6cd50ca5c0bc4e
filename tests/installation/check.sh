#!/usr/bin/env bash
# Installs a build of this project into a temporary prefix, moves the prefix
# elsewhere, and builds and runs las_summary against the installed library
# as another project would: through the CMake package as C++17 and as C++20,
# and through pkg-config alone. Also checks what bad requests get.
# Usage: tests/installation/check.sh <build directory>
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
sample=$here/../../examples/1.2-with-color.las
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

expected='LASType 8, 1065 records of 34 bytes
fresh header: version 1.2, point data format 0
returns by count: 5:0 4:5 3:21 2:114 1:925'

fail() {
  echo "installation check: $*" >&2
  exit 1
}

same_output() { # program, what
  local got
  got=$("$1" "$sample") || fail "$2: las_summary exited with $?"
  [ "$got" = "$expected" ] || fail "$2: las_summary printed
$got"
  echo "ok: $2"
}

cmake --install "$build" --prefix "$work/installed" >/dev/null
# Nothing in the package may depend on the prefix it was installed into.
mv "$work/installed" "$work/prefix"
prefix=$work/prefix

for std in 17 20; do
  cmake -S "$here" -B "$work/cmake$std" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_STANDARD=$std -DCMAKE_CXX_FLAGS="-Wall -Wextra -pedantic -Werror" >/dev/null
  cmake --build "$work/cmake$std" >/dev/null
  same_output "$work/cmake$std/las_summary" "CMake package, C++$std"
done

pc=$(find "$prefix" -name holvane-lidar.pc)
[ -n "$pc" ] || fail "no holvane-lidar.pc installed"
flags=$(PKG_CONFIG_PATH=$(dirname "$pc") pkg-config --cflags --libs holvane-lidar)
# shellcheck disable=SC2086 # the flags are words
c++ -std=c++17 -Wall -Wextra -pedantic -Werror "$here/las_summary.cpp" $flags -o "$work/pc_summary"
same_output "$work/pc_summary" "pkg-config, C++17"

# A major version that does not exist gets CMake's own version message.
if cmake -S "$here" -B "$work/v2" -DCMAKE_PREFIX_PATH="$prefix" -DHOLVANE_VERSION=2 \
  >"$work/v2.log" 2>&1; then
  fail "find_package(HolvaneLidar 2) succeeded"
fi
version=$(sed -n 's/^project(TREVLIN VERSION \([0-9.]*\).*/\1/p' "$here/../../CMakeLists.txt")
grep -q "version: $version" "$work/v2.log" || fail "no version message: $(cat "$work/v2.log")"
echo "ok: version 2 refused"

# A prefix that cannot be written: beneath a plain file, for root as well.
touch "$work/plain-file"
if cmake --install "$build" --prefix "$work/plain-file/prefix" >"$work/bad.log" 2>&1; then
  fail "installing beneath a plain file succeeded"
fi
grep -q 'CMake Error' "$work/bad.log" || fail "no CMake message: $(cat "$work/bad.log")"
echo "ok: unwritable prefix refused"
