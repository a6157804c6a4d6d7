#!/usr/bin/env bash
# Installs what is missing and checks the code's format, then builds and runs every test twice:
# in a plain build and in an AddressSanitizer + UndefinedBehaviorSanitizer build, after running
# each fuzz target for a minute.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/toolchain.sh

scripts/install-dependencies.sh

# Before any build: code that .clang-format would change fails the run, naming each place.
find src tests bench \( -name '*.cpp' -o -name '*.h' -o -name '*.h.in' \) -print0 |
    xargs -0 "clang-format-$clang_version" --dry-run -Werror

jobs=$(nproc)
sanitizers="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
export QT_QPA_PLATFORM=offscreen
export UBSAN_OPTIONS=print_stacktrace=1

cmake -S . -B build/test -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build/test -j "$jobs"
cmake -S . -B build/sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS="$sanitizers"
cmake --build build/sanitize -j "$jobs"

# A test that silently drops out of the build would go unnoticed: both builds must list the same
# tests, and no fewer than the suite had when this line was last raised. Nor may a test miss its
# label, which would keep it out of the loop that runs its kind.
minimum=88
tests() {
    ctest --test-dir "$@" -N | sed -n 's/^Total Tests: //p'
}
count=$(tests build/test) sanitized=$(tests build/sanitize)
if [ "$count" -lt "$minimum" ] || [ "$count" -ne "$sanitized" ]; then
    echo "expected at least $minimum tests in both builds, found $count and $sanitized" >&2
    exit 1
fi
if [ "$(tests build/test -LE '^(unit|e2e|package)$')" -ne 0 ]; then
    echo "tests without the label unit, e2e or package:" >&2
    ctest --test-dir build/test -N -LE '^(unit|e2e|package)$' >&2
    exit 1
fi

# Each fuzz target starts from its seed corpus and keeps what it finds in build/fuzz; a crash or a
# sanitizer report fails the run, after every target has had its minute.
cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER="clang++-$clang_version" -DTOVIN_BUILD_GUI=OFF -DBUILD_TESTING=OFF \
    -DTOVIN_BUILD_FUZZERS=ON
cmake --build build/fuzz -j "$jobs"
# The round trip flushes a snapshot to disk every run: in memory, where the machine has a place.
fuzz_tmp=${TMPDIR:-/tmp}
[ -d /dev/shm ] && [ -w /dev/shm ] && fuzz_tmp=/dev/shm
failed=()
for target in snapshot_fuzzer manifest_fuzzer round_trip_fuzzer; do
    mkdir -p "build/fuzz/corpus/$target"
    TMPDIR=$fuzz_tmp "build/fuzz/tests/fuzz/$target" -max_total_time=60 -print_final_stats=1 \
        -verbosity=0 -artifact_prefix=build/fuzz/ "build/fuzz/corpus/$target" \
        "tests/fuzz/corpus/$target" || failed+=("$target")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzzing failed: ${failed[*]} (inputs kept as build/fuzz/crash-*)" >&2
    exit 1
fi

# CTest's closing line comes last, where CI reads it.
ctest --test-dir build/test --output-on-failure -j "$jobs"
ctest --test-dir build/sanitize --output-on-failure -j "$jobs"
