#!/usr/bin/env bash
# Installs the systemd units and the game into an empty root, by the commands
# README.md gives an author, and has systemd-analyze verify them there: every
# setting known, every program present. The service's sandbox must rate as
# safe, and the socket must leave room above the games at once for the
# players that kestiv-game turns away.
#
# Usage: tests/deploy/units_test.sh TERMINAL
set -euo pipefail
deploy=$(cd "$(dirname "$0")/../../deploy" && pwd)
terminal=$1

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/usr/lib/systemd"
cp -r /usr/lib/systemd/system "$root/usr/lib/systemd/"   # the targets the units are ordered against
install -D -m 0755 "$terminal" "$deploy/kestiv-game" -t "$root/usr/local/lib/kestiv-terminal/"
install -D -m 0644 "$deploy/kestiv-terminal.socket" "$deploy/kestiv-terminal@.service" -t "$root/etc/systemd/system/"

source "$(dirname "$0")/checks.sh"

verify() {
    local said
    if ! said=$(systemd-analyze verify --root="$root" kestiv-terminal.socket kestiv-terminal@0.service 2>&1) ||
        [[ -n $said ]]; then
        echo "$said"
        return 1
    fi
}
# An exposure of at most 1.5 on systemd's scale of 10.
rated_safe() {
    local said
    said=$(systemd-analyze security --offline=yes --root="$root" --threshold=15 --no-pager \
        kestiv-terminal@0.service 2>&1) || { echo "$said"; return 1; }
}
check "systemd-analyze verify passes on the units, without a word" verify
check "the service's sandbox rates as safe" rated_safe
check "without the game installed, verify fails" \
    bash -c "rm '$root/usr/local/lib/kestiv-terminal/kestiv-game' && ! systemd-analyze verify --root='$root' kestiv-terminal@0.service 2>/dev/null"

games=$(sed -n 's/^Environment=.*KESTIV_GAMES=\([0-9]*\).*/\1/p' "$deploy/kestiv-terminal@.service")
connections=$(sed -n 's/^MaxConnections=//p' "$deploy/kestiv-terminal.socket")
check "the socket's MaxConnections ($connections) is above the service's KESTIV_GAMES ($games)" \
    test "$connections" -gt "$games"
check "the socket starts one game per connection" grep -qx 'Accept=yes' "$deploy/kestiv-terminal.socket"

checks_summary
