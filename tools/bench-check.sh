#!/usr/bin/env bash
# Benchmark of the installer check, never part of the tests: the sample installer
# against one that also installs a data folder of many small files, checked side by
# side, each in a throwaway Wine prefix of its own.
#   bash tools/bench-check.sh [runs] [folders] [files per folder]
# defaults: 3 runs; 200 folders of 100 files (20,000 files).
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
RUNS=${1:-3}
FOLDERS=${2:-200}
FILES=${3:-100}

install_build_packages
build_all >/dev/null
WORK=$BUILD_DIR/bench-check
rm -rf "$WORK"
mkdir -p "$WORK/data"
for ((folder = 1; folder <= FOLDERS; folder++)); do
    mkdir "$WORK/data/folder$folder"
    for ((file = 1; file <= FILES; file++)); do
        echo "$folder.$file" >"$WORK/data/folder$folder/file$file.txt"
    done
done
BIG=$WORK/OrbelDataSetup.exe
makensis -V1 -NOCD -DDATA_FOLDER="$WORK/data" -DKESTRANE_EXE="$BUILD_DIR/Kestrane.exe" \
    -DORBEL_EXE="$BUILD_DIR/examples/nsis/Orbel.exe" -DORBEL_CHM="$KESTRANE_ROOT/examples/nsis/Orbel.chm" \
    -DOUTFILE="$BIG" tests/installer-check/OrbelVariant.nsi
echo "An installer with $((FOLDERS * FILES)) files in $FOLDERS folders: $(stat -c %s "$BIG") bytes"

# Seconds of one check, its exit code and its line count.
time_check() {
    local name=$1 setup=$2 run=$3 started elapsed code installer
    # The last run's 20,000 deleted files are written back first, not during this one.
    rm -rf "${WORK:?}/$name"
    sync
    started=$(date +%s%N)
    KESTRANE_PREBUILT=1 KESTRANE_CHECK_DIR="$WORK/$name" bash tools/check-installer.sh "$setup" \
        </dev/null >"$WORK/$name-$run.log" 2>&1
    code=$?
    elapsed=$((($(date +%s%N) - started) / 10000000))
    installer=$(sed -n 's/.*it ended with exit code .* after \([0-9.]*\) s.*/\1/p' "$WORK/$name-$run.log")
    printf '| %-6s | %d | %d.%02d s | %s s | %d | %d |\n' "$name" "$run" $((elapsed / 100)) $((elapsed % 100)) \
        "${installer:-?}" "$code" "$(wc -l <"$WORK/$name-$run.log")"
}
echo "| check | run | time | of which the installer | exit code | lines |"
echo "|---|---|---|---|---|---|"
set +e
for ((run = 1; run <= RUNS; run++)); do
    time_check sample "$BUILD_DIR/OrbelSetup.exe" "$run"
    time_check data "$BIG" "$run"
done
echo "Reports: $WORK/*.log"
