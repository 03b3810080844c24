#!/usr/bin/env bash
# Watchdog.sh PREFIX... -- COMMAND [ARGUMENTS...]
# Runs COMMAND in a process group of its own, and ends with its exit code. When COMMAND ends, or
# this script is stopped in any way, nothing of it is left running: the group's processes, and
# every Wine program of each PREFIX with its server (WINEPREFIX=PREFIX wineserver -k, that
# prefix's only). CTest's time-out kills a test's processes with SIGKILL, so no trap of theirs
# runs, and Wine's server and services are no children of theirs: a watchdog outside the test's
# processes waits for this script to go, and ends what is left.
set -u

# A process's start time: with its id, it names that process and no later one.
started_at() {
    local stat
    stat=$(cat "/proc/$1/stat" 2>/dev/null) || return 1
    stat=${stat##*) }
    set -- $stat
    [ "$1" != Z ] && echo "${20}"
}

# The group first, so that nothing of it starts Wine again, then each prefix's server, which
# ends every program of its prefix.
end_all() {
    local group=$1 prefix
    shift
    kill -KILL -- "-$group" 2>/dev/null
    for prefix in "$@"; do
        [ -d "$prefix" ] || continue
        WINEPREFIX=$prefix wineserver -k 2>/dev/null
        WINEPREFIX=$prefix wineserver -w 2>/dev/null
    done
}

if [ "${1:-}" = --watch ]; then
    pid=$2 start=$3 group=$4
    shift 4
    while [ "$(started_at "$pid")" = "$start" ]; do sleep 1; done
    end_all "$group" "$@"
    exit 0
fi

prefixes=()
while [ $# -gt 0 ] && [ "$1" != -- ]; do
    prefixes+=("$(realpath -m -- "$1")")
    shift
done
if [ $# -lt 2 ] || [ ${#prefixes[@]} -eq 0 ]; then
    echo "usage: Watchdog.sh PREFIX... -- COMMAND [ARGUMENTS...]" >&2
    exit 2
fi
shift

# setsid makes the background command the leader of a new group: this script, not
# interactive, gave it none of its own, so setsid needs no fork and the id is the group's.
setsid "$@" &
group=$!
# Forked away from this script's processes (setsid -f): CTest's kill does not reach it.
setsid -f bash "${BASH_SOURCE[0]}" --watch $$ "$(started_at $$)" "$group" "${prefixes[@]}" \
    </dev/null >/dev/null 2>&1
trap 'end_all "$group" "${prefixes[@]}"; exit 143' TERM INT HUP
wait "$group"
code=$?
end_all "$group" "${prefixes[@]}"
exit $code
