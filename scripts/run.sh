#!/usr/bin/env bash
# Sets up the machine, builds the program and starts the editor (extra arguments are passed on,
# e.g. a board file to open).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -Wno-dev >/dev/null
cmake --build build
if [ -x build/bin/gatewright ]; then
  exec build/bin/gatewright "$@"
fi
echo "The editor is not built yet; gatewright-cli is in build/bin/ when present."
