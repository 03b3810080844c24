#!/usr/bin/env bash
# PendingCare.sh WORK SAMPLE_SETUP BROKEN_SETUP [INNO_SETUP|-]
# After Kestrane uninstalls, its own Kestrane.exe and the folder wait in the registry to be
# deleted at the next restart. The sample installers take the folder out of those pending
# operations before they install, and keep every other one; the broken variant, built
# without that care, leaves them, and a restart deletes the Kestrane.exe it has just
# installed. Under Wine, in a throwaway prefix in WORK; exit code 1 on any failed check.
set -uo pipefail
work=$1 sample=$2 broken=$3 inno=${4:--}
source "$(dirname "$0")/../../tools/common.sh"
set +e

key='HKLM\SYSTEM\CurrentControlSet\Control\Session Manager'
value=PendingFileRenameOperations
passed=0 failed=0

start_prefix "$work"
drive_c=$WINEPREFIX/drive_c
orbel="$drive_c/Program Files/Orbel"

# The value's pairs, one a line. A long path shows as its start and its length.
render() {
    tr '\0' '\n' | awk '
        function short(s) { return length(s) > 100 ? substr(s, 1, 60) "... (" length(s) " characters)" : s }
        ended { print "after the end: " short($0); next }
        !source_read && $0 == "" { print "(end)"; ended = 1; next }
        !source_read { source = $0; source_read = 1; next }
        { print short(source) ($0 == "" ? "  (delete)" : "  ->  " short($0)); source_read = 0 }
        END { if (source_read) print short(source) "  (no target)"; if (NR == 0) print "(no value)" }'
}
# set_pending STRING...: the value holds exactly these strings, then the empty one that ends it.
set_pending() {
    {
        printf 'Windows Registry Editor Version 5.00\r\n\r\n[%s]\r\n"%s"=hex(7):' \
            'HKEY_LOCAL_MACHINE\SYSTEM\CurrentControlSet\Control\Session Manager' "$value"
        { printf '%s\0' "$@"; printf '\0'; } | iconv -f UTF-8 -t UTF-16LE | od -An -v -tx1 | tr -s ' \n' ',' |
            sed 's/^,//; s/,$//'
        printf '\r\n'
    } | iconv -f UTF-8 -t UTF-16LE >"$work/pending.txt"
    # UTF-16 with its byte order mark: in a file of single bytes, Wine takes hex(7) as ANSI text.
    { printf '\xff\xfe'; cat "$work/pending.txt"; } >"$work/pending.reg"
    wine reg delete "$key" /v "$value" /f </dev/null >/dev/null 2>&1
    wine reg import "$(windows_path "$work/pending.reg")" </dev/null >/dev/null 2>&1
}
# The value's bytes as written, or nothing when there is no such value.
get_pending() {
    rm -f "$work/export.reg"
    wine reg export "$key" "$(windows_path "$work/export.reg")" /y </dev/null >/dev/null 2>&1 || return 1
    iconv -f UTF-16LE -t UTF-8 "$work/export.reg" | tr -d '\r' | awk -v name="\"$value\"=hex(7):" '
        index($0, name) == 1 { data = substr($0, length(name) + 1); more = 1 }
        more && index($0, name) != 1 { data = data $0 }
        more && !/\\$/ { more = 0; print data; exit }
        more { sub(/\\$/, "", data) }' | tr -d ' ,\\' | sed 's/\(..\)/\\x\1/g' >"$work/export.hex"
    printf '%b' "$(cat "$work/export.hex")" | iconv -f UTF-16LE -t UTF-8
}

expect_pending() { # WHAT STRING...: the value holds exactly these strings; none: no value
    local what=$1
    shift
    if [ "$#" -eq 0 ]; then
        : >"$work/expected"
    else
        { printf '%s\0' "$@"; printf '\0'; } >"$work/expected"
    fi
    get_pending >"$work/actual"
    if cmp -s "$work/expected" "$work/actual"; then
        return 0
    fi
    echo "$what: PendingFileRenameOperations, what it should hold (-) and what it holds (+):"
    diff -u <(render <"$work/expected") <(render <"$work/actual") | tail -n +3 | head -n 40
    return 1
}
check() { # WHAT COMMAND...
    local what=$1
    shift
    if "$@"; then
        passed=$((passed + 1))
        echo "ok: $what"
    else
        failed=$((failed + 1))
        echo "FAILED: $what"
    fi
}
exists() { [ -e "$drive_c/$1" ]; }
absent() { [ ! -e "$drive_c/$1" ]; }

