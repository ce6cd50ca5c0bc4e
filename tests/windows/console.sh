#!/usr/bin/env bash
# What a console shows: TREVLIN.exe under wine with its standard output and
# standard error on a console (wine's, on a pseudo-terminal that `script`
# makes), for names beyond ASCII on the command line and in a UTF-16 list,
# and a warning on standard error. Every name must show as it is (UTF-8 on
# the terminal), not as the bytes of its UTF-8 read in another code page.
# Usage: tests/windows/console.sh <TREVLIN.exe>
set -euo pipefail
windows=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
data=$(cd "$(dirname "$0")/../data" && pwd)
. "$(dirname "$0")/own-wine.sh"
command -v script >/dev/null || { echo "console check skipped: script is not installed"; exit 0; }
"$wine" "$windows" --version >/dev/null 2>&1 || true
cp "$data/PDAL__PDAL__1.2-with-color-clipped.las" "$work/Zürich_Ost.las"
cp "$data/PDAL__PDAL__1.2-with-color-clipped.las" "$work/東京.las"
{ printf '\xff\xfe' && printf 'Zürich_Ost.las\r\n東京.las\r\n' | iconv -f UTF-8 -t UTF-16LE; } >"$work/名前.txt"

# The text a run puts on the console, without the terminal's controls.
on_console() {
  # A wide terminal, so that no line is wrapped.
  (cd "$work" && script -q -e -c "stty cols 200; $(printf '%q ' "$wine" "$windows" "$@")" "$work/typescript" \
    >/dev/null 2>&1 </dev/null) || true
  perl -pe 's/\e\[[?0-9;]*[A-Za-z]//g; s/\r//g' "$work/typescript"
}

failures=0
expect() {
  grep -qxF -- "$2" <<<"$1" || {
    failures=$((failures + 1))
    echo "FAIL: the console does not show: $2"
  }
}
shown=$(on_console Zürich_Ost.las 15)
expect "$shown" "Input LAS File:     Zürich_Ost.las"
expect "$shown" "Output ASCII File:  Zürich_Ost.asc"
expect "$shown" "TREVLIN: warning: Zürich_Ost.las holds 1064 point records; its header declares 1065"
shown=$(on_console 名前.txt 0)
expect "$shown" "Input LAS File:     東京.las"
expect "$shown" "TREVLIN: warning: 東京.las holds 1064 point records; its header declares 1065"
expect "$shown" "2 / 2"
[ "$failures" -eq 0 ] || { echo "what the console showed:"; echo "$shown"; exit 1; }
echo "ok: names show right on a console, from the command line and a UTF-16 list"

# /? is --help on Windows, which names the Windows guide.
help=$("$wine" "$windows" /? | tr -d '\r')
[ "$help" = "$("$wine" "$windows" --help | tr -d '\r')" ] || { echo "FAIL: /? is not --help"; exit 1; }
grep -q 'README-Windows.txt' <<<"$help" || { echo "FAIL: --help does not name README-Windows.txt"; exit 1; }
echo "ok: /? prints the help, which names README-Windows.txt"
