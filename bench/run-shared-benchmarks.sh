#!/bin/bash
# Builds the contract library's benchmarks in Release and runs them, then prints one ratio a line.
# The scratch folder (TOVIN_BENCH_DIR, else /var/tmp) must be on a disk, not in memory, with room
# for 3 GiB and 250 000 files: the enqueue benchmarks write a 1 GiB file and its copies there, and
# a dozen copies of a folder of 20 000 files, and remove them; the busy-disk benchmark has a second
# process keep a 2 GiB file there written and not yet on disk while it queues a share. The folder
# benchmark runs before those that delete many files: on ext4 without a journal, creating files is
# then slow for half a minute. Give a file system like a desktop's (ext4 with its journal): flushing to disk is the
# larger part of what the enqueue benchmarks time.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-bench"
set -- tovin-bench-outbox-enqueue tovin-bench-outbox-folder tovin-bench-outbox-busy-disk \
    tovin-bench-chat-list-write tovin-bench-chat-list-read tovin-bench-outbox-pending

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOVIN_BUILD_BENCHMARKS=ON \
    -DTOVIN_BUILD_GUI=OFF -DBUILD_TESTING=OFF >/dev/null
cmake --build "$build" -j2 --target "$@"

scratch=$(mktemp -d "${TOVIN_BENCH_DIR:-/var/tmp}/tovin-bench.XXXXXX")
log="$scratch/log"
trap 'rm -rf "$scratch"' EXIT
trap 'exit 130' INT TERM

for target in "$@"; do
    echo "== $target"
    "$build/bench/shared/$target" "$scratch" | tee -a "$log"
done

echo "== ratios"
grep -F 'x (' "$log"
