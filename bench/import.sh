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

seconds() { date +%s.%N; }

# The import itself.
start=$(seconds)
(cd "$work/data" && TALVOR_UI=none /usr/bin/time -f "%M" -o "$work/peak" "$bin/talvor-import")
import_s=$(echo "$(seconds) - $start" | bc -l)
peak_kb=$(cat "$work/peak")

# (a) plain I/O of the same bytes.
out_bytes=0
for f in "$work"/data/*.dbf "$work"/data/*.dbt "$work"/data/*.ntx; do
  [ -f "$f" ] && out_bytes=$((out_bytes + $(stat -c %s "$f")))
done
sync
start=$(seconds)
cat "$work"/pristine/*.txt "$work"/pristine/*.csv >/dev/null
head -c "$out_bytes" /dev/zero >"$work/plain.out"
plain_s=$(echo "$(seconds) - $start" | bc -l)
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
start=$(seconds)
sqlite3 "$work/bench.sqlite" <"$work/load.sql" 2>/dev/null
sqlite_s=$(echo "$(seconds) - $start" | bc -l)

printf 'rows=%s import=%.3fs per_row=%.2fus peak=%sKB plain_io=%.3fs ratio_plain=%.2f sqlite=%.3fs ratio_sqlite=%.2f\n' \
  "$n" "$import_s" "$(echo "$import_s * 1000000 / $n" | bc -l)" "$peak_kb" "$plain_s" \
  "$(echo "$import_s / $plain_s" | bc -l)" "$sqlite_s" "$(echo "$import_s / $sqlite_s" | bc -l)"
