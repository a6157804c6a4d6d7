#!/bin/sh
# tovin-host watch on a private session bus: each enqueue signal shows the shares that are new,
# other signals are ignored, and a bus that is missing or goes away ends it with status 1.
# Usage: host-watch-test.sh TOVIN_HOST SAMPLE_MANIFEST
set -eu
host=$1 manifest=$2

scratch=$(mktemp -d)
bus_pid=
watch_pid=
cleanup() {
    [ -z "$watch_pid" ] || kill "$watch_pid" 2>/dev/null || true
    [ -z "$bus_pid" ] || kill "$bus_pid" 2>/dev/null || true
    rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
    echo "host-watch-test: $*" >&2
    exit 1
}
# Waits up to ten seconds for FILE to hold TEXT.
await() {
    for _ in $(seq 100); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    fail "no \"$2\" in $1: $(cat "$1")"
}

HOME=$scratch/home
export HOME
outbox=$HOME/Library/Containers/com.brindlex.tovin.share/Data/Documents/outbox
queue() {
    mkdir -p "$outbox/$1"
    cp "$manifest" "$outbox/$1/manifest.json"
}

status=0
DBUS_SESSION_BUS_ADDRESS=unix:path=$scratch/no-bus "$host" watch 2>"$scratch/err" || status=$?
[ "$status" -eq 1 ] || fail "watch without a bus ended with $status"
grep -q "could not reach the session bus" "$scratch/err" || fail "$(cat "$scratch/err")"

dbus-daemon --session --nofork --address="unix:path=$scratch/bus" --print-pid=3 3>"$scratch/pid" &
bus_pid=$!
DBUS_SESSION_BUS_ADDRESS=unix:path=$scratch/bus
export DBUS_SESSION_BUS_ADDRESS
await "$scratch/pid" .
signal() {
    dbus-send --session --type=signal "$1" "$2"
}

queue EARLIER
"$host" watch >"$scratch/out" 2>"$scratch/err" &
watch_pid=$!
await "$scratch/err" "waiting for new shares"

queue FIRST
signal /com/brindlex/tovin/other com.brindlex.tovin.share.enqueue
signal /com/brindlex/tovin/share com.brindlex.tovin.share.other
sleep 0.5
[ ! -s "$scratch/out" ] || fail "another signal was taken for the enqueue signal"
signal /com/brindlex/tovin/share com.brindlex.tovin.share.enqueue
await "$scratch/out" "^FIRST"
queue SECOND
signal /com/brindlex/tovin/share com.brindlex.tovin.share.enqueue
signal /com/brindlex/tovin/share com.brindlex.tovin.share.enqueue
await "$scratch/out" "^SECOND"
[ "$(cut -f1 "$scratch/out" | tr '\n' ' ')" = "FIRST SECOND " ] ||
    fail "watch printed: $(cat "$scratch/out")"

kill "$bus_pid"
bus_pid=
status=0
wait "$watch_pid" || status=$?
watch_pid=
[ "$status" -eq 1 ] || fail "watch ended with $status when the bus went away"
grep -q "the session bus went away" "$scratch/err" || fail "$(cat "$scratch/err")"
