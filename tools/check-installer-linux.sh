#!/usr/bin/env bash
# check-installer-linux.sh [options] SETUP.exe [INSTALLER ARGUMENTS...]
# Runs CheckInstaller.exe, the one beside this script (as in the release zip) or
# $KESTRANE_CHECK_EXE, on an installer in a throwaway Wine prefix, on Debian 12 or 13. It
# installs Debian's Wine when missing; the check itself is the Windows program, which under
# Wine restarts the prefix by itself to see what a restart leaves.
#
# Sourced (as tools/common.sh does), it only defines its functions: the throwaway prefix and
# the packages are the project's too, and this file ships alone in the release, so it holds them.
set -euo pipefail

# Installs the Debian packages named that are missing, with apt.
need_packages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    if ! command -v apt-get >/dev/null || ! command -v dpkg-query >/dev/null; then
        echo "Debian's packages ${missing[*]} are needed, and this machine has no apt to install them: it must be Debian 12 or 13" >&2
        return 1
    fi
    local sudo=""
    if [ "$(id -u)" -ne 0 ]; then
        command -v sudo >/dev/null || {
            echo "Debian's packages ${missing[*]} are needed: run as root, or install sudo, to install them" >&2
            return 1
        }
        sudo=sudo
    fi
    echo "Installing Debian packages: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

# Starts a fresh prefix in $1 with the null display driver, so message boxes
# are real windows that our driver can answer without a screen.
start_prefix() {
    local dir=$1 driver=${2:-null}
    # Made afresh each time, so only a folder that holds nothing, or an earlier prefix, goes.
    if [ -d "$dir" ] && [ ! -d "$dir/prefix" ] && [ ! -d "$dir/home" ] && [ -n "$(ls -A "$dir")" ]; then
        echo "$dir is no throwaway Wine prefix of an earlier check, and is not empty: it is left as it is. Name another folder." >&2
        return 1
    fi
    rm -rf "$dir"
    mkdir -p "$dir/home"
    export WINEPREFIX="$dir/prefix" HOME="$dir/home" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    wineboot -i </dev/null >/dev/null 2>&1
    if [ "$driver" = null ]; then
        wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
    else
        # Debian's Wine does not find its own fonts: without Marlett the close
        # button of every box shows a letter "r".
        need_packages fonts-wine
        cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    fi
    wineserver -k 2>/dev/null || true
    # Wine's background services must not inherit a test's output pipe.
    wineserver -p
    wine cmd /c exit </dev/null >/dev/null 2>&1
    trap stop_prefix EXIT
}

stop_prefix() {
    [ -n "${WINEPREFIX:-}" ] && wineserver -k 2>/dev/null || true
}

# Z:\ path of a Unix path, as Windows programs under Wine see it.
windows_path() {
    printf 'Z:%s' "$(printf '%s' "$1" | tr / '\\')"
}

check_usage() {
    cat <<END
usage: ${KESTRANE_CHECK_COMMAND:-bash check-installer-linux.sh} [options] SETUP.exe [INSTALLER ARGUMENTS...]
  Installs SETUP.exe in a throwaway Wine prefix (silently: its kind's switches unless other arguments
  follow it), checks it with CheckInstaller.exe, uninstalls it through the entry it
  registered, and shows what is left, before and after a restart of the prefix.
options:
  --interactive      with a display, you answer Kestrane's boxes yourself
  --limit SECONDS    how long the installer, the uninstall and the reinstall may each run
                     (1 to 86400, default 300)
  --watch SECONDS    accepted as before (0 to 600) and passed on; the check waits for
                     nothing: it reads again after the uninstall what the install changed
  --install-wine32   a 32-bit installer needs Wine's 32-bit side: install it without
                     asking (also KESTRANE_INSTALL_WINE32=1)
  --json FILE        also writes the report for machines (UTF-8 JSON), with what is left
                     after a restart of the prefix as "afterRestart"
  --beside PROGRAM   runs the Windows program PROGRAM in the prefix for the whole check,
                     as a machine that changes by itself (the check's own test)
exit codes: 0 no problem found and nothing left, 1 a problem found or something left,
            2 the check could not run
The check:  CheckInstaller.exe beside this script, or \$KESTRANE_CHECK_EXE.
The prefix: the folder check-installer beside CheckInstaller.exe, or \$KESTRANE_CHECK_DIR;
            about 700 MB, made afresh on every run and kept after it.
Needs Debian 12 or 13, run as root or with sudo. What it may install: Debian's wine and
wine64 when missing, fonts-wine with --interactive, and for a 32-bit installer, after saying
what that changes, Wine's 32-bit side (the i386 architecture and wine32).
END
}

# A wrong command line is said at once, naming the option and what it takes, before any prefix.
refuse_arguments() {
    echo "${KESTRANE_CHECK_COMMAND:-check-installer-linux.sh}: $*" >&2
    exit 2
}

# Seconds, a whole number from LOWEST to LONGEST: as the check reads them.
need_seconds() {
    local option=$1 value=$2 lowest=$3 longest=$4
    if ! [[ $value =~ ^[0-9]{1,6}$ ]] || [ "$((10#$value))" -lt "$lowest" ] || [ "$((10#$value))" -gt "$longest" ]; then
        refuse_arguments "$option takes a whole number of seconds from $lowest to $longest, not '$value'"
    fi
}

# Sets the options' variables; ends at once on --help or a wrong command line.
parse_check_arguments() {
    interactive=0 install_wine32=${KESTRANE_INSTALL_WINE32:-0} check_options=() json= beside=
    local limit=${KESTRANE_CHECK_INSTALL_TIMEOUT:-}
    while [ $# -gt 0 ]; do
        case $1 in
        --interactive) interactive=1; shift ;;
        --install-wine32) install_wine32=1; shift ;;
        --limit) [ $# -ge 2 ] || refuse_arguments "--limit needs a number of seconds, from 1 to 86400"
                 need_seconds --limit "$2" 1 86400; limit=$2; shift 2 ;;
        --watch) [ $# -ge 2 ] || refuse_arguments "--watch needs a number of seconds, from 0 to 600"
                 need_seconds --watch "$2" 0 600; check_options+=(--watch "$2"); shift 2 ;;
        --json) [ $# -ge 2 ] || refuse_arguments "--json needs the name of the file to write"
                [ ! -d "$2" ] || refuse_arguments "--json names a folder, $2: name the file to write"
                json=$(realpath -m -- "$2"); shift 2 ;;
        --beside) [ $# -ge 2 ] || refuse_arguments "--beside needs a Windows program"
                  [ -f "$2" ] || refuse_arguments "--beside names no file: $2"
                  beside=$(realpath -m -- "$2"); shift 2 ;;
        -h|--help) check_usage; exit 0 ;;
        --) shift; break ;;
        -*) refuse_arguments "unknown option $1" ;;
        *) break ;;
        esac
    done
    [ $# -ge 1 ] || { check_usage >&2; exit 2; }
    [ -e "$1" ] || refuse_arguments "no such file: $1"
    [ ! -d "$1" ] || refuse_arguments "$1 is a folder: name the installer in it"
    setup=$(realpath -m -- "$1")
    shift
    installer_arguments=("$@")
    [ -z "$limit" ] || need_seconds "--limit (KESTRANE_CHECK_INSTALL_TIMEOUT)" "$limit" 1 86400
    [ -z "$limit" ] || check_options+=(--limit "$limit")
}

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
        { LC_ALL=C "${apt[@]}" install --no-install-recommends --assume-no wine32:i386 2>/dev/null || true; } | awk '
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

