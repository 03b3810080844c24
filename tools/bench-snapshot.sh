#!/usr/bin/env bash
# Benchmark of the installer check's snapshots, never part of the tests: a throwaway Wine
# prefix whose drive C: gets FILES more empty files (in folders of 1,000), then
# SnapshotBench.exe takes two snapshots of it and compares them, its peak memory seen from
# Windows and from Linux. Prints one markdown table row; the tree is removed afterwards.
#   bash tools/bench-snapshot.sh [FILES]
# default: 1,000,000 files. Needs about 1 inode and 100 bytes of disk per file.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
FILES=${1:-1000000}
if ! [[ $FILES =~ ^[1-9][0-9]*$ ]]; then
    echo "FILES must be a positive number" >&2
    exit 2
fi

install_build_packages
# GNU time gives the peak resident set of the Wine process as Linux sees it.
need_packages time gcc libc6-dev
build_all >/dev/null
WORK=$BUILD_DIR/bench-snapshot
BIN=$WORK/bin
rm -rf "$BIN"
mkdir -p "$BIN"

# The check's own snapshot code (CheckLogic) and platform layer, with CheckInstaller's options.
x86_64-w64-mingw32-g++-posix -std=gnu++17 -Os -DNDEBUG -Wall -Wextra -Werror \
    -DUNICODE -D_UNICODE -DWIN32_LEAN_AND_MEAN -Icheck -Isrc -Iharness \
    tools/bench/SnapshotBench.cpp src/platform/Platform.cpp -o "$BIN/SnapshotBench.exe" \
    "$BUILD_DIR/check/libCheckLogic.a" "$BUILD_DIR/libKestraneLogic.a" "$BUILD_DIR/harness/libHarness.a" \
    -static -Wl,--no-insert-timestamp -s -Wl,--subsystem,console:6.0 -Wl,--dynamicbase -Wl,--high-entropy-va \
    -Wl,--nxcompat -Wl,--tsaware -Wl,--gc-sections \
    -lpsapi -lole32 -loleaut32 -ladvapi32 -luser32 -lshell32
cc -O2 -Wall -Wextra -Werror tools/bench/MakeTree.c -o "$BIN/MakeTree"

start_prefix "$WORK/wine"
# The prefix goes with its million files whatever happens.
trap 'stop_prefix; rm -rf "${WORK:?}/wine"' EXIT
TREE=$WINEPREFIX/drive_c/BenchTree
started=$(date +%s%N)
"$BIN/MakeTree" "$TREE" "$FILES"
sync
echo "Made $FILES files in $(((FILES + 999) / 1000)) folders in $((($(date +%s%N) - started) / 1000000)) ms" >&2

OUT=$WORK/snapshot-$FILES.txt
TIME=$WORK/time-$FILES.txt
# The 64-bit loader itself: through "wine", Debian's 32-bit loader hands a 64-bit program to
# start.exe, and time would measure start.exe instead.
WINE64=/usr/lib/wine/wine64
[ -x "$WINE64" ] || WINE64=$(command -v wine64 || command -v wine)
set +e
/usr/bin/time -v -o "$TIME" "$WINE64" "$BIN/SnapshotBench.exe" </dev/null 2>"$WORK/stderr-$FILES.txt" | tr -d '\r' >"$OUT"
status=${PIPESTATUS[0]}
set -e
cat "$OUT" >&2
[ "$status" -eq 0 ] || { echo "SnapshotBench.exe failed ($status): $WORK/stderr-$FILES.txt" >&2; exit 1; }

value() { sed -n "s/^$1 //p" "$OUT"; }
megabytes() { awk "BEGIN { printf \"%.1f\", $1 / 1048576 }"; }
rss_kb=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$TIME")
bytes=$(value snapshot_bytes)
used=$(value used_bytes)
records=$(value records)
echo "| files | records | snapshot | again | compare | changes | SnapshotBytes | of it used | per record | peak working set | peak RSS (Linux) |"
echo "|---|---|---|---|---|---|---|---|---|---|---|"
printf '| %d | %d | %s s | %s s | %s s | %d | %s MB | %s MB | %d B | %s MB | %s MB |\n' "$FILES" "$records" \
    "$(value snapshot_seconds)" "$(value second_snapshot_seconds)" "$(value compare_seconds)" "$(value changes)" \
    "$(megabytes "$bytes")" "$(megabytes "$used")" $((bytes / records)) "$(value peak_working_set_mb)" \
    "$(megabytes $((rss_kb * 1024)))"
