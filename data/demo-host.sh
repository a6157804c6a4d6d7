#!/bin/sh
# Shows the host side of the share contract over a demo shared folder in a temporary HOME (never
# the real one): writes the sample chat list, lists it, queues one sample share by hand and lists
# the outbox. Usage: data/demo-host.sh [PATH/TO/tovin-host]
set -eu
data=$(cd "$(dirname "$0")" && pwd)
host=${1:-build/src/app/tovin-host}
if [ ! -x "$host" ]; then
    echo "demo-host.sh: no tovin-host at $host; build first or give its path" >&2
    exit 2
fi

HOME=$(mktemp -d)
export HOME
trap 'rm -rf "$HOME"' EXIT
echo "Demo HOME: $HOME (removed on exit)"

echo
echo "\$ tovin-host chats write data/sample-chats.json"
"$host" chats write "$data/sample-chats.json"
echo
echo "\$ tovin-host chats list"
"$host" chats list

# What the share sheet leaves in the outbox after a Send.
entry="$HOME/Library/Containers/com.brindlex.tovin.share/Data/Documents/outbox/0F8E2C1A-5B7D-4E3F-9A61-2D4C8B7E1F05"
mkdir -p "$entry"
cp "$data/sample-manifest.json" "$entry/manifest.json"

echo
echo "\$ tovin-host outbox list"
"$host" outbox list
echo
echo "\$ tovin-host outbox list --json"
"$host" outbox list --json
echo
echo "\$ tovin-host outbox remove 0F8E2C1A-5B7D-4E3F-9A61-2D4C8B7E1F05"
"$host" outbox remove 0F8E2C1A-5B7D-4E3F-9A61-2D4C8B7E1F05
echo
echo "\$ tovin-host outbox list"
"$host" outbox list
echo "(the outbox is empty again)"
