#!/usr/bin/env bash
# InstallerCheck.sh ROOT BUILD WORK SAMPLE_SETUP BROKEN_SETUP
# The check passes the sample installer without restarting anything, and names each
# fault of the broken variant in its own problem line, with exit code 1. Under Wine
# through tools/check-installer.sh; on Windows (a throwaway one: it installs for real)
# CheckInstaller.exe from BUILD itself, where what a restart would leave is what is
# left after the uninstall.
set -uo pipefail
root=$1 build=$2 work=$3 sample=$4 broken=$5
failed=0

case "$(uname -s)" in
MINGW* | MSYS* | CYGWIN*)
    windows=1 restarted='^== After the uninstall'
    programs="$(cygpath -w "$APPDATA")\\Microsoft\\Windows\\Start Menu\\Programs" ;;
*)
    windows=0 restarted='^== After a simulated restart'
    programs="C:\\users\\$(id -un)\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs" ;;
esac
mkdir -p "$(dirname "$work")"

check() {
    if [ "$windows" -eq 1 ]; then
        "$build/CheckInstaller.exe" --state "$(cygpath -w "$work.state")" "$(cygpath -w "$1")" </dev/null >"$work.log" 2>&1
    else
        KESTRANE_PREBUILT=1 BUILD_DIR="$build" KESTRANE_CHECK_DIR="$work" \
            bash "$root/tools/check-installer.sh" "$1" </dev/null >"$work.log" 2>&1
    fi
    code=$?
    cat "$work.log"
}
expect() {
    if ! "$@"; then
        echo "FAILED: $*" >&2
        failed=1
    fi
}

check "$sample"
expect [ "$code" -eq 0 ]
expect grep -qx "Nothing of Orbel is left." "$work.log"
# The machine the check runs on is never restarted; the deletions wait for the restart.
expect grep -qx 'box 2 "Kestrane" \[OK\] \[Cancel\] answered Cancel (the check never restarts)' "$work.log"
expect grep -qxF '  pending  C:\Program Files\Orbel (with 1 of the 3 item(s) put in it)' "$work.log"

check "$broken"
expect [ "$code" -eq 1 ]
cat >"$work.expected" <<END
problem  the uninstall entry \`Orbel\` is in the 32-bit registry view, where Kestrane never looks (a 32-bit installer needs SetRegView 64)  (README: "Check your installer")
problem  the argument text \`"Orbel/NULL"\`: the application name \`"Orbel\` holds \`"\`, which no folder name can hold: Kestrane refuses it with "Erreur.\nArguments."  (README: "The argument text")
problem  C:\\Program Files\\Orbel\\readme.txt survives the uninstall: Kestrane removes only Orbel.exe, Orbel.chm and Kestrane.exe from the folder, which then stays too  (README: "What Kestrane never touches")
problem  the folder $programs\\Orbel with the shortcut Orbel.lnk survives the uninstall: Kestrane removes Orbel.lnk only directly in the per-user Programs folder and on the per-user desktop  (README: "What Kestrane never touches")
problem  the value \`ORBEL_HOME\` of HKCU\\Environment, added by the installer, survives the uninstall: Kestrane removes no value but those of the two keys it deletes  (README: "What Kestrane never touches")
problem  Kestrane ended with exit code 1  (README: "Exit codes")
END
grep '^problem ' "$work.log" >"$work.problems"
expect diff -u "$work.expected" "$work.problems"
# Refused, Kestrane removed nothing: all still there after the restart.
sed -n "/$restarted/,\$p" "$work.log" >"$work.restarted"
expect grep -qxF "  left     $programs\\Orbel (with 1 of the 1 item(s) put in it)" "$work.restarted"
expect grep -qxF "  left     HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orbel (32-bit view) (with 5 of the 5 item(s) put in it)" "$work.restarted"
expect grep -qxF "  left     the value \`ORBEL_HOME\` of HKCU\\Environment" "$work.restarted"
expect grep -qx "6 item(s) of Orbel are left." "$work.restarted"
exit $failed
