#!/usr/bin/env bash
# Installs what is missing, builds Pellamor and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh run
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DPELLAMOR_BUILD_TESTS=OFF \
    -DPELLAMOR_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build build --target pellamor
exec build/src/app/pellamor