# What Kestrane's uninstall leaves, in other letter cases too and as recent Windows writes
# it ("*1" first), with what others left: a file in a folder whose name only starts like
# Orbel's, and moves.
orbel_entries=(
    '\??\C:\Program Files\Orbel\Kestrane.exe' ''
    '\??\C:\Program Files\Orbel' ''
    '\??\c:\program files\ORBEL\Orbel.chm' ''
    '*1\??\C:\Program Files\Orbel\Kestrane.exe' ''
)
mixed=(
    '\??\C:\temp\first.tmp' ''
    '\??\C:\Program Files\Orbel\Kestrane.exe' ''
    '\??\C:\Program Files\OrbelX\keep.txt' ''
    '\??\C:\temp\a.tmp' '!\??\C:\temp\b.tmp'
    '\??\C:\Program Files\Orbel' ''
    '\??\c:\program files\ORBEL\Orbel.chm' ''
    '\??\C:\temp\new.exe' '!\??\C:\Program Files\Orbel\Orbel.exe'
    '\??\C:\Program Files\Orbel.exe' ''
    '*1\??\C:\Program Files\Orbel\Orbel.exe' ''
    '*2\??\C:\temp\second.tmp' ''
)
mixed_kept=(
    '\??\C:\temp\first.tmp' ''
    '\??\C:\Program Files\OrbelX\keep.txt' ''
    '\??\C:\temp\a.tmp' '!\??\C:\temp\b.tmp'
    '\??\C:\Program Files\Orbel.exe' ''
    '*2\??\C:\temp\second.tmp' ''
)
# Far longer than any string an installer's variable holds, in pieces and whole.
long_inside="\\??\\C:\\Program Files\\Orbel\\$(printf 'd%.0s' {1..9000})"
long_outside="\\??\\C:\\Program Files\\Orbel2\\$(printf 'k%.0s' {1..9000})"
large=() large_kept=()
for i in $(seq 1 600); do
    large+=("\\??\\C:\\ProgramData\\Updates\\package-$i\\payload-with-a-long-enough-name-$i.bin" '')
    large_kept+=("\\??\\C:\\ProgramData\\Updates\\package-$i\\payload-with-a-long-enough-name-$i.bin" '')
    if [ $((i % 150)) -eq 0 ]; then large+=("\\??\\C:\\Program Files\\Orbel\\old-$i.dll" ''); fi
done
large+=("$long_inside" '' "$long_outside" '' "${orbel_entries[@]}")
large_kept+=("$long_outside" '')

# install NAME SETUP ARGUMENT...: into no folder, so that the Kestrane.exe found is this
# install's.
install() {
    local name=$1 setup=$2
    shift 2
    rm -rf "$orbel"
    wine "$setup" "$@" </dev/null >/dev/null 2>&1
    local code=$?
    check "$name: installs (exit code $code)" test "$code" -eq 0
    check "$name: Kestrane.exe installed" exists 'Program Files/Orbel/Kestrane.exe'
}

# run_cases NAME CARE SETUP ARGUMENT...: CARE 1 if the installer takes the folder out, 0 if not.
run_cases() {
    local name=$1 care=$2
    shift 2
    echo "== $name"

    # Each case: the array of that name is the value before the install, CASE_kept what the
    # care leaves of it (empty: no value).
    local case
    for case in mixed large only_orbel; do
        local -n written=$case kept=${case}_kept
        set_pending "${written[@]}"
        # Else a value the installer should delete would pass for one it deleted.
        check "$name, $case: the value is there before the install" expect_pending "$name, $case" "${written[@]}"
        install "$name, $case" "$@"
        if [ "$care" -eq 1 ]; then
            check "$name, $case: Orbel's entries taken out, the others kept in order" \
                expect_pending "$name, $case" ${kept[@]+"${kept[@]}"}
        else
            check "$name, $case: every entry left as it was" expect_pending "$name, $case" "${written[@]}"
        fi
        unset -n written kept
    done

    echo "-- no value at all"
    wine reg delete "$key" /v "$value" /f </dev/null >/dev/null 2>&1
    install "$name, no value" "$@"
    check "$name, no value: still none" expect_pending "$name, no value"

    echo "-- a restart after an install over what an uninstall left pending"
    mkdir -p "$drive_c/temp" "$drive_c/Program Files/OrbelX"
    echo a >"$drive_c/temp/a.tmp"
    echo keep >"$drive_c/Program Files/OrbelX/keep.txt"
    set_pending "${mixed[@]}"
    check "$name, restart: the value is there before the install" expect_pending "$name, restart" "${mixed[@]}"
    install "$name, restart" "$@"
    wine wineboot -r </dev/null >/dev/null 2>&1
    # The entries kept were carried out: the restart did run the pending operations.
    check "$name, restart: a.tmp moved to b.tmp" exists temp/b.tmp
    check "$name, restart: OrbelX\\keep.txt deleted" absent 'Program Files/OrbelX/keep.txt'
    check "$name, restart: nothing left pending" expect_pending "$name, restart"
    if [ "$care" -eq 1 ]; then
        check "$name, restart: the new Kestrane.exe survives" exists 'Program Files/Orbel/Kestrane.exe'
        check "$name, restart: the new Orbel.chm survives" exists 'Program Files/Orbel/Orbel.chm'
    else
        check "$name, restart: the new Kestrane.exe is deleted" absent 'Program Files/Orbel/Kestrane.exe'
        check "$name, restart: the new Orbel.chm is deleted" absent 'Program Files/Orbel/Orbel.chm'
    fi
    rm -rf "$drive_c/temp" "$drive_c/Program Files/OrbelX"
}
only_orbel=("${orbel_entries[@]}")
only_orbel_kept=()

start=$SECONDS
run_cases "NSIS sample" 1 "$sample" /S
run_cases "NSIS broken variant" 0 "$broken" /S
if [ "$inno" != - ]; then
    run_cases "Inno Setup sample" 1 "$inno" /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP-
else
    echo "== Inno Setup sample: skipped, not built here"
fi
echo "($((SECONDS - start)) s)"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
