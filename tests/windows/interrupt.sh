#!/usr/bin/env bash
# Interrupts the Windows build under wine while it writes a large point
# file (wine turns SIGINT into the console's Ctrl+C event): the console
# control handler must delete the point file's temporary, leave no final
# point file, keep the header report, say
# so on standard error and end the process with STATUS_CONTROL_C_EXIT,
# whose low byte (58) is what the Unix side sees.
# Usage: tests/windows/interrupt.sh <Linux build directory> <TREVLIN.exe>
set -euo pipefail
bench=$(cd "$1" && pwd)/bench/trevlin_bench
windows=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-$(dirname "$wine")/wineserver}
work=$(mktemp -d)
export WINEDEBUG=-all WINEPREFIX=$work/wine

clean_up() {
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  rm -rf "$work" 2>/dev/null || { sleep 1; rm -rf "$work" 2>/dev/null; } || true
}
trap clean_up EXIT

fail() {
  echo "interrupt check: $*" >&2
  exit 1
}

"$wine" "$windows" --version >/dev/null 2>&1 || true # makes the prefix
"$bench" --points 10000000 --make "$work/big.las"
cd "$work"
TREVLIN_THREADS=3 "$wine" "$windows" big.las 0 >out.txt 2>err.txt &
pid=$!
# The point file is written under a temporary name until it is complete.
temporary() { find . -maxdepth 1 -name 'big.asc.*.incomplete' | head -n 1; }
for _ in $(seq 600); do
  t=$(temporary)
  [ -n "$t" ] && [ "$(stat -c %s "$t" 2>/dev/null || echo 0)" -gt 1000000 ] && break
  sleep 0.05
done
[ -n "$(temporary)" ] || fail "the conversion did not start"
kill -INT "$pid"
status=0
wait "$pid" || status=$?
echo "status $status; standard error: $(cat err.txt)"
[ "$status" -eq 58 ] || fail "exit status $status, not 58 (STATUS_CONTROL_C_EXIT)"
[ "$(cat err.txt)" = $'TREVLIN: interrupted; removed incomplete big.asc\r' ] ||
  fail "standard error: $(od -c err.txt | head)"
[ ! -e big.asc ] || fail "big.asc is there"
[ -z "$(temporary)" ] || fail "the temporary $(temporary) is still there"
# The report waits whole under its temporary name for the points, and goes
# with them.
[ ! -e big_hdr.asc ] || fail "big_hdr.asc is there"
[ -z "$(find . -maxdepth 1 -name '*.incomplete')" ] || fail "a temporary is still there"
grep -q 'Output ASCII File:  big.asc' out.txt || fail "standard output lacks the progress lines"
echo "ok: Ctrl+C under wine removes the point file being written and the waiting report"
