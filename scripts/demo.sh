#!/usr/bin/env bash
# Installs what the build needs, builds the three programs when they are missing
# or out of date, makes a fresh demo data set in demo-data/, runs the import in it
# and shows the result. Arguments go to talvor-demo (for example --rows 100000).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

packages=(cmake g++ ninja-build libgtest-dev libgmock-dev libbenchmark-dev)
source scripts/install_packages.sh
install_packages "${packages[@]}"

bin=build/release/tools
if [ ! -f build/release/build.ninja ]; then
  cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
echo "== Building talvor-demo, talvor-import and talvor-inspect"
cmake --build build/release -j"$(nproc)" --target talvor-demo talvor-import talvor-inspect | tail -n 1

echo "== Demo data set in demo-data/"
rm -rf demo-data
"$bin/talvor-demo" demo-data "$@"

echo "== Import"
(cd demo-data && "$root/$bin/talvor-import")

echo
echo "== Result"
for t in zalf metprice metdisc mat pricesku finph findisc skudisc finsku metkit uomdisc material; do
  printf '%-10s ' "$t"
  "$bin/talvor-inspect" count "demo-data/$t.dbf"
done
echo
"$bin/talvor-inspect" rows demo-data/material.dbf --limit 5
for n in pricesku finph metkit metprice; do
  "$bin/talvor-inspect" check "demo-data/$n.ntx"
done
