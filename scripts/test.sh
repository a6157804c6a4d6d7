#!/usr/bin/env bash
# Installs what is missing, then builds and runs every test twice: in a plain build and in an
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh

jobs=$(nproc)
sanitizers="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j "$jobs"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$sanitizers"
cmake --build build/sanitize -j "$jobs"

# A test that silently drops out of the build would go unnoticed: both builds must list the same
# tests, and no fewer than the suite had when this line was last raised.
minimum=37
count=$(ctest --test-dir build/test -N | sed -n 's/^Total Tests: //p')
sanitized=$(ctest --test-dir build/sanitize -N | sed -n 's/^Total Tests: //p')
if [ "$count" -lt "$minimum" ] || [ "$count" -ne "$sanitized" ]; then
    echo "expected at least $minimum tests in both builds, found $count and $sanitized" >&2
    exit 1
fi

ctest --test-dir build/test --output-on-failure -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
