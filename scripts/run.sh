#!/usr/bin/env bash
# Sets up the machine, builds the program and starts the editor. Extra arguments are passed on: the
# first names a board file to open (relative to this folder or to build/bin), e.g.
#   bash scripts/run.sh examples/counter.gwb
# GW_RASTER=1 draws without OpenGL; GW_SPLASH_MS=0 skips the splash wait.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -Wno-dev >/dev/null
cmake --build build
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found (DISPLAY is not set): start this from a desktop session," >&2
  echo "or run it under a virtual one: xvfb-run -a bash scripts/run.sh $*" >&2
  exit 1
fi
exec build/bin/gatewright "$@"
