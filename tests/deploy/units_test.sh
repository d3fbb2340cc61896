#!/usr/bin/env bash
# Installs the systemd units and the game into an empty root, by the commands
# docs/hosting.md gives a host, and has systemd-analyze verify them there:
# every setting known, every program present. The games' and the keeper's
# sandboxes must rate at most 0.6 on systemd's scale, the browser bridge's,
# which must face the network, at most 1.2; the socket's caps must leave
# room above the keeper's own, so that the players it turns away are told
# why.
#
# Usage: tests/deploy/units_test.sh TERMINAL (kestiv-seat beside it)
set -euo pipefail
deploy=$(cd "$(dirname "$0")/../../deploy" && pwd)
terminal=$1

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/usr/lib/systemd"
cp -r /usr/lib/systemd/system "$root/usr/lib/systemd/"   # the targets the units are ordered against
seat=$(dirname "$terminal")/kestiv-seat
install -D -m 0755 "$terminal" "$seat" "$deploy/kestiv-game" -t "$root/usr/local/lib/kestiv-terminal/"
# The keeper's reload signals it with kill, which every host has.
install -D -m 0755 /usr/bin/kill -t "$root/bin/"
install -D -m 0644 "$deploy/kestiv-terminal.socket" "$deploy/kestiv-terminal@.service" \
    "$deploy/kestiv-terminal-keeper.service" "$deploy/kestiv-terminal-websocket.service" \
    "$deploy/kestiv-terminal.slice" -t "$root/etc/systemd/system/"

source "$(dirname "$0")/checks.sh"

verify() {
    local said
    if ! said=$(systemd-analyze verify --root="$root" kestiv-terminal.socket kestiv-terminal@0.service \
        kestiv-terminal-keeper.service kestiv-terminal-websocket.service kestiv-terminal.slice 2>&1) ||
        [[ -n $said ]]; then
        echo "$said"
        return 1
    fi
}
# An exposure of at most $2 tenths on systemd's scale of 10.
rated_safe() {
    local said
    said=$(systemd-analyze security --offline=yes --root="$root" --threshold="$2" --no-pager "$1" 2>&1) ||
        { echo "$said"; return 1; }
}
check "systemd-analyze verify passes on the units, without a word" verify
check "the game's sandbox rates at most 0.6" rated_safe kestiv-terminal@0.service 6
check "the keeper's sandbox rates at most 0.6" rated_safe kestiv-terminal-keeper.service 6
# Its host network and Internet sockets, which a game's unit does without,
# are 0.8 of it: websocketd accepts the players itself, and must see their
# addresses.
check "the bridge's sandbox rates at most 1.2" rated_safe kestiv-terminal-websocket.service 12
check "without the game installed, verify fails" \
    bash -c "rm '$root/usr/local/lib/kestiv-terminal/kestiv-game' && ! systemd-analyze verify --root='$root' kestiv-terminal@0.service 2>/dev/null"

# The defaults are kestiv-seat's alone: the units set none of them.
default() { env -u "$1" "$seat" --settings | sed -n "s/^$1=//p"; }
setting() { sed -n "s/^$2=//p" "$deploy/$1"; }
games=$(default KESTIV_GAMES)
line=$(default KESTIV_LINE)
per_address=$(default KESTIV_GAMES_PER_ADDRESS)
connections=$(setting kestiv-terminal.socket MaxConnections)
per_source=$(setting kestiv-terminal.socket MaxConnectionsPerSource)
tasks=$(setting kestiv-terminal.slice TasksMax)
check "the socket's MaxConnections ($connections) is above KESTIV_GAMES and KESTIV_LINE ($games + $line)" \
    test "$connections" -gt $((games + line))
check "the slice's TasksMax ($tasks) holds four processes a game, one a player in line, and the keeper" \
    test "$tasks" -gt $((4 * games + line + 1))
check "the socket's MaxConnectionsPerSource ($per_source) is above KESTIV_GAMES_PER_ADDRESS ($per_address)" \
    test "$per_source" -gt "$per_address"
check "the units state no setting of the game" bash -c "! grep -h '^Environment' '$deploy'/kestiv-terminal*"
# A cap of the unit's own on one game's time or memory would end it before
# kestiv-seat's limits, without their message, as soon as an admin raised them.
check "a game's time and memory are left to kestiv-seat's limits" \
    bash -c "! grep -E '^(RuntimeMaxSec|MemoryMax|MemoryHigh|LimitAS|LimitCPU)=' '$deploy/kestiv-terminal@.service'"
check "every game runs in the slice" grep -qx 'Slice=kestiv-terminal.slice' "$deploy/kestiv-terminal@.service"
for unit in kestiv-terminal@.service kestiv-terminal-websocket.service; do
    check "$unit wants the keeper without requiring it, so that a keeper's restart stops no game" \
        bash -c "grep -qx 'Wants=kestiv-terminal-keeper.service' '$deploy/$unit' &&
            ! grep -q '^Requires' '$deploy/$unit'"
done
check "the bridge's games run in the slice" grep -qx 'Slice=kestiv-terminal.slice' "$deploy/kestiv-terminal-websocket.service"
bridge_port=$(sed -n 's/^ExecStart=.* --bridge \([0-9]*\) .*/\1/p' "$deploy/kestiv-terminal-websocket.service")
check "the bridge may bind its own port ($bridge_port) and no other" \
    bash -c "grep -qx 'SocketBindAllow=tcp:$bridge_port' '$deploy/kestiv-terminal-websocket.service' &&
        grep -qx 'SocketBindDeny=any' '$deploy/kestiv-terminal-websocket.service'"
check "the bridge stops websocketd only after its games' last words" \
    grep -qx 'KillMode=mixed' "$deploy/kestiv-terminal-websocket.service"
check "the keeper tells systemd when it is ready" grep -qx 'Type=notify' "$deploy/kestiv-terminal-keeper.service"
check "the slice caps the games' total memory and processes" \
    bash -c "grep -q '^MemoryMax=' '$deploy/kestiv-terminal.slice' && grep -q '^TasksMax=' '$deploy/kestiv-terminal.slice'"
check "the socket starts one game per connection" grep -qx 'Accept=yes' "$deploy/kestiv-terminal.socket"

checks_summary
