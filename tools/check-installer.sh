#!/usr/bin/env bash
# check-installer.sh [--interactive] [--install-wine32] [--limit SECONDS] SETUP.exe [INSTALLER ARGUMENTS...]
# Runs CheckInstaller.exe on an installer in a throwaway Wine prefix; under Wine the check
# restarts the prefix itself to see what is left after a restart. The check itself is the
# Windows program; this only prepares Wine for it.
usage() {
    cat <<'END'
usage: bash tools/check-installer.sh [options] SETUP.exe [INSTALLER ARGUMENTS...]
  Installs SETUP.exe in a throwaway Wine prefix (silently: its kind's switches unless other arguments
  follow it), checks it with CheckInstaller.exe, uninstalls it through the entry it
  registered, and shows what is left, before and after a restart of the prefix.
options:
  --interactive      with a display, you answer Kestrane's boxes yourself
  --limit SECONDS    how long the installer, the uninstall and the reinstall may each run
                     (default 300)
  --watch SECONDS    how long the check may watch what may change by itself (default 12)
  --install-wine32   a 32-bit installer needs Wine's 32-bit side: install it without
                     asking (also KESTRANE_INSTALL_WINE32=1)
  --json FILE        also writes the report for machines (UTF-8 JSON), with what is left
                     after a restart of the prefix as "afterRestart"
  --beside PROGRAM   runs the Windows program PROGRAM in the prefix for the whole check,
                     as a machine that changes by itself (the check's own test)
exit codes: 0 no problem found and nothing left, 1 a problem found or something left,
            2 the check could not run
What it may install: the Debian packages the build needs, and for a 32-bit installer,
after saying what that changes, Wine's 32-bit side (the i386 architecture and wine32).
END
}
interactive=0 install_wine32=${KESTRANE_INSTALL_WINE32:-0} check_options=() json= beside=
limit=${KESTRANE_CHECK_INSTALL_TIMEOUT:-}
while [ $# -gt 0 ]; do
    case $1 in
    --interactive) interactive=1; shift ;;
    --install-wine32) install_wine32=1; shift ;;
    --limit) [ $# -ge 2 ] || { usage >&2; exit 2; }; limit=$2; shift 2 ;;
    --watch) [ $# -ge 2 ] || { usage >&2; exit 2; }; check_options+=(--watch "$2"); shift 2 ;;
    --json) [ $# -ge 2 ] || { usage >&2; exit 2; }; json=$(realpath -m -- "$2"); shift 2 ;;
    --beside) [ $# -ge 2 ] || { usage >&2; exit 2; }; beside=$(realpath -m -- "$2"); shift 2 ;;
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
    -*) usage >&2; exit 2 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { usage >&2; exit 2; }
setup=$(realpath -m -- "$1")
shift
[ -z "$limit" ] || check_options+=(--limit "$limit")

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# Wine takes its code page from the locale: names outside ASCII must reach it
# and come back intact.
export LC_ALL=C.UTF-8
# The project's own test has built everything already.
[ -n "${KESTRANE_PREBUILT:-}" ] || { install_build_packages; build_all; }
WORK=${KESTRANE_CHECK_DIR:-$BUILD_DIR/check-installer}
CHECK=$BUILD_DIR/CheckInstaller.exe
[ -f "$CHECK" ] || { echo "No $CHECK: build it with bash tools/build.sh" >&2; exit 2; }
[ -e "$setup" ] || { echo "No such file: $setup" >&2; exit 2; }

# What Wine's 32-bit side would change, read from apt with lists of its own, so that
# asking changes nothing.
describe_wine32() {
    local lists
    lists=$(mktemp -d)
    mkdir -p "$lists/partial"
    local apt=(apt-get -o "Dir::State::Lists=$lists" -o APT::Sandbox::User=root
               -o APT::Architectures::=amd64 -o APT::Architectures::=i386)
    echo "   Wine's 32-bit side is Debian's wine32:i386. Installing it would change this machine:"
    dpkg --print-foreign-architectures | grep -qx i386 \
        || echo "     - dpkg gets the i386 architecture (dpkg --add-architecture i386), and apt its package lists"
    if "${apt[@]}" -qq update >/dev/null 2>&1; then
        # apt's own summary, with the names of the machine's packages it would upgrade: their
        # new i386 twins must have the same versions.
        LC_ALL=C "${apt[@]}" install --no-install-recommends --assume-no wine32:i386 2>/dev/null | awk '
            /^The following packages will be upgraded:/ { print "     - these installed packages are upgraded:"; list = 1; next }
            /^  / && list { print "     " $0; next }
            { list = 0 }
            /^[0-9]+ upgraded, |^Need to get |^After this operation/ { print "     - " $0 }'

    else
        echo "     - the packages cannot be counted now: apt could not read Debian's lists"
    fi
    rm -rf "$lists"
}

add_wine32() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
}

# Asks on a terminal; elsewhere only the option or the setting says yes.
consent_to_wine32() {
    describe_wine32
    [ "$install_wine32" = 1 ] && return 0
    if [ -t 0 ] && [ -t 1 ]; then
        local answer
        read -r -p "   Install it now? [y/N] " answer
        case $answer in [yY]*) return 0 ;; esac
        return 1
    fi
    echo "   Not installed: no terminal to ask. Give --install-wine32, or set KESTRANE_INSTALL_WINE32=1." >&2
    return 1
}

driver=null
if [ "$interactive" -eq 1 ]; then
    if [ -n "${DISPLAY:-}" ]; then driver=x11; check_options+=(--interactive); else echo "   No display: the boxes are answered by the check."; fi
fi
start_prefix "$WORK" "$driver"
# Wine would mirror shortcuts as Linux menu entries in the throwaway home: no
# part of the Windows installation, so not made at all.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

check() { wine "$CHECK" "$@" </dev/null 2>/dev/null; }

# A Wine without its 32-bit side leaves syswow64 empty, and a 32-bit program
# then ends at once, with exit code 0, having done nothing.
if [ -f "$setup" ] && [ "$(check --machine "$(windows_path "$setup")")" = x86 ] \
    && [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "== $(basename "$setup") is a 32-bit installer, and this Wine has no 32-bit side."
    consent_to_wine32 || exit 2
    stop_prefix
    add_wine32
    start_prefix "$WORK" "$driver"
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
fi

state=$WORK/check.state
json_options=()
[ -z "$json" ] || json_options=(--json "$(windows_path "$json")")
echo "== The throwaway Wine prefix: ${WORK#"$KESTRANE_ROOT/"}"
if [ -n "$beside" ]; then
    wine "$beside" </dev/null >/dev/null 2>&1 &
    # Its first writes land before the check first looks.
    sleep 2
fi
# The check restarts the prefix itself (wineboot -r), as a restart of Windows would carry out
# the deletions pending for it: once after the uninstall, once after the reinstall.
check "${check_options[@]}" "${json_options[@]}" --state "$(windows_path "$state")" -- "$(windows_path "$setup")" "$@"
