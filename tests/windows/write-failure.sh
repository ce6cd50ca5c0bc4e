#!/usr/bin/env bash
# A point file whose writes fail part-way (a file-size limit, as a full
# disk does), at 8 threads with jobs of a few records, 50 times in a row on
# Linux and under wine: each run ends with the message and status of a
# failed write, nothing on standard error (no crash report), no temporary
# left, and no thread running when the process exits.
# Usage: tests/windows/write-failure.sh <Linux TREVLIN> <TREVLIN.exe>
set -euo pipefail
linux=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
windows=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
data=$(cd "$(dirname "$0")/../data" && pwd)
. "$(dirname "$0")/own-wine.sh"
# The server runs without the limit, started before any limited process.
"$wine" "$windows" --version >/dev/null 2>&1 || true
"$wineserver" -p >/dev/null 2>&1 || true
cp "$data/PDAL__PDAL__autzen_trim.las" "$work/a.las"
failures=0
for platform in linux windows; do
  for run in $(seq 50); do
    rm -f "$work"/a.asc* "$work"/a_hdr.asc*
    status=0
    if [ "$platform" = linux ]; then
      (cd "$work" && ulimit -f 256 && trap '' XFSZ && TREVLIN_THREADS=8 TREVLIN_TEST_JOB_RECORDS=50 \
        "$linux" a.las 0) >"$work/out" 2>"$work/err" || status=$?
    else
      # wine now and then fails to start a process under load: status 1 and
      # no output, which the tool never gives. Only such starts are retried.
      for attempt in 1 2 3 4 5; do
        status=0
        (cd "$work" && ulimit -f 256 && trap '' XFSZ && TREVLIN_THREADS=8 TREVLIN_TEST_JOB_RECORDS=50 \
          "$wine" "$windows" a.las 0) >"$work/out" 2>"$work/err" || status=$?
        [ "$status" -eq 1 ] && [ ! -s "$work/out" ] || break
        echo "   (wine did not start the program; attempt $attempt)"
        rm -f "$work"/a.asc* "$work"/a_hdr.asc*
        sleep 1
      done
    fi
    if [ "$status" -ne 255 ] || ! tr -d '\r' <"$work/out" | tail -n 1 | grep -qx 'Failed to write file a.asc' ||
      [ -s "$work/err" ] || [ -n "$(find "$work" -maxdepth 1 -name '*.incomplete')" ]; then
      failures=$((failures + 1))
      echo "FAIL: $platform run $run: status $status, standard error: $(head -c 300 "$work/err")"
    fi
  done
  echo "$platform: 50 write failures at 8 threads"
done
[ "$failures" -eq 0 ]
