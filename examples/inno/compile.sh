#!/usr/bin/env bash
# compile.sh ISCC SOURCE KESTRANE_EXE ORBEL_EXE ORBEL_CHM OUTPUT_DIR
# Compiles the Inno Setup sample with Inno Setup's own compiler (npm's innosetup package)
# under Wine. The compiler is a 32-bit program: it needs Wine's 32-bit side. It works in a
# prefix of its own under OUTPUT_DIR, made on first use.
set -euo pipefail
iscc=$1 source=$2 kestrane=$3 orbel=$4 chm=$5 out=$6
windows_path() { printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"; }
export WINEPREFIX=$out/iscc-prefix HOME=$out/iscc-home WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$HOME"
[ -f "$WINEPREFIX/system.reg" ] || wineboot -i </dev/null >/dev/null 2>&1
status=0
wine "$iscc" /Q "/DKestraneExe=$(windows_path "$kestrane")" "/DOrbelExe=$(windows_path "$orbel")" \
    "/DOrbelChm=$(windows_path "$chm")" "/O$(windows_path "$out")" "$(windows_path "$source")" </dev/null || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
