#!/usr/bin/env bash
# Runs the Slurm job-array script on a one-node cluster of its own (munged,
# slurmctld and slurmd with a configuration, state and logs in a temporary
# directory), then the README's GNU parallel form on this machine, over a
# collection of real tiles with one broken tile and one missing name:
#   - the first submission fails, lists exactly the two bad tiles with their
#     statuses, and converts every good tile as a direct run does;
#   - once the two are mended, the same submission converts only them and
#     succeeds, leaving every earlier output untouched;
#   - GNU parallel gives the same files and a job log with the statuses.
# The daemons it started are stopped by their process ids whatever happens.
# Usage: tests/cluster/check.sh <build directory> [--require]
# Without the daemons or root it skips, unless --require makes that a failure.
set -euo pipefail
build=$(cd "$1" && pwd)
require=${2:-}
top=$(cd "$(dirname "$0")/../.." && pwd)
script=$top/cluster/slurm/convert-tiles.sbatch
data=$top/tests/data
trevlin=$build/TREVLIN

fail() {
  echo "cluster check: $*" >&2
  exit 1
}

skip() {
  [ "$require" != --require ] || fail "cannot run: $*"
  echo "cluster check skipped: $*"
  exit 0
}

# The script's own refusals need no cluster: status 2, a message, and no
# tile touched.
refusals=$(mktemp -d)
printf '%s\n' "$data/PDAL__PDAL__1.2_0.las" >"$refusals/tiles.txt"
refused() {
  local expected=$1 status=0
  shift
  (cd "$refusals" && "$@") >"$refusals/out" 2>&1 || status=$?
  [ "$status" -eq 2 ] && grep -qF "convert-tiles: $expected" "$refusals/out" ||
    fail "'$*' gave status $status and: $(cat "$refusals/out")"
  [ -z "$(find "$refusals" -name '*.asc' -o -name 'done-*' -o -name 'failed-*' -o -name 'log-*')" ] ||
    fail "'$*' touched a tile"
}
refused "cannot read the tiles file" env TREVLIN_BIN="$trevlin" bash "$script" gone.txt 15
refused "FORMAT must be a whole number from 0 to 20, not '21'" env TREVLIN_BIN="$trevlin" bash "$script" tiles.txt 21
refused "FORMAT must be a whole number from 0 to 20, not '1.5'" env TREVLIN_BIN="$trevlin" bash "$script" tiles.txt 1.5
refused "TREVLIN is not on PATH" env PATH=/usr/bin:/bin TREVLIN_BIN= bash "$script" tiles.txt 15
refused "usage:" env TREVLIN_BIN="$trevlin" bash "$script" tiles.txt
refused "unknown option -y" env TREVLIN_BIN="$trevlin" bash "$script" -y tiles.txt 15
mkdir "$refusals/north" "$refusals/south" "$refusals/text"
cp "$data/PDAL__PDAL__1.2_0.las" "$refusals/north/t.las"
cp "$data/PDAL__PDAL__1.2_0.las" "$refusals/south/t.las"
printf 'north/t.las\nsouth/t.las\n' >"$refusals/collide.txt"
refused "north/t.las and south/t.las, listed in collide.txt, would both be written as $refusals/text/t.asc" \
  env TREVLIN_BIN="$trevlin" bash "$script" --output-dir "$refusals/text" collide.txt 15
refused "the output folder nowhere is not a directory" env TREVLIN_BIN="$trevlin" bash "$script" -o nowhere tiles.txt 15
rm -rf "$refusals"
echo "ok: the job script refuses bad arguments with status 2"

[ "$(id -u)" -eq 0 ] || skip "the Slurm and munge daemons need root"
for program in munged slurmctld slurmd sbatch sinfo parallel; do
  command -v "$program" >/dev/null || [ -x "/usr/sbin/$program" ] || skip "$program is not installed"
done
export PATH=$PATH:/usr/sbin

work=$(mktemp -d)
daemons=() # process ids, in the order started

