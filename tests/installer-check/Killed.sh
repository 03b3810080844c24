#!/usr/bin/env bash
# Killed.sh WORK KILLED LIMIT TIMEOUT -- COMMAND [ARGUMENTS...]
# COMMAND is InstallerCheck's own (CMakeLists.txt), whose runs are in WORK. Run here in KILLED
# instead, with the installer that starts things as its first run, and killed as CTest kills a
# test at its time-out (SIGKILL to the test's process and every process under it) once that
# installer's service runs: afterwards no process of the test's prefixes, nor of the test, runs.
# And LIMIT, the check's --limit in the test, leaves the test the time to end by itself within
# TIMEOUT, its time-out.
set -uo pipefail
work=$1 killed=$2 limit=$3 timeout=$4
shift 4
[ "${1:-}" = -- ] && shift
failed=0
fail() {
    echo "FAILED: $*" >&2
    failed=1
}

# One run's installer, uninstall and reinstall may each take the limit: a run whose three all
# hang still leaves half the time-out to the test's other runs.
[ $((3 * limit)) -le $((timeout / 2)) ] ||
    fail "the check's --limit, $limit s, thrice over, leaves less than half of the test's time-out ($timeout s): a run that hangs would have the test killed before the check says so"

# KILLED in place of WORK; InstallerCheck.sh ROOT BUILD WORK SAMPLE BROKEN LEFTOVERS BUSY STARTS:
# STARTS in place of SAMPLE, so the service runs within a minute.
command=() script=
for arg in "$@"; do
    case $arg in
    "$work" | "$work"/* | "$work".*) arg=$killed${arg#"$work"} ;;
    esac
    [[ $arg != */InstallerCheck.sh ]] || script=${#command[@]}
    command+=("$arg")
done
[ -n "$script" ] || { echo "FAILED: the command runs no InstallerCheck.sh: ${command[*]}" >&2; exit 1; }
command[script + 4]=${command[script + 8]}

# What belongs to the test: its own processes, marked, and every process of its prefixes.
mark=KESTRANE_KILLED_TEST=$$.$RANDOM
ours() {
    local proc variables variable cmdline
    for proc in /proc/[0-9]*; do
        mapfile -d "" -t variables 2>/dev/null <"$proc/environ" || continue
        for variable in "${variables[@]}"; do
            if [ "$variable" = "$mark" ] || [[ $variable == "WINEPREFIX=$killed"[./]*prefix ]]; then
                mapfile -d "" -t cmdline 2>/dev/null <"$proc/cmdline"
                echo "${proc#/proc/} ${cmdline[*]}"
                break
            fi
        done
    done
}
# The process and all under it, as CTest finds them.
tree() {
    ps -e -o pid=,ppid= | awk -v root="$1" '
        { parent[$1] = $2 }
        END {
            under[root] = 1
            for (grew = 1; grew;) {
                grew = 0
                for (p in parent) if (!(p in under) && (parent[p] in under)) { under[p] = 1; grew = 1 }
            }
            for (p in under) print p
        }'
}

rm -rf "$killed" "$killed".*
mkdir -p "$killed"
env "$mark" "${command[@]}" >"$killed.test.log" 2>&1 &
test_pid=$!
running=
for _ in $(seq 150); do
    running=$(ours | grep -i 'OrbelService\.exe')
    [ -n "$running" ] && break
    kill -0 "$test_pid" 2>/dev/null || break
    sleep 1
done
if [ -z "$running" ]; then
    cat "$killed.test.log" "$killed.log" 2>/dev/null
    fail "the installer's service never ran in $killed/prefix: the test was not killed mid-run"
else
    echo "Running in the test's prefix: $running"
    kill -KILL $(tree "$test_pid") 2>/dev/null
    wait "$test_pid" 2>/dev/null
    echo "Killed as CTest's time-out kills: the test's process $test_pid and those under it"
    for _ in $(seq 30); do
        left=$(ours)
        [ -z "$left" ] && break
        sleep 1
    done
    if [ -n "$left" ]; then
        fail "30 s after the kill, the test's processes still run:"$'\n'"$left"
        # Not this test's to leave either.
        kill -KILL $(ours | cut -d' ' -f1) 2>/dev/null
        for prefix in "$killed"/prefix "$killed".*/prefix; do
            [ ! -d "$prefix" ] || WINEPREFIX=$prefix wineserver -k 2>/dev/null
        done
    else
        echo "Nothing of the test or of its prefixes runs after the kill."
    fi
fi
rm -rf "$killed" "$killed".*
exit $failed
