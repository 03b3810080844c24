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
                     after a restart of the prefix as "afterRestart"; its folder must exist
  --beside PROGRAM   runs the Windows program PROGRAM in the prefix for the whole check,
                     as a machine that changes by itself (the check's own test)
exit codes: 0 no problem found and nothing left, 1 a problem found or something left,
            2 the check could not run, or did not write the report or summary asked for
The check's own options --settle, --state, --budget, --after-restart, --machine and
--as-on-windows are not the runner's: it keeps the state in the prefix, and restarts the prefix itself.
The check:  CheckInstaller.exe beside this script, or \$KESTRANE_CHECK_EXE.
The prefix: the folder check-installer beside CheckInstaller.exe, or \$KESTRANE_CHECK_DIR;
            about 700 MB, made afresh on every run and kept after it.
Needs Debian 12 or 13, run as root or with sudo. What it may install: Debian's wine and
wine64 when missing, fonts-wine with --interactive, and for a 32-bit installer, after saying
what that changes, Wine's 32-bit side (the i386 architecture and wine32), only when apt
removes and downgrades nothing for it; if the install fails, the i386 architecture goes again.
END
}

# A wrong command line is said at once, naming the option and what it takes, before any prefix.
refuse_arguments() {
    echo "${KESTRANE_CHECK_COMMAND:-check-installer-linux.sh}: $*" >&2
    exit 2
}

# Why FILE cannot be written, if it cannot: said before anything is installed, so that a job
# never runs a whole check to end without the report it asked for.
unwritable_file() {
    local file=$1 folder
    folder=$(dirname -- "$file")
    if [ ! -e "$folder" ]; then
        echo "the folder $folder does not exist: make it first, or name another"
    elif [ ! -d "$folder" ]; then
        echo "$folder is not a folder"
    elif [ ! -w "$folder" ] || [ ! -x "$folder" ]; then
        echo "the folder $folder is not writable"
    elif [ -e "$file" ] && { [ ! -f "$file" ] || [ ! -w "$file" ]; }; then
        echo "$file is there and cannot be written"
    else
        return 0
    fi
    return 1
}

# Why FOLDER cannot hold the throwaway prefix, if it cannot: start_prefix makes it afresh, so it
# must be missing, empty or an earlier prefix, under a folder this run may write to.
unfit_prefix_folder() {
    local dir=$1 parent
    if [ -e "$dir" ]; then
        if [ ! -d "$dir" ]; then
            echo "it is a file"; return 1
        elif [ ! -d "$dir/prefix" ] && [ ! -d "$dir/home" ] && [ -n "$(ls -A -- "$dir")" ]; then
            echo "it is no throwaway Wine prefix of an earlier check, and is not empty: it is left as it is"; return 1
        fi
    fi
    parent=$dir
    while [ ! -e "$parent" ]; do parent=$(dirname -- "$parent"); done
    if [ ! -d "$parent" ] || [ ! -w "$parent" ] || [ ! -x "$parent" ]; then
        echo "$parent is not a folder this run can write to"; return 1
    fi
}

# The Unix path of a path as the runner or a Windows program gives it (Z:\...).
unix_path() {
    case $1 in
    [Zz]:\\*) printf '%s' "${1:2}" | tr '\\' / ;;
    *) realpath -m -- "$1" ;;
    esac
}

# A Windows program starts with the DOS header, whose e_lfanew points at "PE\0\0": the header
# CheckInstaller.exe reads too, here before any prefix is made. The check has the last word.
windows_program() {
    local offset
    [ "$(head -c 2 -- "$1" 2>/dev/null)" = MZ ] || return 1
    offset=$(od -An -t u4 -j 60 -N 4 -- "$1" 2>/dev/null | tr -d ' ')
    [ -n "$offset" ] && [ "$(od -An -c -j "$offset" -N 4 -- "$1" 2>/dev/null | tr -d ' ')" = 'PE\0\0' ]
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
    local limit=${KESTRANE_CHECK_INSTALL_TIMEOUT:-} why
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
                why=$(unwritable_file "$2") || refuse_arguments "--json $2: $why"
                json=$(realpath -m -- "$2"); shift 2 ;;
        --beside) [ $# -ge 2 ] || refuse_arguments "--beside needs a Windows program"
                  [ -f "$2" ] || refuse_arguments "--beside names no file: $2"
                  beside=$(realpath -m -- "$2"); shift 2 ;;
        -h|--help) check_usage; exit 0 ;;
        --) shift; break ;;
        --settle|--state|--budget|--after-restart|--machine|--as-on-windows)
            refuse_arguments "$1 is an option of CheckInstaller.exe on Windows, not of this runner (--help lists the runner's)" ;;
        -*) refuse_arguments "unknown option $1" ;;
        *) break ;;
        esac
    done
    [ $# -ge 1 ] || { check_usage >&2; exit 2; }
    [ -e "$1" ] || refuse_arguments "no such file: $1"
    [ ! -d "$1" ] || refuse_arguments "$1 is a folder: name the installer in it"
    windows_program "$1" || refuse_arguments "$1 is not a Windows program (no PE header): name the installer itself"
    setup=$(realpath -m -- "$1")
    shift
    installer_arguments=("$@")
    [ -z "$limit" ] || need_seconds "--limit (KESTRANE_CHECK_INSTALL_TIMEOUT)" "$limit" 1 86400
    [ -z "$limit" ] || check_options+=(--limit "$limit")
}

