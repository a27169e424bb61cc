#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in a release
# build and in an AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake g++ ninja-build libgtest-dev libgmock-dev libbenchmark-dev python3-dbfread sqlite3)
source scripts/install_packages.sh
install_packages "${packages[@]}"

jobs=$(nproc)

echo "== release build"
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/release -j"$jobs"
ctest --test-dir build/release --output-on-failure -j"$jobs"

echo "== sanitizer build (address, undefined)"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="-O1 -g" \
  -DTALVOR_SANITIZE=ON -DTALVOR_BENCH=OFF >/dev/null
cmake --build build/sanitize -j"$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  TALVOR_SANITIZED=1 ctest --test-dir build/sanitize --output-on-failure -j"$jobs"
