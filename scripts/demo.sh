#!/usr/bin/env bash
# Builds what is missing, makes a fresh demo data set in demo-data/, runs the
# import in it and shows the result.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
if [ ! -x build/release/tools/talvor-import ] || [ ! -x build/release/tools/talvor-demo ]; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/release -j"$(nproc)"
fi
if [ ! -x build/release/tools/talvor-demo ] || [ ! -x build/release/tools/talvor-import ]; then
  echo "Built the project; the import program and the demo data generator are not part of it yet."
  exit 0
fi
rm -rf demo-data
build/release/tools/talvor-demo demo-data "$@"
(cd demo-data && "$root/build/release/tools/talvor-import")
echo
echo "== Result"
for t in zalf metprice metdisc mat pricesku finph findisc skudisc finsku metkit uomdisc material; do
  printf '%-10s ' "$t"
  build/release/tools/talvor-inspect count "demo-data/$t.dbf"
done
echo
build/release/tools/talvor-inspect rows demo-data/material.dbf --limit 5
for n in pricesku finph metkit metprice; do
  build/release/tools/talvor-inspect check "demo-data/$n.ntx"
done
