#!/usr/bin/env bash
# Builds Kestrane.exe and uninstalls a sample application, "Orbel", laid out
# in a throwaway Wine prefix. With a display you answer the boxes yourself;
# without one they are answered OK and printed.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_build_packages
build_all

APP=Orbel
ARGUMENT="$APP/$APP Inbound"
driver=null
[ -n "${DISPLAY:-}" ] && driver=x11
start_prefix "$BUILD_DIR/wine-demo" "$driver"

winenv() { wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r'; }
program_files=$(winenv ProgramFiles)
app_dir="$program_files\\$APP"
desktop="$(winenv USERPROFILE)\\Desktop"
programs="$(winenv APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs"
uninstall_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$APP"
settings_key="HKCU\\Software\\$APP"
unix() { winepath -u "$1" 2>/dev/null; }

echo "== Installing the sample application $APP in $WINEPREFIX"
mkdir -p "$(unix "$app_dir")" "$(unix "$desktop")" "$(unix "$programs")"
echo "sample program" >"$(unix "$app_dir\\$APP.exe")"
echo "sample help" >"$(unix "$app_dir\\$APP.chm")"
cp "$BUILD_DIR/Kestrane.exe" "$(unix "$app_dir\\Kestrane.exe")"
echo "shortcut" >"$(unix "$desktop\\$APP.lnk")"
echo "shortcut" >"$(unix "$programs\\$APP.lnk")"
wine reg add "$uninstall_key" /v UninstallString /d "\"$app_dir\\Kestrane.exe\" $ARGUMENT" /f </dev/null >/dev/null 2>&1
wine reg add "$settings_key" /v Language /d fr /f </dev/null >/dev/null 2>&1

paths=("$app_dir\\$APP.exe" "$app_dir\\$APP.chm" "$app_dir\\Kestrane.exe" "$app_dir"
       "$desktop\\$APP.lnk" "$programs\\$APP.lnk")
keys=("$uninstall_key" "$settings_key")
show_state() {
    for path in "${paths[@]}"; do
        if [ -e "$(unix "$path")" ]; then echo "  present  $path"; else echo "  removed  $path"; fi
    done
    for key in "${keys[@]}"; do
        if wine reg query "$key" </dev/null >/dev/null 2>&1; then echo "  present  $key"; else echo "  removed  $key"; fi
    done
}
show_state

echo
echo "== Running Kestrane.exe from the application folder, as its uninstall entry would"
set +e
if [ "$driver" = null ]; then
    wine "$BUILD_DIR/tests/e2e/BoxDriver.exe" "$app_dir\\Kestrane.exe" "$ARGUMENT" </dev/null 2>/dev/null | tr -d '\r'
    code=${PIPESTATUS[0]}
else
    echo "Answer the boxes on your display."
    wine "$app_dir\\Kestrane.exe" "$APP/NULL" </dev/null
    code=$?
    echo "exit code $code"
fi
set -e

echo
echo "== After the uninstall"
show_state
echo "  registered for deletion at the next restart:"
wine reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations </dev/null 2>/dev/null \
    | tr -d '\r' | grep -o '\\??\\[^\\]*\\.*' | sed 's/\\0/\n/g' | grep -v '^$' | sed 's/^/    /' || echo "    nothing"

echo
echo "== After a simulated restart of the prefix (wineboot -r)"
wine wineboot -r </dev/null >/dev/null 2>&1 || true
show_state
exit "$code"
