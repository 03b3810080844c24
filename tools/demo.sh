#!/usr/bin/env bash
# Builds Kestrane.exe and the installer of a sample application, "Orbel"
# (examples/nsis), installs Orbel silently in a throwaway Wine prefix, then
# uninstalls it through the command line its installer registered, as Windows
# does. With a display you answer the boxes yourself; without one they are
# answered OK and printed.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_build_packages
build_all

APP=Orbel
driver=null
[ -n "${DISPLAY:-}" ] && driver=x11
start_prefix "$BUILD_DIR/wine-demo" "$driver"
# Wine would mirror the shortcuts as Linux menu entries in the throwaway home:
# no part of the Windows installation, so not made at all.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

winenv() { wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r'; }
app_dir="$(winenv ProgramFiles)\\$APP"
desktop="$(winenv USERPROFILE)\\Desktop"
programs="$(winenv APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs"
uninstall_key="HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\$APP"
settings_key="HKCU\\Software\\$APP"
unix() { winepath -u "$1" 2>/dev/null; }
# The 64-bit view, where a 64-bit installer writes and Windows lists uninstall entries.
reg_query() { wine reg query "$@" /reg:64 </dev/null 2>/dev/null | tr -d '\r'; }

paths=("$app_dir\\$APP.exe" "$app_dir\\$APP.chm" "$app_dir\\Kestrane.exe" "$app_dir"
       "$desktop\\$APP.lnk" "$programs\\$APP.lnk")
keys=("$uninstall_key" "$settings_key")
left=0
show_state() {
    left=0
    for path in "${paths[@]}"; do
        if [ -e "$(unix "$path")" ]; then echo "  present  $path"; left=$((left + 1)); else echo "  removed  $path"; fi
    done
    for key in "${keys[@]}"; do
        if reg_query "$key" >/dev/null; then echo "  present  $key"; left=$((left + 1)); else echo "  removed  $key"; fi
    done
}

echo "== Installing $APP in $WINEPREFIX with its installer, silently: OrbelSetup.exe /S"
if ! wine "$BUILD_DIR/OrbelSetup.exe" /S </dev/null >/dev/null 2>&1; then
    echo "The installer failed." >&2
    exit 1
fi
show_state
echo "  its uninstall entry:"
reg_query "$uninstall_key" | grep '^    ' | sed 's/^ */    /'

uninstall_string=$(reg_query "$uninstall_key" /v UninstallString | sed -n 's/^    UninstallString    REG_SZ    //p')
if [ -z "$uninstall_string" ]; then
    echo "The installer registered no UninstallString." >&2
    exit 1
fi

echo
echo "== Uninstalling: starting the registered UninstallString, as Windows does"
set +e
if [ "$driver" = null ]; then
    wine "$BUILD_DIR/tests/e2e/BoxDriver.exe" --command-line "$uninstall_string" </dev/null 2>/dev/null | tr -d '\r'
else
    echo "Answer the boxes on your display."
    wine "$BUILD_DIR/tests/e2e/BoxDriver.exe" --command-line "$uninstall_string" user </dev/null 2>/dev/null | tr -d '\r'
fi
code=${PIPESTATUS[0]}
set -e

echo
echo "== After the uninstall"
show_state
echo "  registered for deletion at the next restart:"
reg_query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
    | grep -o '\\??\\[^\\]*\\.*' | sed 's/\\0/\n/g' | grep -v '^$' | sed 's/^/    /' || echo "    nothing"

echo
echo "== After a simulated restart of the prefix (wineboot -r)"
wine wineboot -r </dev/null >/dev/null 2>&1 || true
show_state
if [ "$left" -eq 0 ]; then
    echo "Nothing of $APP is left."
else
    echo "$left item(s) of $APP are left."
    # Unattended, every box was answered OK: something left is a failure.
    [ "$driver" != null ] || [ "$code" -ne 0 ] || code=1
fi
exit "$code"
