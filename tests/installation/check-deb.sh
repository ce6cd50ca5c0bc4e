#!/usr/bin/env bash
# Builds the Debian package from a build configured for /usr, runs lintian
# on it (errors fail; warnings are printed), unpacks it without installing
# it into the system and converts a sample with the unpacked tool.
# Usage: tests/installation/check-deb.sh <build directory>
set -euo pipefail
build=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() {
  echo "package check: $*" >&2
  exit 1
}

(cd "$build" && cpack -G DEB >/dev/null)
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
deb=$build/trevlin_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "no $deb"

lintian --tag-display-limit 0 "$deb" >"$work/lintian.log" 2>&1 || true
cat "$work/lintian.log"
if grep -q '^E:' "$work/lintian.log"; then
  fail "lintian reports errors"
fi
echo "ok: lintian, no errors"

dpkg-deb -x "$deb" "$work/root"
for f in usr/bin/TREVLIN usr/share/man/man1/TREVLIN.1.gz usr/share/doc/trevlin/copyright \
  usr/include/HOLVANE_LiDAR.h usr/share/trevlin/slurm/convert-tiles.sbatch; do
  [ -e "$work/root/$f" ] || fail "the package lacks /$f"
done
mkdir "$work/run"
cp "$here/../../examples/1.2-with-color.las" "$work/run/"
(cd "$work/run" && "$work/root/usr/bin/TREVLIN" 1.2-with-color.las 15 >/dev/null)
lines=$(wc -l <"$work/run/1.2-with-color.asc")
[ "$lines" -eq 1066 ] || fail "the unpacked tool wrote $lines lines"
head -n 2 "$work/run/1.2-with-color.asc" | grep -q '^637012.24 849028.31 431.66$' ||
  fail "unexpected text: $(head -n 2 "$work/run/1.2-with-color.asc")"
echo "ok: the unpacked tool converts a sample"
