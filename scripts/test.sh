#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test. Ends with CTest's summary line.
#   scripts/test.sh             normal build (build/) and the whole suite
#   GW_SANITIZE=1 scripts/test.sh   the same under AddressSanitizer + UBSan (build-asan/)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

BUILD=build
EXTRA=()
if [ "${GW_SANITIZE:-0}" = "1" ]; then
  BUILD=build-asan
  EXTRA=(-DGW_SANITIZE=ON -DGW_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug)
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
fi
cmake -S . -B "$BUILD" -G Ninja -Wno-dev "${EXTRA[@]}" >/dev/null
cmake --build "$BUILD"

source scripts/xvfb.sh
gw_start_xvfb
cd "$BUILD"
ctest --output-on-failure -j2 --timeout 600
