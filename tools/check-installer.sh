#!/usr/bin/env bash
# check-installer.sh [--interactive] SETUP.exe [INSTALLER ARGUMENTS...]
# Installs an application with its own installer (silently: /S unless other
# arguments are given) in a throwaway Wine prefix, checks what it installed
# against what Kestrane removes, one "ok" or "problem" line per finding, then
# starts the UninstallString it registered, as Windows does, and shows what is
# left, what waits for the next restart, and what is left after a simulated
# restart. Exit code 0 only when no problem was found and nothing of the
# application is left; 1 otherwise; 2 when the check itself could not run.
usage() {
    echo "usage: bash tools/check-installer.sh [--interactive] SETUP.exe [INSTALLER ARGUMENTS...]"
    echo "  The installer's arguments default to /S (silent). Every box is answered OK and"
    echo "  printed, unless --interactive is given and a display is set: then you answer them."
}
interactive=0
while [ $# -gt 0 ]; do
    case $1 in
    --interactive) interactive=1; shift ;;
    -h|--help) usage; exit 0 ;;
    --) shift; break ;;
    -*) usage >&2; exit 2 ;;
    *) break ;;
    esac
done
[ $# -ge 1 ] || { usage >&2; exit 2; }
setup=$(realpath -m -- "$1")
shift
installer_args=("$@")
[ ${#installer_args[@]} -gt 0 ] || installer_args=(/S)

source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
# Wine takes its code page from the locale: names outside ASCII must reach it
# and come back intact.
export LC_ALL=C.UTF-8
# The project's own test has built everything already.
[ -n "${KESTRANE_PREBUILT:-}" ] || { install_build_packages; build_all; }
WORK=${KESTRANE_CHECK_DIR:-$BUILD_DIR/check-installer}
setup_name=$(basename "$setup")

fail() { echo "$*" >&2; exit 2; }
[ -f "$setup" ] || fail "No such file: $setup"

# The machine field of the PE header.
pe_machine() {
    local offset
    [ "$(head -c 2 "$1")" = MZ ] || return 1
    offset=$(od -An -tu4 -j 60 -N 4 "$1" | tr -d ' ')
    [ "$(od -An -tx1 -j "$offset" -N 4 "$1" | tr -d ' ')" = 50450000 ] || return 1
    case $(od -An -tx1 -j $((offset + 4)) -N 2 "$1" | tr -d ' ') in
    6486) echo x86-64 ;;
    4c01) echo x86 ;;
    64aa) echo arm64 ;;
    *) echo "another processor" ;;
    esac
}

# Debian's wine32 is an i386 package: that architecture comes first.
install_wine32() {
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
}

machine=$(pe_machine "$setup") || fail "$setup_name is not a Windows program."
case $machine in
x86-64) echo "== $setup_name is a 64-bit installer (x86-64): it runs here as it is." ;;
x86) echo "== $setup_name is a 32-bit installer (x86): it needs Wine's 32-bit side." ;;
*) fail "$setup_name is a Windows program for $machine: Wine cannot run it on this machine." ;;
esac

driver=null
if [ "$interactive" -eq 1 ]; then
    if [ -n "${DISPLAY:-}" ]; then driver=x11; else echo "   No display: the boxes are answered OK."; fi
