#!/usr/bin/env bash
# bench/import.sh N: makes a demo data set with N material rows and times the
# whole import, with its peak memory, against two baselines measured in the same
# run: (a) plain I/O of the same bytes (reading every input file, writing as many
# bytes as the import's output files hold) and (b) the sqlite3 command-line tool
# loading the same exports and building the same four indexes.
set -euo pipefail
n=${1:-100000}
root=$(cd "$(dirname "$0")/.." && pwd)
# TALVOR_BIN names the folder holding talvor-import and talvor-demo; by default
# the release build's tools folder, built here when it is missing.
bin=${TALVOR_BIN:-$root/build/release/tools}
if [ ! -x "$bin/talvor-import" ] || [ ! -x "$bin/talvor-demo" ]; then
  if [ -n "${TALVOR_BIN:-}" ]; then
    echo "bench/import.sh: no talvor-import and talvor-demo in $bin" >&2
    exit 1
  fi
  cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$root/build/release" -j2 --target talvor-import talvor-demo >/dev/null
fi
for tool in sqlite3 bc time; do
  dpkg -s "$tool" >/dev/null 2>&1 || { apt-get update -qq && apt-get install -y -qq "$tool" >/dev/null; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/talvor-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
"$bin/talvor-demo" "$work/data" --rows "$n" >/dev/null
cp -r "$work/data" "$work/pristine"

# measure NAME COMMAND...: runs the command and keeps its wall time, its CPU time
# (user + system) and its peak memory in NAME_wall, NAME_cpu and NAME_peak. The
# CPU times show the comparison undisturbed by other work on the machine.
measure() {
  local name=$1
  shift
  /usr/bin/time -f "%e %U %S %M" -o "$work/$name.time" "$@"
  read -r wall user sys peak <"$work/$name.time"
  printf -v "${name}_wall" '%s' "$wall"
  printf -v "${name}_cpu" '%s' "$(echo "$user + $sys" | bc -l)"
  printf -v "${name}_peak" '%s' "$peak"
}

# The import itself, with the data set's own writing finished first so that its
# write-back is not charged to the import.
sync
measure import bash -c 'cd "$1" && TALVOR_UI=none exec "$2"' _ "$work/data" "$bin/talvor-import"

# (a) plain I/O of the same bytes.
out_bytes=0
for f in "$work"/data/*.dbf "$work"/data/*.dbt "$work"/data/*.ntx; do
  [ -f "$f" ] && out_bytes=$((out_bytes + $(stat -c %s "$f")))
done
sync
measure plain bash -c 'cat "$1"/*.txt "$1"/*.csv >/dev/null; head -c "$2" /dev/zero >"$3"' _ \
  "$work/pristine" "$out_bytes" "$work/plain.out"
rm -f "$work/plain.out"

# (b) sqlite3 loading the same exports and building the same four indexes.
cat >"$work/load.sql" <<SQL
.mode csv
.import $work/pristine/talvor_zalf.csv zalf
.import $work/pristine/talvor_metal_ph.csv metprice
.import $work/pristine/metdisc.txt metdisc
.import $work/pristine/mat.txt mat
.import $work/pristine/pricesku.txt pricesku
.import $work/pristine/finph.txt finph
.import $work/pristine/findisc.txt findisc
.import $work/pristine/skudisc.txt skudisc
.import $work/pristine/finsku.txt finsku
.import $work/pristine/talvor_metal_kit.csv metkit
.import $work/pristine/talvor_zuom_disc.csv uomdisc
CREATE INDEX pricesku_i ON pricesku(printf('%6d', MATL_NO));
CREATE INDEX finph_i ON finph(PH1 || PH2 || PH3);
CREATE INDEX metkit_i ON metkit(printf('%6d', MATL_NO));
CREATE INDEX metprice_i ON metprice(PH1 || PH2 || PH3);
SQL
sync
measure sqlite bash -c 'sqlite3 "$1" <"$2" 2>/dev/null' _ "$work/bench.sqlite" "$work/load.sql"

ratio() { echo "$1 / ($2 + 0.0005)" | bc -l; }
printf 'rows=%s import=%.3fs cpu=%.3fs per_row=%.2fus peak=%sKB plain_io=%.3fs cpu=%.3fs ratio_plain=%.2f cpu_ratio_plain=%.2f sqlite=%.3fs cpu=%.3fs ratio_sqlite=%.2f cpu_ratio_sqlite=%.2f load=%s\n' \
  "$n" "$import_wall" "$import_cpu" "$(echo "$import_wall * 1000000 / $n" | bc -l)" "$import_peak" \
  "$plain_wall" "$plain_cpu" "$(ratio "$import_wall" "$plain_wall")" "$(ratio "$import_cpu" "$plain_cpu")" \
  "$sqlite_wall" "$sqlite_cpu" "$(ratio "$import_wall" "$sqlite_wall")" "$(ratio "$import_cpu" "$sqlite_cpu")" \
  "$(cut -d' ' -f1 /proc/loadavg)"
