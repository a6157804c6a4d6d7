#!/usr/bin/env bash
# Installs what is missing, builds, and shows the host side of the share contract over a demo
# shared folder in a temporary HOME.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTOVIN_BUILD_TESTS=OFF
cmake --build build/run -j "$(nproc)"
data/demo-host.sh build/run/src/app/tovin-host
