#!/usr/bin/env bash
# Runs the recipes of README-Windows.txt as they are written there, under
# wine's cmd: the PATH line, then the folder .bat (taken from its
# "@echo off" to the first blank line) over a folder holding a.las, B.LAS,
# "Zürich Ost.las" and a tile that fails (three conversions, and
# failed.txt naming only the failing tile); and the list recipe over a
# folder of ASCII names (its tiles.txt, then the run of it).
# Usage: tests/windows/readme-recipes.sh <TREVLIN.exe>
set -euo pipefail
windows=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
top=$(cd "$(dirname "$0")/../.." && pwd)
data=$top/tests/data
. "$(dirname "$0")/own-wine.sh"

fail() {
  echo "recipe check: $*" >&2
  exit 1
}

# The guide as plain lines: no byte-order mark, no CR.
guide=$work/guide.txt
perl -pe 's/^\xEF\xBB\xBF//; s/\r$//' "$top/tool/README-Windows.txt" >"$guide"

# The indented block that starts with the line `first` and ends at the
# first blank line, without its indent.
block() {
  awk -v first="$1" '
    !on && $0 == "    " first { on = 1 }
    on && /^[[:space:]]*$/ { exit }
    on { sub(/^    /, ""); print }
  ' "$guide"
}

path_line=$(grep -m1 '^    set PATH=' "$guide" | sed 's/^    //') || fail "no PATH line"
bat=$(block "@echo off")
[ -n "$bat" ] || fail "no block starting with @echo off"
list_recipe=$(block "chcp 65001")
[ -n "$list_recipe" ] || fail "no list recipe starting with chcp 65001"

# TREVLIN.exe where the guide says it lands: the folder of its PATH line.
folder=$(sed -n 's/^set PATH=C:\\\(.*\);%PATH%$/\1/p' <<<"$path_line" | tr '\\' /)
[ -n "$folder" ] || fail "cannot read the folder of: $path_line"
"$wine" cmd /c exit >/dev/null 2>&1 || true # makes the prefix
mkdir -p "$WINEPREFIX/drive_c/$folder"
cp "$windows" "$WINEPREFIX/drive_c/$folder/TREVLIN.exe"

# Console lines, run one after the other in one cmd. wine's cmd takes
# only one line from a pipe, and no command line with quotes in it, so the
# lines go into a .bat, with the guide's rule for that: a loop's %f is
# written %%f there.
at_console() {
  local dir=$1
  shift
  printf '@echo off\r\n' >"$dir/console.bat"
  printf '%s\r\n' "$@" | perl -pe 's/%(~[a-z]*)?f\b/%%$1f/g' >>"$dir/console.bat"
  (cd "$dir" && "$wine" cmd /c console.bat) >"$dir/console.txt" 2>&1 || true
}

echo "-- the folder .bat, with TREVLIN.exe on the PATH by the guide's line"
tiles=$work/tiles
mkdir "$tiles"
cp "$data/PDAL__PDAL__1.2_0.las" "$tiles/a.las"
cp "$data/PDAL__PDAL__1.2_3.las" "$tiles/B.LAS"
cp "$data/hobuinc__laz-perf__point-time.las" "$tiles/Zürich Ost.las"
printf 'not a LAS file' >"$tiles/broken.las"
printf '%s\r\n' "$bat" >"$tiles/convert.bat"
at_console "$tiles" "$path_line" "call convert.bat"
for converted in a.asc B.asc "Zürich Ost.asc" a_hdr.asc B_hdr.asc "Zürich Ost_hdr.asc"; do
  [ -s "$tiles/$converted" ] || fail "convert.bat did not write $converted; the console showed: $(cat "$tiles/console.txt")"
done
[ ! -e "$tiles/broken.asc" ] || fail "convert.bat left broken.asc"
[ "$(cat "$tiles/failed.txt" 2>/dev/null)" = $'broken.las\r' ] ||
  fail "failed.txt should name broken.las alone; it holds: $(cat -A "$tiles/failed.txt" 2>/dev/null)"
echo "ok: three tiles converted, .LAS and a name with blanks beyond ASCII among them; failed.txt names broken.las alone"

echo "-- the list recipe"
listed=$work/listed
mkdir "$listed"
cp "$data/PDAL__PDAL__1.2_0.las" "$listed/a.las"
cp "$data/PDAL__PDAL__1.2_0.las" "$listed/B.LAS"
cp "$data/PDAL__PDAL__1.2_0.las" "$listed/Kachel 01.las"
mapfile -t recipe <<<"$list_recipe"
# Its first line, chcp 65001, wine's cmd refuses (it has no code page
# 65001): the names here are ASCII, which every code page writes alike.
[ "${recipe[0]}" = "chcp 65001" ] || fail "the list recipe should start with chcp 65001"
at_console "$listed" "$path_line" "${recipe[@]:1}"
[ "$(cat "$listed/tiles.txt" 2>/dev/null)" = $'"a.las"\r\n"B.las"\r\n"Kachel 01.las"\r' ] ||
  [ "$(sort "$listed/tiles.txt" 2>/dev/null)" = "$(printf '"B.las"\r\n"Kachel 01.las"\r\n"a.las"\r')" ] ||
  fail "tiles.txt holds: $(cat -A "$listed/tiles.txt" 2>/dev/null)"
for converted in a.asc B.asc "Kachel 01.asc"; do
  [ -s "$listed/$converted" ] || fail "the list did not write $converted; the console showed: $(cat "$listed/console.txt")"
done
echo "ok: tiles.txt names the three tiles, quoted, and converts them"

echo "not checkable under wine: the one-line console loop (wine's cmd ignores exit statuses for ||),"
echo "  chcp 65001 (wine's cmd has no code page 65001), setx and the settings dialog, and the"
echo "  PowerShell lines (no PowerShell here)"
