#!/bin/sh
# run-bench.sh SECONDS PROGRAM [ARGUMENTS...]
# Runs one benchmark within its time limit (killed when it is reached), whatever its children do: in a PID namespace of its own (when
# the benchmark ends or is stopped, every process it started ends with it; its own /proc, so that it can
# read its children's memory), in a network namespace that
# holds only a loopback (it never hears another run's peers), and with a temporary folder of its own that
# is removed afterwards, also when the run was stopped. Where no namespace can be made, the benchmark
# runs under the port's lock and its time limit only.
limit=$1
shift
name=$(basename "$1")
work=$(mktemp -d "${TMPDIR:-/tmp}/perix-bench-XXXXXX") || exit 1
trap 'rm -rf "$work"' EXIT
# The benchmark runs in the background so that a signal to this script is handled at once: the shell
# would otherwise wait for the benchmark to end before it ran the trap.
if unshare -n -p -f --mount-proc true 2>/dev/null; then
    TMPDIR=$work timeout -s KILL "$limit" unshare -n -p -f --mount-proc --kill-child \
        sh -c 'ip link set lo up && exec "$@"' "$name" "$@" &
else
    TMPDIR=$work timeout -s KILL "$limit" flock "${TMPDIR:-/tmp}/perix-udp-54812.lock" "$@" &
fi
child=$!
# timeout leads a process group of its own: stopping the group ends the namespace (and every process in
# it) at once, even a benchmark that ignores TERM.
trap 'kill -s KILL -- "-$child" 2>/dev/null || kill -s KILL "$child" 2>/dev/null; wait "$child"; exit 143' INT TERM HUP
wait "$child"
status=$?
[ "$status" -eq 124 ] || [ "$status" -eq 137 ] && echo "$name: stopped at its time limit of $limit s" >&2
exit "$status"
