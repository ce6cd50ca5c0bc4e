#!/usr/bin/env bash
# Runs the Windows build under wine beside the Linux build, case by case,
# and requires the same exit status, the same standard output and the same
# files, with every LF of the Linux bytes turned into CR LF and no bare LF
# in what Windows wrote. The elapsed-time figure is the only thing masked.
# Usage: tests/windows/compare.sh <Linux TREVLIN> <TREVLIN.exe> [names]
# With "names", only the rows of names beyond ASCII and of long paths run:
# for the executable without the manifest, as Windows before 10 version
# 1903 runs TREVLIN.exe, so that names are checked to reach the file
# system whatever the ANSI code page.
set -euo pipefail
linux=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
windows=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
data=$(cd "$(dirname "$0")/../data" && pwd)
only=${3:-}
wine=${WINE:-/usr/lib/wine/wine64}
wineserver=${WINESERVER:-$(dirname "$wine")/wineserver}
work=$(mktemp -d)
export WINEDEBUG=-all LC_ALL=C.UTF-8
export WINEPREFIX=${WINEPREFIX:-$work/wine}

# wineserver outlives the last Windows process by a few seconds and writes
# the prefix's registry when it goes, so a prefix of our own is removed
# only once its server has ended. The comparison's result alone decides
# the exit status: nothing here can fail the run.
clean_up() {
  if [ "$WINEPREFIX" = "$work/wine" ]; then
    "$wineserver" -k >/dev/null 2>&1 || true
    "$wineserver" -w >/dev/null 2>&1 || true
  fi
  rm -rf "$work" 2>/dev/null || { sleep 1; rm -rf "$work" 2>/dev/null; } || true
}
trap clean_up EXIT
cases=0
failures=0

with_crlf() { perl -pe 's/\n/\r\n/g' "$@"; }
masked() { perl -pe 's/(Elapsed time: )[0-9.]+( seconds)/$1#$2/' "$@"; }
# An output joined to an -o folder named without a separator ("out") takes
# the platform's own: "out\t.asc" on Windows.
windows_paths() { perl -pe 's#^(Output ASCII File:  out)/#$1\\#'; }
has_bare_lf() { perl -0777 -ne 'exit(/(?<!\r)\n/ ? 0 : 1)' "$1"; }

# Fresh directories for both builds, holding the same inputs: pairs of
# name in the directory and file it is copied from.
setup() {
  rm -rf "$work/linux" "$work/windows"
  mkdir "$work/linux" "$work/windows"
  while [ $# -gt 0 ]; do
    cp "$2" "$work/linux/$1"
    cp "$2" "$work/windows/$1"
    shift 2
  done
}

# wine now and then fails to start a process under load: status 1 and no
# output, which the tool never gives. Only such starts are retried.
run_windows() {
  local attempt
  for attempt in 1 2 3 4 5; do
    status_windows=0
    (cd "$work/windows" && "$wine" "$windows" "$@") >"$work/windows.out" 2>"$work/windows.err" ||
      status_windows=$?
    if [ "$status_windows" -ne 1 ] || [ -s "$work/windows.out" ]; then
      return
    fi
    echo "   (wine did not start the program; attempt $attempt)"
    sleep 1
  done
}

mismatch() {
  failures=$((failures + 1))
  echo "FAIL: $1: $2"
}

# Runs both builds with the given arguments in their directories and
# compares everything.
compare() {
  local what=$1
  shift
  cases=$((cases + 1))
  local status_linux=0
  (cd "$work/linux" && "$linux" "$@") >"$work/linux.out" 2>"$work/linux.err" || status_linux=$?
  run_windows "$@"
  [ "$status_linux" -eq "$status_windows" ] ||
    mismatch "$what" "exit status $status_linux on Linux, $status_windows on Windows"
  if ! cmp -s <(with_crlf "$work/linux.out" | masked | windows_paths) <(masked "$work/windows.out"); then
    mismatch "$what" "standard output differs"
    diff <(with_crlf "$work/linux.out" | masked | windows_paths | od -c) <(masked "$work/windows.out" | od -c) |
      head -n 8 || true
  fi
  has_bare_lf "$work/windows.out" && mismatch "$what" "bare LF in standard output"
  [ "$(cd "$work/linux" && find . | sort)" = "$(cd "$work/windows" && find . | sort)" ] ||
    mismatch "$what" "different files: $(cd "$work/linux" && find . | sort | tr '\n' ' ') against $(
      cd "$work/windows" && find . | sort | tr '\n' ' ')"
  local name
  while IFS= read -r name; do
    [ -f "$work/windows/$name" ] || continue
    case $name in
    *.gz)
      # The text inside, as for a plain file; the member is whole.
      cmp -s <(gzip -dc "$work/linux/$name" | with_crlf) <(gzip -dc "$work/windows/$name") ||
        mismatch "$what" "the text in $name differs"
      ;;
    *)
      cmp -s <(with_crlf "$work/linux/$name") "$work/windows/$name" || mismatch "$what" "$name differs"
      has_bare_lf "$work/windows/$name" && mismatch "$what" "bare LF in $name"
      ;;
    esac
  done < <(cd "$work/linux" && find . -name '*.asc' -o -name '*.asc.gz')
  find "$work/linux" "$work/windows" \( -name '*.asc' -o -name '*.asc.gz' \) -delete
}

