#!/usr/bin/env bash
# Installs what is missing, builds, and opens the share sheet over a demo shared folder in a
# temporary HOME, with the host's side printing what arrives. Without a display the sheet runs
# under Xvfb, driven by synthetic keys, and build/run/demo-sheet.png shows it.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build/run -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build build/run -j "$(nproc)"
data/demo-share.sh build/run/bin build/run/demo-sheet.png
