#!/usr/bin/env bash
# Installs what is missing, builds the program (Release) and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh run
# Only what running needs: no benchmarks (and no fuzz targets, which are never part of this build).
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DAPP_BUILD_BENCH=OFF
# See scripts/test.sh: new Q_OBJECT headers in an existing build folder need a fresh moc pass.
find build -path '*_autogen/timestamp' -delete
cmake --build build --target surfacemeter -j "$(nproc)"
exec ./build/app/surfacemeter "$@"