fi
start_prefix "$WORK" "$driver"
# A Wine without its 32-bit side leaves syswow64 empty, and a 32-bit program
# then ends at once, with exit code 0, having done nothing.
if [ "$machine" = x86 ] && [ ! -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
    echo "   This Wine has no 32-bit side: installing Debian's wine32 and the i386 libraries it needs first."
    stop_prefix
    install_wine32
    start_prefix "$WORK" "$driver"
    [ -e "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] || fail "Wine's 32-bit side is still missing."
fi
# Wine would mirror shortcuts as Linux menu entries in the throwaway home: no
# part of the Windows installation, so not made at all.
export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"

winenv() { wine cmd /c echo "%$1%" </dev/null 2>/dev/null | tr -d '\r'; }
program_files=$(winenv ProgramW6432)
desktop="$(winenv USERPROFILE)\\Desktop"
programs="$(winenv APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs"
drive_c="$WINEPREFIX/drive_c"
desktop_unix=$(winepath -u "$desktop" 2>/dev/null)
UNINSTALL='HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall'

lower() { printf '%s' "$1" | tr '[:upper:]' '[:lower:]'; }
same_path() { [ "$(lower "$1")" = "$(lower "$2")" ]; }
unix_of() {
    case $1 in
    "$desktop\\"*) printf '%s/%s' "$desktop_unix" "${1#"$desktop\\"}" ;;
    *) printf '%s/%s' "$drive_c" "$(printf '%s' "${1#C:\\}" | tr '\\' /)" ;;
    esac
}

# Every file and folder of the Windows side as Windows names it, but Wine's
# temporary folders. The desktop is a link into the throwaway home.
snapshot_files() {
    {
        find "$drive_c" -mindepth 1 \( -path "$drive_c/windows/temp" -o -path "$drive_c/users/*/Temp" \) -prune \
            -o -printf 'C:/%P\n' | tr / '\\'
        find -L "$desktop_unix/" -mindepth 1 -maxdepth 1 ! -name '.*' -printf '%f\n' \
            | while IFS= read -r name; do printf '%s\\%s\n' "$desktop" "$name"; done
    } | LC_ALL=C sort -u
}

# reg export keeps every character of a name or value; reg query does not.
export_key() {
    local key=$1 view=$2 out=$3
    wine reg export "$key" "$(windows_path "$out.utf16")" /reg:"$view" /y </dev/null >/dev/null 2>&1 || return 1
    iconv -f UTF-16 -t UTF-8 "$out.utf16" | tr -d '\r' >"$out"
}

# Every key under HKLM\SOFTWARE in both views and under HKCU\Software, one a
# line, its view after a tab.
snapshot_keys() {
    local view
    for view in 64 32; do
        export_key 'HKLM\SOFTWARE' "$view" "$WORK/keys.reg" || continue
        grep '^\[' "$WORK/keys.reg" | sed 's/^\[HKEY_LOCAL_MACHINE\\/HKLM\\/; s/\]$//' \
            | { grep -vi '^HKLM\\SOFTWARE\\Wow6432Node\(\\\|$\)' || true; } | sed "s/\$/\t$view/"
    done
    if export_key 'HKCU\Software' 64 "$WORK/keys.reg"; then
        grep '^\[' "$WORK/keys.reg" | sed 's/^\[HKEY_CURRENT_USER\\/HKCU\\/; s/\]$//; s/$/\t/'
    fi
    rm -f "$WORK/keys.reg" "$WORK/keys.reg.utf16"
}

# Lines of $2 that $1 lacks.
added() { LC_ALL=C comm -13 "$1" "$2"; }
# Only the outermost of those lines: a new folder or key stands for what is
# new inside it. Keys keep their view after a tab.
outermost() {
    awk -F '\t' '{ seen[$0] = 1; lines[NR] = $0 }
        END { for (i = 1; i <= NR; i++) {
            n = split(lines[i], f, "\t"); path = f[1]; tag = n > 1 ? "\t" f[2] : ""; inner = 0
            while (match(path, /\\[^\\]*$/) && RSTART > 1) {
                path = substr(path, 1, RSTART - 1)
                if ((path tag) in seen) { inner = 1; break }
            }
            if (!inner) print lines[i] } }'
}
key_name() {
    case $2 in
    64) printf '%s (64-bit view)' "$1" ;;
    32) printf '%s (32-bit view)' "$1" ;;
    *) printf '%s' "$1" ;;
    esac
}
is_listed() { grep -qixF -- "$1" "$2"; }

