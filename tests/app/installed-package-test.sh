#!/bin/sh
# Usage: installed-package-test.sh CMAKE GENERATOR BUILD_DIR CONSUMER_SOURCE CXX_COMPILER CXX_FLAGS
set -eu
cmake=$1 generator=$2 build=$3 consumer=$4 compiler=$5 flags=$6

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
test -x "$prefix/bin/tovin-host"
test -f "$prefix/include/tovin/shared/ShareOutbox.h"
for internal in JSONCoding.h JSONReader.h; do
    if [ -e "$prefix/include/tovin/shared/$internal" ]; then
        echo "an internal header was installed: $internal" >&2
        exit 1
    fi
done

"$cmake" -S "$consumer" -B "$scratch/build" -G "$generator" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$compiler" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
"$cmake" --build "$scratch/build" >/dev/null
"$scratch/build/consumer" "$scratch/outbox"
