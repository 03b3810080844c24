#!/usr/bin/env bash
# Benchmark, never part of the tests: Kestrane.exe against an NSIS uninstaller
# doing the same job and a floor that makes only the removal calls, each run
# on a fresh installation in a throwaway Wine prefix, every box answered OK.
#   bash tools/bench.sh [rounds] [window counts] [scaling runs]
# defaults: 20 rounds; 10,100,1000 other windows for the scaling; 5 runs each.
# The table goes to standard output and to build/bench-work/results.md.
WORK_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)/build/bench-work
export BUILD_DIR=$WORK_DIR/main
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

ROUNDS=${1:-20}
WINDOW_COUNTS=${2:-10,100,1000}
SCALING_RUNS=${3:-5}

install_build_packages
need_packages nsis
build_all >/dev/null

BIN=$WORK_DIR/bin
mkdir -p "$BIN"
CC=x86_64-w64-mingw32-gcc-posix
CXX=x86_64-w64-mingw32-g++-posix
# The same link options as Kestrane.exe, so only the code differs.
GUI_LINK=(-static -s -mwindows -Wl,--no-insert-timestamp -Wl,--subsystem,windows:6.0
          -Wl,--dynamicbase -Wl,--high-entropy-va -Wl,--nxcompat -Wl,--tsaware -Wl,--gc-sections)
$CXX -std=c++17 -O2 -Wall -Wextra -Werror -DUNICODE -D_UNICODE -Itests/e2e -Iharness \
    tools/bench/Harness.cpp harness/BoxDriver.cpp harness/Pending.cpp tests/e2e/Installation.cpp -o "$BIN/Harness.exe" \
    -static -luser32 -lshell32 -ladvapi32 -lole32 -loleaut32 -lpsapi
$CC -Os -Wall -Wextra -Werror -nostdlib -e FloorMain tools/bench/Floor.c -o "$BIN/Floor.exe" \
    "${GUI_LINK[@]}" -lkernel32 -ladvapi32
$CC -Os -Wall -Wextra -Werror -municode tools/bench/BoxOnly.c -o "$BIN/BoxOnly.exe" "${GUI_LINK[@]}"
# The same with Kestrane's manifest, whose Common Controls 6 dependency
# changes what the first box loads.
echo '1 24 "res/Kestrane.manifest"' >"$BIN/manifest.rc"
x86_64-w64-mingw32-windres "$BIN/manifest.rc" -O coff -o "$BIN/manifest.o"
$CC -Os -Wall -Wextra -Werror -municode tools/bench/BoxOnly.c "$BIN/manifest.o" -o "$BIN/BoxOnlyManifest.exe" "${GUI_LINK[@]}"
makensis -V2 -DOUT="$BIN/PeerWriter.exe" -DUNINSTALLER=Peer.exe tools/bench/Peer.nsi
makensis -V2 -DOUT="$BIN/PeerRuleWriter.exe" -DUNINSTALLER=PeerRule.exe -DRULE="Bench Inbound" tools/bench/Peer.nsi
cp "$BUILD_DIR/Kestrane.exe" "$BIN/Kestrane.exe"

start_prefix "$WORK_DIR/wine"
# A crash ends the run at once instead of waiting for a debugger.
wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /d 'cmd /c exit %ld %ld' /f \
    </dev/null >/dev/null 2>&1
# An NSIS uninstaller is written by its installer at install time.
rm -f "$BIN/Peer.exe" "$BIN/PeerRule.exe"
wine "$BIN/PeerWriter.exe" </dev/null >/dev/null 2>&1
wine "$BIN/PeerRuleWriter.exe" </dev/null >/dev/null 2>&1
[ -f "$BIN/Peer.exe" ] && [ -f "$BIN/PeerRule.exe" ] || { echo "the NSIS uninstallers were not written" >&2; exit 1; }

win() { windows_path "$1"; }
programs=(
    "kestrane|$(win "$BIN/Kestrane.exe")|Bench/NULL|3|uninstall|1"
    "kestrane rule|$(win "$BIN/Kestrane.exe")|Bench/Bench Inbound|3|uninstall|0"
    "peer|$(win "$BIN/Peer.exe")|_?={AppDir}|3|uninstall|1"
    "peer rule|$(win "$BIN/PeerRule.exe")|_?={AppDir}|3|uninstall|0"
    "floor|$(win "$BIN/Floor.exe")|{Lnk1} {Lnk2} {Exe} {Chm} {Uninstaller} \"{AppDir}\"|0|uninstall|0"
    "box only|$(win "$BIN/BoxOnly.exe")||1|none|0"
    "box only + manifest|$(win "$BIN/BoxOnlyManifest.exe")||1|none|0"
)

RESULTS=$WORK_DIR/results.md
{
    echo "Measured $(date -u '+%Y-%m-%d %H:%M UTC') on $(nproc) cores ($(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1)),"
    echo "$(wine --version), makensis $(makensis -VERSION), $(x86_64-w64-mingw32-gcc-posix -dumpversion | sed 's/^/MinGW-w64 GCC /')."
    echo "Load before: $(uptime | sed 's/.*load average/load average/')"
    echo
} >"$RESULTS"
started=$SECONDS
wine "$BIN/Harness.exe" "$ROUNDS" "$WINDOW_COUNTS" "$SCALING_RUNS" "$(win "$WORK_DIR/raw.tsv")" "${programs[@]}" \
    </dev/null 2>"$WORK_DIR/problems.txt" | tr -d '\r' >>"$RESULTS"
status=${PIPESTATUS[0]}
{
    echo
    echo "Load after: $(uptime | sed 's/.*load average/load average/'); $((SECONDS - started)) s for the measurement."
} >>"$RESULTS"
cat "$RESULTS"
if [ -s "$WORK_DIR/problems.txt" ]; then
    echo
    echo "Runs that did not do their job (left out of the table):"
    tr -d '\r' <"$WORK_DIR/problems.txt" | grep -v '^$' | head -20
fi
echo
echo "Every run: $WORK_DIR/raw.tsv"
exit "$status"