# Value $2 of the first key in export $1: value_type (REG_SZ, REG_DWORD or
# another) and value (REG_SZ and REG_DWORD only).
read_value() {
    local line rest name=$2 out="" i c first=1
    value_type="" value=""
    while IFS= read -r line; do
        case $line in '['*) [ $first -eq 1 ] || return 1; first=0; continue ;; esac
        case $line in "\"$name\"="*) ;; *) continue ;; esac
        rest=${line#"\"$name\"="}
        case $rest in
        \"*\")
            rest=${rest:1:${#rest}-2}
            for ((i = 0; i < ${#rest}; i++)); do
                c=${rest:i:1}
                if [ "$c" = '\' ]; then
                    i=$((i + 1))
                    case ${rest:i:1} in n) c=$'\n' ;; r) c=$'\r' ;; *) c=${rest:i:1} ;; esac
                fi
                out+=$c
            done
            value_type=REG_SZ value=$out ;;
        dword:*) value_type=REG_DWORD value=$((16#${rest#dword:})) ;;
        hex\(2\):*) value_type=REG_EXPAND_SZ ;;
        *) value_type="another type" ;;
        esac
        return 0
    done <"$1"
    return 1
}

problems=0
finding() {
    local verdict=$1 text=$2 section=$3
    [ "$verdict" != problem ] || problems=$((problems + 1))
    printf '%-8s %s  (README: "%s")\n' "$verdict" "$text" "$section"
}

utf16_length() { echo $(($(printf '%s' "$1" | iconv -f UTF-8 -t UTF-16LE | wc -c) / 2)); }
controls=$(printf "$(printf '\\x%02x' $(seq 1 31))")
is_blank() { [[ $1 == [" $controls"] ]]; }
describe_char() {
    case $1 in
    [$controls]) printf 'U+%04X' "'$1" ;;
    *) printf '`%s`' "$1" ;;
    esac
}

