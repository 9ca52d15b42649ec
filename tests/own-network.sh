#!/bin/sh
# Runs a test that binds the peer port in a network namespace of its own (only a loopback, removed with
# the process), so that such tests run side by side and never hear another copy on this computer. Where
# no namespace can be made, the tests take turns under a lock.
if unshare -n true 2>/dev/null; then
    exec unshare -n sh -c 'ip link set lo up && exec "$@"' own-network "$@"
fi
if unshare -rn true 2>/dev/null; then
    exec unshare -rn sh -c 'ip link set lo up && exec "$@"' own-network "$@"
fi
exec flock "${TMPDIR:-/tmp}/perix-test-port-54812.lock" "$@"