# Wine's 32-bit side may only add to the machine: apt is asked first, with package lists of its
# own (no file of the machine's apt or dpkg changes for asking), and a plan that removes or
# downgrades anything is refused. Each failure is one line, on what failed and what changed.
apt_private() {
    LC_ALL=C apt-get -o "Dir::State::Lists=$wine32_lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= \
        -o APT::Sandbox::User=root -o APT::Architectures::=amd64 -o APT::Architectures::=i386 "$@"
}

# The line of apt's that says why, from its output in $1: a failed fetch names the file and why.
apt_reason() {
    local line
    line=$(grep -m1 -E '^[EW]: Failed to fetch ' <<<"$1" || grep -m1 -E '^(E:|Err:|W: Some index files)' <<<"$1" ||
        echo "apt said nothing of why")
    printf '%s' "${line:0:300}"
}

# apt-get update, as given, fetched every list: apt ends with 0 when the network fails
# (a warning), so its words count too.
lists_fetched() {
    local output code=0
    output=$("$@" update 2>&1) || code=$?
    fetch_reason=$(apt_reason "$output")
    [ "$code" -eq 0 ] && ! grep -qE '^(E:|Err:|W: Failed to fetch|W: Some index files)' <<<"$output"
}

# The plan of apt-get -s install, as given, for wine32:i386, in $plan; false when apt has none,
# or when it removes or downgrades a package (named in $taken).
plan_adds_only() {
    local code=0
    plan=$("$@" -s install --no-install-recommends wine32:i386 2>&1) || code=$?
    if [ "$code" -ne 0 ]; then
        taken= plan_reason="apt has no way to install it: $(apt_reason "$plan")"
        return 1
    fi
    taken=$(awk '/^Remv / { print $2 }
                 /^The following packages will be DOWNGRADED:/ { on = 1; next }
                 on && /^  / { for (i = 1; i <= NF; i++) print $i " (downgraded)"; next }
                 { on = 0 }' <<<"$plan" | sort -u | tr '\n' ' ' | sed 's/ $//')
    plan_reason="apt would take away $taken"
    [ -z "$taken" ]
}

# Says what the plan in $plan adds: the new packages, the machine's packages it upgrades (their
# i386 twins must have the same versions), and apt's count.
describe_plan() {
    local new upgraded
    new=$(grep -c '^Inst [^ ]* (' <<<"$plan" || true)
    upgraded=$(sed -n 's/^Inst \([^ ]*\) \[.*/\1/p' <<<"$plan" | tr '\n' ' ' | sed 's/ $//')
    echo "     - $new package(s) installed: wine32:i386 and what it needs"
    [ -z "$upgraded" ] || echo "     - these installed packages are upgraded: $upgraded"
    grep -m1 -E '^[0-9]+ upgraded, ' <<<"$plan" | sed 's/^/     - apt: /' || true
}

# What Wine's 32-bit side would change, with lists of its own; ends the run when the lists cannot
# be fetched, or when the install would take anything away.
describe_wine32() {
    wine32_lists=$(mktemp -d)
    mkdir -p "$wine32_lists/partial"
    local fetched=1 adds=1
    lists_fetched apt_private || fetched=0
    [ "$fetched" -eq 0 ] || plan_adds_only apt_private || adds=0
    rm -rf "$wine32_lists"
    [ "$fetched" -eq 1 ] || cannot_run "apt could not fetch Debian's package lists ($fetch_reason): Wine's 32-bit side was not installed, and nothing on this machine was changed"
    [ "$adds" -eq 1 ] || cannot_run "Wine's 32-bit side was not installed, since $plan_reason; nothing on this machine was changed"
    echo "   Wine's 32-bit side is Debian's wine32:i386. Installing it would change this machine:"
    dpkg --print-foreign-architectures | grep -qx i386 \
        || echo "     - dpkg gets the i386 architecture (dpkg --add-architecture i386), and apt its package lists"
    describe_plan
}

# dpkg's i386 architecture out again, when this run added it; says what stays.
undo_wine32() {
    [ "$added_i386" -eq 1 ] || { echo "nothing on this machine was changed but apt's package lists"; return; }
    if $sudo dpkg --remove-architecture i386 >/dev/null 2>&1; then
        echo "dpkg's i386 architecture, which this run added, was taken out again: nothing on this machine was changed but apt's package lists"
    else
        echo "dpkg keeps the i386 architecture this run added, since i386 packages were installed before the failure (dpkg -l '*:i386' lists them)"
    fi
}

add_wine32() {
    sudo="" added_i386=0
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $sudo dpkg --add-architecture i386 || cannot_run "dpkg could not add the i386 architecture: nothing on this machine was changed"
        added_i386=1
    fi
    # apt's own lists now: they may differ from those it was asked with.
    lists_fetched $sudo env LC_ALL=C apt-get \
        || cannot_run "apt could not fetch Debian's package lists ($fetch_reason): Wine's 32-bit side was not installed; $(undo_wine32)"
    plan_adds_only $sudo env LC_ALL=C apt-get \
        || cannot_run "Wine's 32-bit side was not installed, since $plan_reason; $(undo_wine32)"
    local output
    # --no-remove: whatever apt decides now, it removes nothing.
    if ! output=$($sudo env DEBIAN_FRONTEND=noninteractive LC_ALL=C apt-get install -y -q --no-install-recommends --no-remove \
            wine32:i386 2>&1); then
        cannot_run "installing Wine's 32-bit side failed ($(apt_reason "$output")); $(undo_wine32)"
    fi
    echo "   Wine's 32-bit side is installed. Changed on this machine:"
    [ "$added_i386" -eq 0 ] || echo "     - dpkg's i386 architecture added"
    describe_plan
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
    # What this run writes is checked before anything is installed or made.
    local why summary=
    why=$(unfit_prefix_folder "$WORK") || cannot_run "the throwaway prefix's folder $WORK: $why (KESTRANE_CHECK_DIR names another)"
    if [ "${GITHUB_ACTIONS:-}" = true ] && [ -n "${GITHUB_STEP_SUMMARY:-}" ]; then
        summary=$(unix_path "$GITHUB_STEP_SUMMARY")
        why=$(unwritable_file "$summary") || cannot_run "the job's summary, GITHUB_STEP_SUMMARY=$GITHUB_STEP_SUMMARY: $why"
    fi
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
        add_wine32
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
    echo "== The throwaway Wine prefix: $WORK (about 700 MB, kept after the run: delete it when done; the next run makes it afresh)"
    if [ -n "$beside" ]; then
        { wine "$beside" </dev/null >/dev/null 2>&1 || true; } &
        # Its first writes land before the check first looks.
        sleep 2
    fi
    # The check restarts the prefix itself (wineboot -r), as a restart of Windows would carry out
    # the deletions pending for it: once after the uninstall, once after the reinstall.
    # A report left by an earlier run would pass for this one's.
    [ -z "$json" ] || rm -f -- "$json"
    local summary_size=0
    [ -z "$summary" ] || summary_size=$(stat -c %s -- "$summary" 2>/dev/null || echo 0)
    check "${check_options[@]}" "${json_options[@]}" --state "$(windows_path "$state")" -- \
        "$(windows_path "$setup")" "${installer_arguments[@]}" || code=$?
    # A verdict without what the caller asked for is no verdict: the job must not pass without it.
    if [ "$code" -lt 2 ] && [ -n "$json" ] && [ ! -s "$json" ]; then
        echo "check-installer-linux.sh: the check wrote no report to $json: exit code 2, not $code" >&2
        code=2
    fi
    if [ "$code" -lt 2 ] && [ -n "$summary" ] && [ "$(stat -c %s -- "$summary" 2>/dev/null || echo 0)" -le "$summary_size" ]; then
        echo "check-installer-linux.sh: the check added nothing to the job's summary $summary: exit code 2, not $code" >&2
        code=2
    fi
    exit "$code"
}

# Run, not sourced.
[ "${BASH_SOURCE[0]}" != "$0" ] || run_check "$@"
