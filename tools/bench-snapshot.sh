#!/usr/bin/env bash
# Benchmark of the installer check's snapshots, never part of the tests: a throwaway Wine
# prefix whose drive C: gets FILES more empty files (in folders of 1,000), then
# SnapshotBench.exe takes two snapshots of it and compares them, its peak memory seen from
# Windows and from Linux. Prints one markdown table row per run; the tree is made once and
# removed afterwards.
#   bash tools/bench-snapshot.sh [FILES [RUNS [OTHER_BUILD_DIR]]]
# default: 1,000,000 files, 1 run. With OTHER_BUILD_DIR (the build folder of another checkout,
# already built), that checkout's SnapshotBench.exe runs too, turn about with this one's, on the
# same tree: before and after a change, side by side. Needs about 1 inode and 100 bytes of disk
# per file.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
FILES=${1:-1000000}
RUNS=${2:-1}
OTHER=${3:-}
if ! [[ $FILES =~ ^[1-9][0-9]*$ && $RUNS =~ ^[1-9][0-9]?$ ]]; then
    echo "FILES must be a positive number, RUNS 1 to 99" >&2
    exit 2
fi
if [ -n "$OTHER" ]; then
    OTHER=$(realpath -- "$OTHER")
    OTHER_SOURCE=$(sed -n 's/^CMAKE_HOME_DIRECTORY:INTERNAL=//p' "$OTHER/CMakeCache.txt" 2>/dev/null || true)
    [ -f "$OTHER/check/libCheckLogic.a" ] && [ -d "$OTHER_SOURCE" ] ||
        { echo "$OTHER is no built build folder of this project" >&2; exit 2; }
fi

install_build_packages
# GNU time gives the peak resident set of the Wine process as Linux sees it.
need_packages time gcc libc6-dev
build_all >/dev/null
WORK=$BUILD_DIR/bench-snapshot
BIN=$WORK/bin
rm -rf "$BIN"
mkdir -p "$BIN"

# SOURCE BUILD OUT: this checkout's SnapshotBench.cpp over the check's own snapshot code
# (CheckLogic) and platform layer of that checkout, with CheckInstaller's options.
build_bench() {
    (cd "$1" && x86_64-w64-mingw32-g++-posix -std=gnu++17 -Os -DNDEBUG -Wall -Wextra -Werror \
        -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -Icheck -Isrc -Iharness \
        "$KESTRANE_ROOT/tools/bench/SnapshotBench.cpp" src/platform/Platform.cpp -o "$3" \
        "$2/check/libCheckLogic.a" "$2/libKestraneLogic.a" "$2/harness/libHarness.a" \
        -static -Wl,--no-insert-timestamp -s -Wl,--subsystem,console:6.0 -Wl,--dynamicbase -Wl,--high-entropy-va \
        -Wl,--nxcompat -Wl,--tsaware -Wl,--gc-sections \
        -lpsapi -lole32 -loleaut32 -ladvapi32 -luser32 -lshell32)
}
build_bench "$KESTRANE_ROOT" "$BUILD_DIR" "$BIN/SnapshotBench.exe"
[ -z "$OTHER" ] || build_bench "$OTHER_SOURCE" "$OTHER" "$BIN/OtherSnapshotBench.exe"
cc -O2 -Wall -Wextra -Werror tools/bench/MakeTree.c -o "$BIN/MakeTree"

start_prefix "$WORK/wine"
# The prefix goes with its million files whatever happens.
trap 'stop_prefix; rm -rf "${WORK:?}/wine"' EXIT
TREE=$WINEPREFIX/drive_c/BenchTree
started=$(date +%s%N)
"$BIN/MakeTree" "$TREE" "$FILES"
sync
echo "Made $FILES files in $(((FILES + 999) / 1000)) folders in $((($(date +%s%N) - started) / 1000000)) ms" >&2

# The 64-bit loader itself: through "wine", Debian's 32-bit loader hands a 64-bit program to
# start.exe, and time would measure start.exe instead.
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)
megabytes() { awk "BEGIN { printf \"%.1f\", $1 / 1048576 }"; }

# NAME EXE RUN: one run, one table row.
bench_once() {
    local out=$WORK/snapshot-$1-$3.txt time=$WORK/time-$1-$3.txt status
    set +e
    /usr/bin/time -v -o "$time" "$WINE64" "$2" </dev/null 2>"$WORK/stderr-$1-$3.txt" | tr -d '\r' >"$out"
    status=${PIPESTATUS[0]}
    set -e
    [ "$status" -eq 0 ] || { cat "$out" >&2; echo "$2 failed ($status): $WORK/stderr-$1-$3.txt" >&2; exit 1; }
    value() { sed -n "s/^$1 //p" "$out"; }
    local rss_kb bytes records
    rss_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$time")
    bytes=$(value snapshot_bytes)
    records=$(value records)
    printf '| %s | %d | %d | %s s | %s s | %s s | %d | %s MB | %s MB | %d B | %s MB | %s MB |\n' "$1" "$FILES" \
        "$records" "$(value snapshot_seconds)" "$(value second_snapshot_seconds)" "$(value compare_seconds)" \
        "$(value changes)" "$(megabytes "$bytes")" "$(megabytes "$(value used_bytes)")" $((bytes / records)) \
        "$(value peak_working_set_mb)" "$(megabytes $((rss_kb * 1024)))"
}

echo "| build | files | records | snapshot | again | compare | changes | SnapshotBytes | of it used | per record | peak working set | peak RSS (Linux) |"
echo "|---|---|---|---|---|---|---|---|---|---|---|---|"
for ((run = 1; run <= RUNS; run++)); do
    [ -z "$OTHER" ] || bench_once other "$BIN/OtherSnapshotBench.exe" "$run"
    bench_once this "$BIN/SnapshotBench.exe" "$run"
done