# Stops the daemons last started first, each by its pid, and waits for it;
# nothing here can fail the run.
stop_daemons() {
  local k pid
  for ((k = ${#daemons[@]} - 1; k >= 0; k--)); do
    pid=${daemons[k]}
    kill "$pid" 2>/dev/null || continue
    for _ in $(seq 100); do
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -9 "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work" 2>/dev/null || true
}
trap stop_daemons EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

show_logs() {
  tail -n 20 "$work"/*.log "$work"/munge/*.log 2>/dev/null || true
}

start_munge() {
  mkdir -m 700 "$work/munge"
  head -c 1024 /dev/urandom >"$work/munge/munge.key"
  chmod 600 "$work/munge/munge.key"
  munged -F -f --socket="$work/munge/socket" --key-file="$work/munge/munge.key" \
    --log-file="$work/munge/munged.log" --pid-file="$work/munge/munged.pid" \
    --seed-file="$work/munge/munged.seed" >"$work/munge/out.txt" 2>&1 &
  daemons+=($!)
  for _ in $(seq 100); do
    [ -S "$work/munge/socket" ] && return
    sleep 0.1
  done
  cat "$work/munge/out.txt"
  fail "munged did not start"
}

write_slurm_conf() {
  local port=$((20000 + $$ % 20000))
  mkdir "$work/state" "$work/spool"
  cat >"$work/slurm.conf" <<EOF
ClusterName=trevlincheck
SlurmctldHost=localhost(127.0.0.1)
SlurmUser=root
SlurmdUser=root
SlurmctldPort=$port
SlurmdPort=$((port + 1))
AuthType=auth/munge
AuthInfo=socket=$work/munge/socket
CredType=cred/munge
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/slurmctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SchedulerType=sched/backfill
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
MpiDefault=none
JobAcctGatherType=jobacct_gather/none
AccountingStorageType=accounting_storage/none
NodeName=trevlinnode NodeAddr=127.0.0.1 CPUs=$(nproc) RealMemory=1024 State=UNKNOWN
PartitionName=check Nodes=trevlinnode Default=YES MaxTime=INFINITE State=UP
EOF
  export SLURM_CONF=$work/slurm.conf
}

start_slurm() {
  slurmctld -D -i -f "$SLURM_CONF" >"$work/slurmctld.out" 2>&1 &
  daemons+=($!)
  slurmd -D -N trevlinnode -f "$SLURM_CONF" >"$work/slurmd.out" 2>&1 &
  daemons+=($!)
  for _ in $(seq 120); do
    [ "$(sinfo -h -N -o %t 2>/dev/null)" = idle ] && return
    sleep 0.5
  done
  show_logs
  fail "the node did not become idle"
}

# The collection: real tiles of every LAS type, two in a subdirectory and
# one with a space in its name, a LAS 1.4 file posing as a tile, a name
# that does not exist, and blank lines in the list.
good_tiles=(PDAL__PDAL__1.0_0.las PDAL__PDAL__1.0_1.las PDAL__PDAL__1.1_0.las PDAL__PDAL__1.1_1.las
  PDAL__PDAL__1.2_0.las PDAL__PDAL__1.2_1.las PDAL__PDAL__1.2_2.las PDAL__PDAL__1.2_3.las
  PDAL__PDAL__1.2-with-color-clipped.las laspy__laspy__simple1_1.las hobuinc__laz-perf__point-time.las
  hobuinc__laz-perf__1815.las)
make_collection() {
  local dir=$1 k=0 name
  mkdir -p "$dir/sub"
  for name in "${good_tiles[@]}"; do
    case $k in
    3 | 7) cp "$data/$name" "$dir/sub/$name" ;;
    5) cp "$data/$name" "$dir/tile with space.las" ;;
    *) cp "$data/$name" "$dir/$name" ;;
    esac
    k=$((k + 1))
  done
  cp "$data/PDAL__PDAL__test1_4.las" "$dir/broken.las"
}

list_tiles() {
  local dir=$1
  find "$dir" -name '*.las' | sort
  echo
  echo "$dir/missing.las"
  echo
}

# Outputs of every tile named in the list, as one direct run per tile gives.
direct_outputs() {
  local dir=$1 format=${2:-15} tile
  while IFS= read -r tile; do
    [ -n "$tile" ] || continue
    TREVLIN_THREADS=1 "$trevlin" "$tile" "$format" >/dev/null 2>&1 || true
  done <"$dir.tiles"
}

# Every .asc below `actual` must equal the one below `expected`, and no
# more nor fewer are there.
same_outputs() {
  local actual=$1 expected=$2 f
  [ "$(cd "$actual" && find . -name '*.asc' | sort)" = "$(cd "$expected" && find . -name '*.asc' | sort)" ] ||
    fail "$actual holds other .asc files than $expected"
  while IFS= read -r f; do
    cmp -s "$actual/$f" "$expected/$f" || fail "$actual/$f differs from a direct run's"
  done < <(cd "$actual" && find . -name '*.asc')
}

modification_times() {
  find "$1" -name '*.asc' -print0 | sort -z | xargs -0 stat -c '%n %y'
}

submit() {
  local format=${1:-15} tiles=${2:-$work/slurm.tiles} status=0
  shift 2 || shift $#
  (cd "$work" && TREVLIN_BIN=$trevlin sbatch --wait --array=0-2 --cpus-per-task=2 \
    --output="$work/job/slurm-%A_%a.out" "$script" "$@" "$tiles" "$format" "$work/job") \
    >"$work/sbatch.out" 2>&1 || status=$?
  cat "$work/sbatch.out"
  return "$status"
}

echo "-- a one-node Slurm cluster"
started=$(date +%s)
start_munge
write_slurm_conf
start_slurm
sinfo

make_collection "$work/slurm"
list_tiles "$work/slurm" >"$work/slurm.tiles"
cp -a "$work/slurm" "$work/pristine"
cp -a "$work/slurm" "$work/direct"
sed "s|$work/slurm/|$work/direct/|" "$work/slurm.tiles" >"$work/direct.tiles"
direct_outputs "$work/direct"
mkdir "$work/job"

echo "-- first submission: 12 good tiles, a broken one and a missing one"
if submit; then
  fail "the job succeeded although two tiles cannot be converted"
fi
expected_failures=$(printf '255\t%s\n' "$work/slurm/broken.las" "$work/slurm/missing.las")
[ "$(sort "$work"/job/failed-*.txt)" = "$expected_failures" ] ||
  fail "failed-*.txt lists: $(cat "$work"/job/failed-*.txt)"
[ "$(cat "$work"/job/done-*.txt | wc -l)" -eq 12 ] || fail "done-*.txt lists: $(cat "$work"/job/done-*.txt)"
same_outputs "$work/slurm" "$work/direct"
clipped="$work/slurm/PDAL__PDAL__1.2-with-color-clipped.las"
[ "$(cat "$work"/job/warned-*.txt)" = "$(printf '%s\tTREVLIN: warning: %s holds 1064 point records; its header declares 1065' "$clipped" "$clipped")" ] ||
  fail "warned-*.txt lists: $(cat "$work"/job/warned-*.txt)"
echo "what the log says of the broken tile:"
sed -n "\|== $work/slurm/broken.las|,/== exit/p" "$work"/job/log-*.txt

echo "-- second submission, the two mended: only they are converted"
before=$(modification_times "$work/slurm")
cp "$data/PDAL__PDAL__1.2_0.las" "$work/slurm/broken.las"
cp "$data/PDAL__PDAL__1.2_0.las" "$work/slurm/missing.las"
submit || fail "the resubmitted job failed: $(cat "$work"/job/failed-*.txt)"
[ -z "$(cat "$work"/job/failed-*.txt)" ] || fail "failed-*.txt still lists tiles"
[ "$(awk -F '\t' '{ print $NF }' "$work"/job/done-*.txt | sort | uniq -d)" = "" ] || fail "a tile was converted twice"
[ "$(cat "$work"/job/done-*.txt | wc -l)" -eq 14 ] || fail "done-*.txt does not list every tile"
after=$(modification_times "$work/slurm")
unchanged=$(comm -12 <(echo "$before") <(echo "$after") | wc -l)
[ "$unchanged" -eq "$(echo "$before" | wc -l)" ] || fail "outputs of the first submission were written again"
[ "$(comm -13 <(echo "$before") <(echo "$after") | wc -l)" -eq 4 ] ||
  fail "the second submission wrote other files than the two tiles' four"
cp "$work/slurm/broken.las" "$work/direct/broken.las"
cp "$work/slurm/missing.las" "$work/direct/missing.las"
direct_outputs "$work/direct"
same_outputs "$work/slurm" "$work/direct"

echo "-- third submission, Format 0: every tile is converted again"
before=$(modification_times "$work/slurm")
sleep 0.01 # so that a rewritten file's time differs
submit 0 || fail "the Format 0 job failed: $(cat "$work"/job/failed-*.txt)"
[ "$(cat "$work"/job/done-*.txt | awk -F '\t' '$2 == "F0"' | wc -l)" -eq 14 ] ||
  fail "done-*.txt does not list every tile in Format 0: $(cat "$work"/job/done-*.txt)"
[ -z "$(comm -12 <(echo "$before") <(modification_times "$work/slurm"))" ] ||
  fail "the Format 0 submission left outputs of Format 15 in place"
direct_outputs "$work/direct" 0
same_outputs "$work/slurm" "$work/direct"
[ "$(cut -f 1 "$work"/job/warned-*.txt | sort | uniq -c | awk '{ print $1 }')" = 2 ] ||
  fail "warned-*.txt does not list the clipped tile once per run: $(cat "$work"/job/warned-*.txt)"

done_lines() {
  cat "$work"/job/done-*.txt | wc -l
}

echo "-- three tiles in Format 16, then all in Format 0: the resume checks the disk"
grep -F -e 1.0_0.las -e sub/PDAL__PDAL__1.1_1.las -e 'tile with space.las' "$work/slurm.tiles" >"$work/some.tiles"
[ "$(wc -l <"$work/some.tiles")" -eq 3 ] || fail "the three tiles are not in the list"
replaced=$work/slurm/sub/PDAL__PDAL__1.2_3.las
submit 16 "$work/some.tiles" || fail "the Format 16 job failed"
rm "$work/slurm/PDAL__PDAL__1.2_2.asc"
cp -p "$replaced" "$work/replaced.las"
sleep 1 # a copy's time differs from the tile's by at least a second
cp "$work/replaced.las" "$replaced" && rm "$work/replaced.las"
lines=$(done_lines)
submit 0 || fail "the second Format 0 job failed"
[ $(($(done_lines) - lines)) -eq 5 ] ||
  fail "not exactly the 3 tiles of Format 16, the deleted .asc and the replaced tile were converted again"
same_outputs "$work/slurm" "$work/direct" # all in Format 0
lines=$(done_lines)
submit 0 || fail "the third Format 0 job failed"
[ "$(done_lines)" -eq "$lines" ] || fail "an unchanged tile was converted again"

echo "-- gzip after plain: every tile is converted again, into a folder of its own"
mkdir "$work/packed"
lines=$(done_lines)
submit 0 "$work/slurm.tiles" -o "$work/packed" -z || fail "the -z job failed"
[ $(($(done_lines) - lines)) -eq 14 ] || fail "the -z job did not convert every tile"
[ "$(find "$work/packed" -name '*.asc.gz' | wc -l)" -eq 14 ] || fail "not every tile has its .asc.gz"
gzip -dc "$work/packed/PDAL__PDAL__1.2_0.asc.gz" | cmp -s - "$work/direct/PDAL__PDAL__1.2_0.asc" ||
  fail "the .asc.gz does not hold the plain text"
lines=$(done_lines)
submit 0 "$work/slurm.tiles" -o "$work/packed" -z || fail "the -z job failed the second time"
[ "$(done_lines)" -eq "$lines" ] || fail "the -z job converted unchanged tiles again"

echo "-- LAZ tiles with -x: converted once, again only when an output is gone"
mkdir "$work/laz"
cp "$data/hobuinc__laz-perf__point-time.laz" "$work/laz/a.laz"
cp "$data/visgl__loaders.gl__pdrf6-1.4.laz" "$work/laz/b.laz"
printf '%s\n' "$work/laz/a.laz" "$work/laz/b.laz" >"$work/laz.tiles"
lines=$(done_lines)
submit 0 "$work/laz.tiles" -x || fail "the -x job failed: $(cat "$work"/job/failed-*.txt)"
[ $(($(done_lines) - lines)) -eq 2 ] || fail "the -x job did not convert both tiles"
cmp -s "$work/laz/a.asc" "$work/direct/hobuinc__laz-perf__point-time.asc" ||
  fail "the LAZ tile's text is not its uncompressed twin's"
[ -f "$work/laz/b.asc" ] && [ -f "$work/laz/b_hdr.asc" ] || fail "b.laz has not both outputs"
rm "$work/laz/a.asc"
lines=$(done_lines)
submit 0 "$work/laz.tiles" -x || fail "the -x job failed the second time"
[ $(($(done_lines) - lines)) -eq 1 ] || fail "the -x job did not convert just the LAZ tile whose text is gone"
lines=$(done_lines)
submit 0 "$work/laz.tiles" -x || fail "the -x job failed the third time"
[ "$(done_lines)" -eq "$lines" ] || fail "the -x job converted unchanged LAZ tiles again"
direct_outputs "$work/direct" # Format 15 again, for the comparison with GNU parallel
echo "cluster test: $(($(date +%s) - started)) s"

echo "-- GNU parallel on this machine (-S 2/:), over the first collection"
cp -a "$work/pristine" "$work/parallel"
sed "s|$work/slurm/|$work/parallel/|" "$work/slurm.tiles" >"$work/parallel.tiles"
rm -f "$work/direct/broken"*.asc "$work/direct/missing"*.asc
cp "$work/pristine/broken.las" "$work/direct/broken.las"
rm "$work/direct/missing.las"
status=0
grep -v '^[[:space:]]*$' "$work/parallel.tiles" |
  TREVLIN_THREADS=1 parallel --will-cite -S 2/: --wd "$work/parallel" --joblog "$work/jobs.log" \
    "$trevlin" {} 15 '>' {}.log '2>&1' || status=$?
[ "$status" -eq 2 ] || fail "GNU parallel exited with $status, not 2 (the failed runs)"
# Job log columns: Seq Host Starttime JobRuntime Send Receive Exitval Signal Command.
failures=$(awk -F '\t' 'NR > 1 && $7 != 0 {
  print $7, ($NF ~ /broken\.las /) ? "broken.las" : ($NF ~ /missing\.las /) ? "missing.las" : $NF }' \
  "$work/jobs.log" | sort)
[ "$failures" = "$(printf '255 broken.las\n255 missing.las')" ] || fail "the job log's failures: $failures"
same_outputs "$work/parallel" "$work/direct"
echo "what the broken tile's log says:"
cat "$work/parallel/broken.las.log"
echo "ok: Slurm job array and GNU parallel"