# The first start of wine makes its prefix; its messages are not the tool's.
"$wine" "$windows" >/dev/null 2>&1 || true

# Whether a section of the comparison runs: all do, or with "names" only
# that one.
section() {
  [ -z "$only" ] || [ "$1" = "$only" ]
}

if section samples; then
echo "-- every sample, in every Format (refused samples once)"
while IFS=$'\t' read -r file _ _ _ _ _ _ _ _ category _; do
  setup "$file" "$data/$file"
  if [ "$category" = reject ]; then
    compare "$file" "$file" 0
    # LAS 1.3 and 1.4, and extra bytes: what -x reads.
    for Format in 0 10 13 15; do
      compare "$file -x Format $Format" -x "$file" "$Format"
    done
    continue
  fi
  for Format in $(seq 0 20); do
    compare "$file Format $Format" "$file" "$Format"
  done
done < <(tail -n +2 "$data/SOURCES.tsv")
echo "-- every LAZ sample with -x, decoded or refused"
for laz in "$data"/*.laz; do
  setup "$(basename "$laz")" "$laz"
  compare "$(basename "$laz") -x" -x "$(basename "$laz")" 0
done
fi

if section lists; then
echo "-- lists"
lists=(a.las "$data/PDAL__PDAL__1.2_3.las" b.las "$data/PDAL__PDAL__1.2-with-color.las"
  c.las "$data/hobuinc__laz-perf__point-color-time.las" d.las "$data/PDAL__PDAL__1.2_0.las")
setup "${lists[@]}"
printf 'a.las b.las\nc.las\n' >"$work/lf.txt"
printf '\xef\xbb\xbfa.las\r\nb.las\r\nc.las\r\n' >"$work/crlf.txt"
printf 'a.las\r\nd.las\r\n' >"$work/mixed.txt"
for list in lf crlf mixed; do
  cp "$work/$list.txt" "$work/linux/" && cp "$work/$list.txt" "$work/windows/"
done
compare "list, LF" lf.txt 19
compare "list, CR LF and byte-order mark" crlf.txt 0
compare "list of mixed types" mixed.txt 0
compare "list of mixed types, -x" -x mixed.txt 0
# As old Notepad's "Unicode" and PowerShell 5.1's > write them, and quoted
# names with blanks; a list in Latin-1 is refused with a line saying why.
for dir in "$work/linux" "$work/windows"; do
  { printf '\xff\xfe' && printf 'a.las\r\n"b.las"\r\n' | iconv -f UTF-8 -t UTF-16LE; } >"$dir/le.txt"
  { printf '\xfe\xff' && printf 'c.las b.las' | iconv -f UTF-8 -t UTF-16BE; } >"$dir/be.txt"
  mkdir -p "$dir/Survey Data" && cp "$dir/a.las" "$dir/Survey Data/Kachel 01.las"
  printf '"Survey Data/Kachel 01.las"\r\n' >"$dir/quoted.txt"
  printf 'Z\xfcrich.las\r\n' >"$dir/latin1.txt"
done
# Outputs judged by the folder they land in, not by spelling: one file
# named twice converts; two that would write one output, or an output onto
# the list itself, are refused before anything is written.
for dir in "$work/linux" "$work/windows"; do
  printf 'a.las ./a.las\r\n' >"$dir/twice.txt"
  printf 'a.las\r\n' >"$dir/a.asc"
  cp "$data/hobuinc__laz-perf__point10.laz" "$dir/b.laz"
  printf 'b.las ./b.laz\r\n' >"$dir/stems.txt"
done
compare "one file named twice" twice.txt 15
compare "an output onto the list itself" a.asc 0
compare "a LAS and a LAZ file of one stem" -x stems.txt 15
rm -f "$work/linux/a.asc" "$work/windows/a.asc" "$work/linux/b.laz" "$work/windows/b.laz"
compare "list in UTF-16 LE" le.txt 15
compare "list in UTF-16 BE" be.txt 0
compare "list in Latin-1" latin1.txt 0
compare "quoted name with blanks" quoted.txt 15
rm -rf "$work/linux/Survey Data" "$work/windows/Survey Data"
fi

echo "-- names beyond ASCII, and with blanks"
setup "Zürich_Ost.las" "$data/PDAL__PDAL__1.2_3.las" "東京.las" "$data/PDAL__PDAL__1.2_3.las" \
  "Kachel 01 Zürich.las" "$data/PDAL__PDAL__1.2_0.las"
compare "Zürich_Ost.las" "Zürich_Ost.las" 0
compare "東京.las" "東京.las" 17
compare "a name with blanks" "Kachel 01 Zürich.las" 15
printf '"Kachel 01 Zürich.las"\r\n' | tee "$work/linux/blanks.txt" >"$work/windows/blanks.txt"
compare "a listed name with blanks, in quotes" blanks.txt 0
printf '\xef\xbb\xbf東京.las\r\nZürich_Ost.las\r\n' >"$work/linux/名前.txt"
cp "$work/linux/名前.txt" "$work/windows/"
compare "list 名前.txt" "名前.txt" 15

echo "-- a path of 300 characters, beyond MAX_PATH"
deep=$(printf 'd%.0s' $(seq 120))/$(printf 'e%.0s' $(seq 120))
for dir in "$work/linux" "$work/windows"; do
  mkdir -p "$dir/$deep"
  cp "$data/PDAL__PDAL__1.2_3.las" "$dir/$deep/Zürich_$(printf 'f%.0s' $(seq 50)).las"
done
long=$deep/Zürich_$(printf 'f%.0s' $(seq 50)).las
compare "a path of ${#long} characters" "$long" 15
printf '%s\r\n' "$long" >"$work/linux/long.txt"
cp "$work/linux/long.txt" "$work/windows/long.txt"
compare "a listed path of ${#long} characters" long.txt 0

[ -z "$only" ] || { echo "$cases cases, $failures failures"; [ "$failures" -eq 0 ]; exit; }

echo "-- outputs of an earlier run are replaced whole"
setup "東京.las" "$data/PDAL__PDAL__1.2_3.las"
for dir in "$work/linux" "$work/windows"; do
  printf 'an earlier, longer text\n%.0s' $(seq 4000) >"$dir/東京.asc"
  printf 'an earlier report\n' >"$dir/東京_hdr.asc"
done
compare "東京.las over earlier outputs" "東京.las" 15

echo "-- options: an output folder, gzip, quiet"
setup "東京.las" "$data/PDAL__PDAL__1.2_3.las" a.las "$data/PDAL__PDAL__1.2_0.las"
mkdir "$work/linux/out" "$work/windows/out"
compare "-o out" -o out "東京.las" 15
compare "-z, Format 0" -z a.las 0
compare "--gzip=9 -q -o out, Format 13" --gzip=9 -q -o out "東京.las" 13
compare "-o of a missing folder" -o nowhere a.las 0
compare "unknown option" --frobnicate a.las 0

echo "-- options: columns by name, delimiters, standard output"
compare "-c in any order and case" -c z,X,Class,intensity "東京.las"
compare "--csv -c" --csv -c X,Y,Z,Class "東京.las"
compare "-d of a tab, Format 0" -d '\t' "東京.las" 0
compare "--delimiter=; -o out" "--delimiter=;" -o out a.las 0
compare "-c naming a column the file lacks" -c X,Red a.las
compare "-d of a letter" -d x a.las 0
# Standard output carries the points alone, with CR LF as the point file
# has them: the comparison of standard output is that of the text.
compare "--stdout, Format 15" --stdout "東京.las" 15
compare "--stdout -q --csv -c" -q --stdout --csv -c Blue,X "東京.las"
compare "--stdout of a list" --stdout -q lf.txt 0

echo "-- point data past 2 GiB and past 4 GiB (sparse files: no disk used)"
# A sample's header with OffsetToData moved far out, and its first
# records there; the hole between is never written.
sparse() {
  perl -e '
    my ($source, $target, $offset, $records) = @ARGV;
    open(my $in, "<:raw", $source) or die;
    read($in, my $header, 227);
    my ($start, $length) = (unpack("V", substr($header, 96, 4)), unpack("v", substr($header, 105, 2)));
    seek($in, $start, 0);
    read($in, my $points, $length * $records);
    substr($header, 96, 4) = pack("V", $offset);
    open(my $out, ">:raw", $target) or die;
    print $out $header;
    seek($out, $offset, 0);
    print $out $points;' "$@"
}
rm -rf "$work/linux" "$work/windows"
mkdir "$work/linux" "$work/windows"
for dir in "$work/linux" "$work/windows"; do
  sparse "$data/PDAL__PDAL__1.2_3.las" "$dir/past2.las" 2500000000 40
  sparse "$data/PDAL__PDAL__1.2_3.las" "$dir/past4.las" 4294967000 40
done
compare "OffsetToData past 2 GiB" past2.las 0
compare "point data running past 4 GiB" past4.las 15

echo "-- the command line's failures"
setup a.las "$data/PDAL__PDAL__1.2_0.las" t.las "$data/PDAL__PDAL__1.2_1.las"
compare "no arguments"
compare "one argument" a.las
compare "three arguments" a.las 0 0
compare "Format 21" a.las 21
compare "Format 7.5" a.las 7.5
compare "Format abc" a.las abc
compare "missing file" gone.las 0
compare "name Windows cannot open" 'no?such.las' 0
compare "GPS time not available" a.las 13
compare "colour not available" t.las 14
compare "missing list" gone.txt 0

echo "$cases cases, $failures failures"
[ "$failures" -eq 0 ]