# Whatever fails before the check has its say is the check not running: exit code 2.
cannot_run() {
    echo "check-installer-linux.sh: $*" >&2
    exit 2
}

run_check() {
    parse_check_arguments "$@"
    local here
    here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
    CHECK=$(realpath -m -- "${KESTRANE_CHECK_EXE:-$here/CheckInstaller.exe}")
    [ -f "$CHECK" ] || cannot_run "no $CHECK: keep this script beside the CheckInstaller.exe of the same release zip, or name it in KESTRANE_CHECK_EXE"
    [ -e "$setup" ] || cannot_run "no such file: $setup"
    WORK=$(realpath -m -- "${KESTRANE_CHECK_DIR:-$(dirname "$CHECK")/check-installer}")
    set -E
    trap 'cannot_run "failed at line $LINENO of $(basename "${BASH_SOURCE[0]}") (exit code $?)"' ERR
    # Wine takes its code page from the locale: names outside ASCII must reach it
    # and come back intact.
    export LC_ALL=C.UTF-8

    if command -v apt-get >/dev/null; then
        need_packages wine wine64 || cannot_run "Wine is needed, and could not be installed"
    fi
    for command in wine wineboot wineserver; do
        command -v "$command" >/dev/null || cannot_run "no $command: this needs Wine, Debian's wine and wine64"
    done

    local driver=null
    if [ "$interactive" -eq 1 ]; then
        if [ -n "${DISPLAY:-}" ]; then driver=x11; check_options+=(--interactive); else echo "   No display: the boxes are answered by the check."; fi
    fi
    start_prefix "$WORK" "$driver" || cannot_run "could not start the throwaway Wine prefix in $WORK"
    # Wine would mirror shortcuts as Linux menu entries in the throwaway home: no
    # part of the Windows installation, so not made at all.
    export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

    check() { wine "$CHECK" "$@" </dev/null 2>/dev/null; }

    # A Wine without its 32-bit side leaves syswow64 empty, and a 32-bit program
    # then ends at once, with exit code 0, having done nothing.
    local machine=
    [ ! -f "$setup" ] || machine=$(check --machine "$(windows_path "$setup")" || true)
    if [ "$machine" = x86 ] && [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
        echo "== $(basename "$setup") is a 32-bit installer, and this Wine has no 32-bit side."
        consent_to_wine32 || exit 2
        stop_prefix
        add_wine32 || cannot_run "Wine's 32-bit side could not be installed"
        start_prefix "$WORK" "$driver" || cannot_run "could not start the throwaway Wine prefix in $WORK"
        export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
    fi

    # On a hosted runner the check adds its summary to the job's, a Linux file.
    if [[ ${GITHUB_STEP_SUMMARY:-} == /* ]]; then
        GITHUB_STEP_SUMMARY=$(windows_path "$GITHUB_STEP_SUMMARY")
        export GITHUB_STEP_SUMMARY
    fi
    local state=$WORK/check.state json_options=() code=0
    [ -z "$json" ] || json_options=(--json "$(windows_path "$json")")
    echo "== The throwaway Wine prefix: $WORK"
    if [ -n "$beside" ]; then
        { wine "$beside" </dev/null >/dev/null 2>&1 || true; } &
        # Its first writes land before the check first looks.
        sleep 2
    fi
    # The check restarts the prefix itself (wineboot -r), as a restart of Windows would carry out
    # the deletions pending for it: once after the uninstall, once after the reinstall.
    check "${check_options[@]}" "${json_options[@]}" --state "$(windows_path "$state")" -- \
        "$(windows_path "$setup")" "${installer_arguments[@]}" || code=$?
    exit "$code"
}

# Run, not sourced.
[ "${BASH_SOURCE[0]}" != "$0" ] || run_check "$@"
