#!/usr/bin/env bash
# Durable outputs, as the system calls show them: with TREVLIN_SYNC=1 each
# output's temporary is flushed to the disk before its rename and its
# folder after it; without, nothing is flushed. Skips without strace.
# Usage: durable_outputs.sh <TREVLIN> <a LAS file>
set -euo pipefail
trevlin=$1
las=$2
command -v strace >/dev/null || { echo "skipped: strace is not installed"; exit 0; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$las" "$work/a.las"
cd "$work"

fail() {
  echo "durable outputs: $*" >&2
  cat trace >&2
  exit 1
}

# LeakSanitizer cannot run under ptrace; the sanitizer builds' other
# checks still do.
export ASAN_OPTIONS=${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0

# The fsync and rename calls of a run, one per line, with file names.
calls() {
  env "$@" strace -f -y -qq -e trace=fsync,fdatasync,rename,renameat,renameat2 -o trace \
    "$trevlin" a.las 0 >/dev/null
  sed -E 's/^[0-9]+ +//' trace
}

calls TREVLIN_SYNC= >/dev/null
grep -q fsync trace && fail "outputs were flushed without TREVLIN_SYNC"

for threads in 1 3; do
  sequence=$(calls TREVLIN_SYNC=1 TREVLIN_THREADS=$threads |
    sed -E -e 's/^fsync\([0-9]+<[^>]*\/a(_hdr)?\.asc\.[0-9]+\.incomplete>\).*/sync-temporary\1/' \
      -e 's/^rename\("a(_hdr)?\.asc\.[0-9]+\.incomplete", "a(_hdr)?\.asc"\).*/rename\1/' \
      -e "s|^fsync\([0-9]+<$work>\).*|sync-folder|")
  # The report is flushed first and waits for the points to be in place.
  expected=$(printf '%s\n' sync-temporary_hdr sync-temporary rename sync-folder rename_hdr sync-folder)
  [ "$sequence" = "$expected" ] || fail "$threads threads: the calls were: $sequence"
done
echo "ok: TREVLIN_SYNC=1 flushes each temporary before its rename and the folder after"
