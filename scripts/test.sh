#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test, in two stages:
#   1. the normal build (build/) and the whole suite;
#   2. the whole suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer
#      (build-asan/, benchmarks left out), GUI tests included, under the same private Xvfb.
# Any failing stage fails the script at once; the last line printed is CTest's summary of the last
# stage that ran.
#   bash scripts/test.sh                    both stages
#   GW_STAGES=normal bash scripts/test.sh   only the normal stage
#   GW_SANITIZE=1 bash scripts/test.sh      only the sanitizer stage (GW_STAGES=sanitize does the same)
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
bash scripts/setup.sh

STAGES=${GW_STAGES:-normal sanitize}
if [ "${GW_SANITIZE:-0}" = "1" ]; then STAGES=sanitize; fi
JOBS=${GW_JOBS:-2}

source scripts/xvfb.sh
gw_start_xvfb

# stage NAME BUILD_DIR CMAKE_ARGS...: configure, build and run the suite in BUILD_DIR.
stage() {
  local name=$1 dir=$2
  shift 2
  echo "== stage: $name ($dir)"
  local t0=$SECONDS
  cmake -S "$ROOT" -B "$ROOT/$dir" -G Ninja -Wno-dev "$@" >/dev/null
  cmake --build "$ROOT/$dir" -j "$JOBS"
  echo "== stage: $name built in $((SECONDS - t0)) s"
  (cd "$ROOT/$dir" && ctest --output-on-failure -j "$JOBS" --timeout 900)
}

for s in $STAGES; do
  case $s in
    normal)
      stage normal build
      ;;
    sanitize)
      # Every memory error and every undefined behaviour stops the test at once. Leak checking is
      # off here: each process that opens an OpenGL context under Xvfb ends with the same 240-byte
      # leak inside the GL driver, which is unloaded by then, so no suppression can name it. The
      # fuzz targets check our readers for leaks instead.
      export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:detect_stack_use_after_return=0:check_initialization_order=1"
      export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
      stage sanitize build-asan -DGW_SANITIZE=ON -DGW_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
      unset ASAN_OPTIONS UBSAN_OPTIONS
      ;;
    *)
      echo "test.sh: unknown stage \"$s\" (normal, sanitize)" >&2
      exit 2
      ;;
  esac
done