# What Kestrane's start-up hands it as the argument text: the command line
# after the program's name (quotes toggle, a blank outside them ends it) and
# after the characters up to U+0020 that follow.
argument_text_of() {
    local line=$1 i=0 quoted=0 c
    while [ $i -lt ${#line} ]; do
        c=${line:i:1}
        if [ $quoted -eq 0 ] && is_blank "$c"; then break; fi
        [ "$c" != '"' ] || quoted=$((1 - quoted))
        i=$((i + 1))
    done
    while [ $i -lt ${#line} ] && is_blank "${line:i:1}"; do i=$((i + 1)); done
    printf '%s' "${line:i}"
}

# Kestrane's reading of an argument text (src/target/Target.cpp, src/app/Run.cpp):
# app_name and rule_name, or in refusal why it answers "Erreur.\nArguments."
# before anything is done.
UNINSTALL_KEY_PATH='HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\'
RUNNING_MESSAGE=" est en cour d'exécution.
Fermez le programme et recommencez."
parse_argument_text() {
    local text=$1 length limit c i
    app_name="" rule_name="" refusal=""
    length=$(utf16_length "$text")
    if [ "$length" -gt 259 ]; then
        refusal="it is $length characters long, 259 at most"
        return 1
    fi
    text=${text#"${text%%[!/]*}"}
    app_name=${text%%/*}
    text=${text#"$app_name"}
    text=${text#"${text%%[!/]*}"}
    rule_name=${text%%/*}
    if [ -z "$app_name" ] || [ -z "$rule_name" ]; then
        refusal='it is not an application name, `/`, then a firewall rule name or `NULL`'
        return 1
    fi
    for ((i = 0; i < ${#app_name}; i++)); do
        c=${app_name:i:1}
        case $c in
        '\' | '"' | '*' | ':' | '<' | '>' | '?' | '|' | [$controls])
            refusal="the application name \`$app_name\` holds $(describe_char "$c"), which no folder name can hold"
            return 1 ;;
        esac
    done
    if [[ $app_name =~ ^[.\ ]+$ ]]; then
        refusal="the application name \`$app_name\` is made only of dots and blanks"
        return 1
    fi
    # The longest texts built from the name before the confirmation: the
    # uninstall key's path (259 at most) and the running message (255).
    length=$(utf16_length "$app_name")
    limit=$((259 - $(utf16_length "$UNINSTALL_KEY_PATH")))
    c=$((255 - $(utf16_length "$RUNNING_MESSAGE")))
    [ "$c" -ge "$limit" ] || limit=$c
    if [ "$length" -gt "$limit" ]; then
        refusal="the application name is $length characters long, $limit at most"
        return 1
    fi
}

# The first path Kestrane composes, once it knows the folders, that exceeds 259.
path_too_long() {
    local path
    for path in "$program_files\\$1" "$program_files\\$1\\$1.exe" "$program_files\\$1\\$1.chm" \
        "$program_files\\$1\\Kestrane.exe" "$desktop\\$1.lnk" "$programs\\$1.lnk"; do
        if [ "$(utf16_length "$path")" -gt 259 ]; then
            printf '%s' "$path"
            return 0
        fi
    done
    return 1
}

echo "== Installing it in a throwaway Wine prefix (${WORK#"$KESTRANE_ROOT/"}): $setup_name ${installer_args[*]}"
snapshot_files >"$WORK/files-before"
snapshot_keys | LC_ALL=C sort >"$WORK/keys-before"
started=$(date +%s%N)
# An installer that waits for an answer never ends on its own.
install_timeout=${KESTRANE_CHECK_INSTALL_TIMEOUT:-300}
set +e
timeout -k 10 "$install_timeout" wine "$setup" "${installer_args[@]}" </dev/null >/dev/null 2>&1
installer_code=$?
set -e
elapsed=$((($(date +%s%N) - started) / 10000000))
printf '   it ended with exit code %s after %d.%02d s, and added:\n' "$installer_code" $((elapsed / 100)) $((elapsed % 100))
snapshot_files >"$WORK/files-installed"
snapshot_keys | LC_ALL=C sort >"$WORK/keys-installed"
added "$WORK/files-before" "$WORK/files-installed" >"$WORK/files-added"
# Wine's 32-bit view lacks the Uninstall key that Windows always has: never
# count it as the installer's.
added "$WORK/keys-before" "$WORK/keys-installed" \
    | awk -F '\t' -v u="$(lower "$UNINSTALL")" '{ k = tolower($1) } index(u "\\", k "\\") != 1' >"$WORK/keys-added"
outermost <"$WORK/keys-added" >"$WORK/keys-tracked"
outermost <"$WORK/files-added" | sed 's/^/     /'
while IFS=$'\t' read -r key view; do echo "     $(key_name "$key" "$view")"; done <"$WORK/keys-tracked"
[ -s "$WORK/files-added" ] || [ -s "$WORK/keys-tracked" ] || echo "     nothing"

echo
echo "== What it installed, against what Kestrane removes"
if [ "$installer_code" -eq 124 ] || [ "$installer_code" -eq 137 ]; then
    finding problem "the installer did not end within $install_timeout s: does it install silently with ${installer_args[*]}?" "Check your installer"
elif [ "$installer_code" -ne 0 ]; then
    finding problem "the installer ended with exit code $installer_code" "Check your installer"
fi

# The entry checked is the one that starts a Kestrane.exe, from the 64-bit view
# if both have one.
entry="" entry_view="" other_entries=()
while IFS=$'\t' read -r key view; do
    case $key in "$UNINSTALL"\\*) ;; *) continue ;; esac
    export_key "$key" "$view" "$WORK/entry.reg" || continue
    read_value "$WORK/entry.reg" UninstallString || true
    # Unquoted, Windows tries each blank in turn as the end of the path.
    program=$(lower "$value")
    if [ "${program:0:1}" = '"' ]; then program=${program:1}; program=${program%%\"*}; fi
    if [[ $program == *\\kestrane.exe || $program == *\\'kestrane.exe '* ]] \
        && { [ -z "$entry" ] || { [ "$view" = 64 ] && [ "$entry_view" = 32 ]; }; }; then
        [ -z "$entry" ] || other_entries+=("$(key_name "$entry" "$entry_view")")
        entry=$key entry_view=$view
        mv "$WORK/entry.reg" "$WORK/checked-entry.reg"
    else
        other_entries+=("$(key_name "$key" "$view")")
    fi
done <"$WORK/keys-tracked"

if [ -z "$entry" ]; then
    finding problem "the installer added no uninstall entry whose UninstallString, a REG_SZ, starts a Kestrane.exe" "The uninstall entry"
    echo
    echo "Nothing to uninstall. $problems problem(s) found."
    exit 1
fi
APP=${entry##*\\}
app_dir="$program_files\\$APP"
echo "   the uninstall entry $(key_name "$entry" "$entry_view"):"
awk '/^\[/ { if (seen) exit; seen = 1; next } seen && NF { print "     " $0 }' "$WORK/checked-entry.reg"

if [ "$entry_view" = 64 ]; then
    finding ok "the uninstall entry \`$APP\` is in the 64-bit registry view" "The layout"
else
    finding problem "the uninstall entry \`$APP\` is in the 32-bit registry view, where Kestrane never looks (a 32-bit installer needs SetRegView 64)" "Check your installer"
fi
for other in "${other_entries[@]}"; do
    finding problem "the uninstall entry $other survives the uninstall: Kestrane removes only the entry of its own application" "The layout"
done

# UninstallString: the quoted path of the installed Kestrane.exe, one blank,
# an argument text Kestrane accepts.
read_value "$WORK/checked-entry.reg" UninstallString || true
uninstall_string=$value
expected_exe="$app_dir\\Kestrane.exe"
if [ "$value_type" != REG_SZ ]; then
    finding problem "UninstallString is $value_type, not REG_SZ" "The uninstall entry"
elif [ "${uninstall_string:0:1}" != '"' ] || [[ ${uninstall_string:1} != *\"* ]]; then
    finding problem "UninstallString does not start with the quoted path of Kestrane.exe" "The uninstall entry"
else
    exe=${uninstall_string:1}
    exe=${exe%%\"*}
    after=${uninstall_string:$((${#exe} + 2))}
    if ! same_path "$exe" "$expected_exe"; then
        finding problem "UninstallString starts $exe, not $expected_exe: Kestrane must run from the application folder under the 64-bit Program Files" "The layout"
    elif [ "${after:0:1}" != ' ' ] || is_blank "${after:1:1}"; then
        finding problem "UninstallString does not hold exactly one blank between the quoted path and the argument text" "The uninstall entry"
    else
        finding ok "UninstallString starts the quoted path $expected_exe, then one blank" "The uninstall entry"
    fi
fi
argument_text=$(argument_text_of "$uninstall_string")
if ! parse_argument_text "$argument_text"; then
    finding problem "the argument text \`$argument_text\`: $refusal: Kestrane refuses it with \"Erreur.\\nArguments.\"" "The argument text"
elif too_long=$(path_too_long "$app_name"); then
    finding problem "the argument text \`$argument_text\`: the application name is too long for the path $too_long (259 characters at most): Kestrane refuses it with \"Erreur.\\nArguments.\" after the confirmation" "The argument text"
elif ! same_path "$app_name" "$APP"; then
    finding problem "the argument text \`$argument_text\` names the application \`$app_name\`, not \`$APP\`: Kestrane would look for another folder, other shortcuts and keys, and leave this entry" "The argument text"
else
    rule="the firewall rule \`$rule_name\`"
    [ "$(lower "$rule_name")" != null ] || rule="no firewall rule"
    finding ok "the argument text \`$argument_text\` is accepted: the application \`$app_name\`, $rule" "The argument text"
fi

# The folder holds the three files Kestrane removes and nothing else.
if is_listed "$app_dir" "$WORK/files-installed"; then
    for path in "$app_dir\\$APP.exe" "$app_dir\\$APP.chm" "$expected_exe"; do
        if is_listed "$path" "$WORK/files-installed"; then
            finding ok "$path is installed" "The layout"
        elif [ "$path" = "$expected_exe" ]; then
            finding problem "$path is not installed: the uninstall entry starts nothing" "The layout"
        else
            finding ok "$path is not installed: nothing of that name to remove" "The layout"
        fi
    done
    awk -v dir="$(lower "$app_dir")\\" 'index(tolower($0), dir) == 1 && index(substr($0, length(dir) + 1), "\\") == 0' \
        "$WORK/files-installed" | while IFS= read -r path; do
        case $(lower "${path##*\\}") in
        "$(lower "$APP.exe")" | "$(lower "$APP.chm")" | kestrane.exe) ;;
        *) echo "$path" ;;
        esac
    done >"$WORK/folder-extra"
    while IFS= read -r path; do
        finding problem "$path survives the uninstall: Kestrane removes only $APP.exe, $APP.chm and Kestrane.exe from the folder, which then stays too" "What Kestrane never touches"
    done <"$WORK/folder-extra"
else
    finding problem "the application folder $app_dir was not made" "The layout"
fi

# The two shortcuts; anything else new outside the folder survives.
for path in "$programs\\$APP.lnk" "$desktop\\$APP.lnk"; do
    if is_listed "$path" "$WORK/files-installed"; then
        finding ok "the shortcut $path is installed" "The layout"
    else
        finding ok "the shortcut $path is not installed: nothing of that name to remove" "The layout"
    fi
done
while IFS= read -r path; do
    case $(lower "$path") in
    "$(lower "$app_dir")" | "$(lower "$app_dir")\\"* | "$(lower "$programs\\$APP.lnk")" | "$(lower "$desktop\\$APP.lnk")") continue ;;
    esac
    if [ -d "$(unix_of "$path")" ]; then
        # A folder is named only when nothing new lies inside it.
        ! grep -qiF -- "$path\\" "$WORK/files-added" || continue
    fi
    case $(lower "$path") in
    *.lnk) finding problem "the shortcut $path survives the uninstall: Kestrane removes $APP.lnk only directly in the per-user Programs folder and on the per-user desktop" "What Kestrane never touches" ;;
    *) finding problem "$path survives the uninstall: Kestrane removes nothing outside the application folder but its two shortcuts" "What Kestrane never touches" ;;
    esac
done <"$WORK/files-added"

# The keys: flat, the entry's values as Windows' list and Kestrane need them.
settings="HKCU\\Software\\$APP"
subkeys=$(grep -c '^\[' "$WORK/checked-entry.reg" || true)
flat=1
if [ "$subkeys" -gt 1 ]; then
    flat=0
    finding problem "the uninstall entry has $((subkeys - 1)) subkey(s): Kestrane cannot delete it (\"Erreur.\\nRegistre.\")" "What Kestrane never touches"
fi
if [ "$(grep -ciF -- "$settings\\" "$WORK/keys-installed" || true)" -gt 0 ]; then
    flat=0
    finding problem "$settings has subkeys: Kestrane cannot delete it (\"Erreur.\\nRegistre.\") after the uninstall entry is already gone" "What Kestrane never touches"
fi
[ $flat -eq 0 ] || finding ok "the uninstall entry and $settings have no subkeys" "What Kestrane never touches"
values_ok=1
for name in DisplayName DisplayIcon; do
    if ! read_value "$WORK/checked-entry.reg" "$name"; then
        values_ok=0
        finding problem "the uninstall entry has no $name" "The uninstall entry"
    fi
done
for name in NoModify NoRepair; do
    if ! read_value "$WORK/checked-entry.reg" "$name" || [ "$value_type" != REG_DWORD ] || [ "$value" != 1 ]; then
        values_ok=0
        finding problem "the uninstall entry has no $name of REG_DWORD 1: Windows' list offers a button Kestrane does not answer" "The uninstall entry"
    fi
done
if read_value "$WORK/checked-entry.reg" QuietUninstallString; then
    values_ok=0
    finding problem "the uninstall entry has a QuietUninstallString: Kestrane has no silent mode" "The uninstall entry"
fi
[ $values_ok -eq 0 ] || finding ok "the uninstall entry has DisplayName, DisplayIcon, NoModify and NoRepair, and no QuietUninstallString" "The uninstall entry"
while IFS=$'\t' read -r key view; do
    case $(lower "$key") in "$(lower "$settings")" | "$(lower "$UNINSTALL")\\"*) continue ;; esac
    finding problem "$(key_name "$key" "$view") survives the uninstall: Kestrane removes no key but the uninstall entry and $settings" "The layout"
done <"$WORK/keys-tracked"
finding note "the firewall: Wine keeps no firewall rules, so whether a rule is added and removed cannot be seen here" "The layout"

# What is left of everything the installer added.
left=0
show_left() {
    local path key view
    left=0
    snapshot_keys | LC_ALL=C sort >"$WORK/keys-now"
    while IFS= read -r path; do
        if [ -e "$(unix_of "$path")" ]; then echo "  present  $path"; left=$((left + 1)); else echo "  removed  $path"; fi
    done <"$WORK/files-added"
    while IFS=$'\t' read -r key view; do
        if grep -qxF -- "$key"$'\t'"$view" "$WORK/keys-now"; then
            echo "  present  $(key_name "$key" "$view")"; left=$((left + 1))
        else
            echo "  removed  $(key_name "$key" "$view")"
        fi
    done <"$WORK/keys-tracked"
}

# PendingFileRenameOperations, a REG_MULTI_SZ of pairs: a path, then where it
# goes, or nothing for a deletion.
show_pending() {
    local from to any=0
    if export_key 'HKLM\System\CurrentControlSet\Control\Session Manager' 64 "$WORK/pending.reg"; then
        awk '/^"PendingFileRenameOperations"=hex\(7\):/ { on = 1; sub(/^[^:]*:/, "") }
             on { line = $0; more = sub(/\\$/, "", line); gsub(/[ ,]/, "", line); printf "%s", line; if (!more) exit }' \
            "$WORK/pending.reg" | sed 's/../\\x&/g' | { xargs -0 printf 2>/dev/null || true; } \
            | iconv -f UTF-16LE -t UTF-8 | tr '\0' '\n' >"$WORK/pending"
        while IFS= read -r from && IFS= read -r to; do
            [ -n "$from" ] || break
            any=1
            # Whatever marker comes before "\??\" goes with it.
            from=${from#*'\??\'} to=${to#*'\??\'}
            if [ -z "$to" ]; then echo "    delete  $from"; else echo "    move    $from to $to"; fi
        done <"$WORK/pending"
    fi
    [ $any -eq 1 ] || echo "    nothing"
}

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
[ "$code" -eq 0 ] || finding problem "Kestrane ended with exit code $code" "Exit codes"

echo
echo "== After the uninstall"
show_left
echo "  registered for deletion at the next restart:"
show_pending

echo
echo "== After a simulated restart of the prefix (wineboot -r)"
wine wineboot -r </dev/null >/dev/null 2>&1 || true
show_left
echo
if [ "$left" -eq 0 ]; then echo "Nothing of $APP is left."; else echo "$left item(s) of $APP are left."; fi
if [ "$problems" -eq 0 ]; then echo "No problem found."; else echo "$problems problem(s) found."; fi
[ "$left" -eq 0 ] && [ "$problems" -eq 0 ]
