#!/usr/bin/env bash
# InstallerCheck.sh ROOT BUILD WORK SAMPLE_SETUP BROKEN_SETUP LEFTOVERS_SETUP BUSY_MACHINE STARTS_THINGS_SETUP
#                   [INNO_SETUP|- [WHY]]
# InstallerCheck.sh --places: prints the places the expected lines name on this machine, and ends.
# OrbelChainedSetup.exe, the variant that chains a Windows Installer package, lies beside
# STARTS_THINGS_SETUP.
# The check passes the sample installer without restarting anything, even beside a program
# that keeps changing the machine, and its new installation, made before the restart, loses
# nothing to it; names each fault of the broken variant in its own problem line, with exit
# code 1; says what the leftovers of a right layout break, and what the restart takes from an
# installer that leaves the uninstall's deletions pending; and, run from the Desktop under Wine,
# still sees the shortcut the installer puts there. Under Wine through
# tools/check-installer.sh, which also simulates the restart; on Windows (a throwaway one: it
# installs for real) CheckInstaller.exe from BUILD itself, and no restart.
# With KESTRANE_AS_ON_WINDOWS=WindowsLike.exe, under Wine: what is expected on Windows, of the
# check's Windows path (--as-on-windows) in a prefix that WindowsLike.exe makes like Windows and
# where it starts the check as cmd.exe does; the test restarts the prefix before --after-restart.
# No Inno Setup sample there. Beside every row of it runs $KESTRANE_WINDOWS_CHURN, when set:
# Windows' own writers, each writing once, and the shell reacting to shortcuts; in the leftovers
# row it also writes a file an installer could own (churn=near), which the check must name.
# Beside STARTS_THINGS_SETUP, OrbelSelfCopySetup.exe: an installer that runs a copy of itself
# until the limit, checked under Wine (its row is skipped where the file is not there).
# KESTRANE_CHECK_INSTALL_TIMEOUT, when set, is the --limit of every run (the CTest test's, below
# its time-out).
set -uo pipefail

case "$(uname -s)" in
MINGW* | MSYS* | CYGWIN*)
    windows=1 wine=0
    programs="$(cygpath -w "$APPDATA")\\Microsoft\\Windows\\Start Menu\\Programs"
    # As it is: cygpath -w makes a bare drive letter "C:\", and the check names "C:\OrbelData".
    windir=$(cygpath -w "$WINDIR") drive=$SYSTEMDRIVE ;;
*)
    windows=0 wine=1
    [ -z "${KESTRANE_AS_ON_WINDOWS:-}" ] || windows=1
    programs="C:\\users\\$(id -un)\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
    windir='C:\windows' drive='C:' ;;
esac
if [ "${1:-}" = --places ]; then
    printf '%s\n' "$programs" "$windir" "$drive\\OrbelData"
    exit 0
fi
root=$1 build=$2 work=$3 sample=$4 broken=$5 leftovers=$6 busy=$7 starts=$8
inno=${9:--} inno_skipped=${10:-the Inno Setup sample was not built here}
limit=${KESTRANE_CHECK_INSTALL_TIMEOUT:-}
# Under Wine, whose own firewall keeps no rules, every prefix of the test gets the stand-in
# firewall (tests/firewall), as CTest names its files; on Windows the firewall is the real one.
if [ "$wine" -eq 1 ]; then
    if [ -z "${FIREWALL_STANDIN:-}" ] || [ -z "${FIREWALL_RULES:-}" ]; then
        echo "FAILED: FIREWALL_STANDIN and FIREWALL_RULES must name FirewallStandIn.dll and FirewallRules.exe, as CTest sets them" >&2
        exit 1
    fi
    source "$root/tests/firewall/StandIn.sh"
fi
# The Windows path's prefix runs on from a row to its restart: none of it outlives the test.
[ -z "${KESTRANE_AS_ON_WINDOWS:-}" ] || trap 'WINEPREFIX=$work/prefix wineserver -k 2>/dev/null' EXIT
failed=0
# As on a hosted runner, where every row runs with GITHUB_ACTIONS=true: only the row that tests
# the runner's annotations may write them, and the job's summary.
export GITHUB_ACTIONS=true GITHUB_STEP_SUMMARY=$work.job-summary
rm -f "$work.job-summary"
# Each run's text, kept for the docs' report samples (tests/docs/Samples.js): none of an older run.
rm -f "$work.sample-installer.log" "$work.broken-variant-problems.log" "$work.leftovers-variant.log" \
    "$work.chained-product.log"
mkdir -p "$(dirname "$work")"
node=$(command -v node || command -v nodejs)

# On Windows every row runs on the same machine, never restarted: what the row before left of
# Orbel (its installation made again, what it left, what it left pending for the restart)
# goes first, as a fresh Wine prefix has none of it.
clean_orbel() {
    local path key
    # What the row that starts things left running: its service and its agent.
    sc stop OrbelWriter >/dev/null 2>&1
    sc delete OrbelWriter >/dev/null 2>&1
    taskkill //F //IM OrbelAgent.exe >/dev/null 2>&1
    taskkill //F //IM OrbelService.exe >/dev/null 2>&1
    # The runtime the chaining row installs.
    MSYS_NO_PATHCONV=1 msiexec /x '{5E0B8C1A-7D2F-4A3B-9C4D-1E2F3A4B5C6D}' /qn >/dev/null 2>&1
    rm -f "$(cygpath -u "$WINDIR")"/Help/orbel-*.log "$(cygpath -u "$WINDIR")/Help/Orbel.chm"
    for path in "$PROGRAMFILES\\Orbel" "$APPDATA\\Microsoft\\Windows\\Start Menu\\Programs\\Orbel" \
        "$APPDATA\\Microsoft\\Windows\\Start Menu\\Programs\\Orbel.lnk" "$USERPROFILE\\Desktop\\Orbel.lnk" \
        "$SYSTEMDRIVE\\OrbelData" "$WINDIR\\Fonts\\Orbel.ttf" "$SYSTEMDRIVE\\ProgramData\\Orbel"; do
        rm -rf "$(cygpath -u "$path")"
    done
    for key in 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Orbel' \
        'HKLM\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Orbel' 'HKCU\Software\Orbel' \
        'HKLM\SYSTEM\CurrentControlSet\Services\OrbelAgent' \
        'HKLM\SOFTWARE\Classes\WOW6432Node\CLSID\{7B2C3D4E-1F5A-4B6C-9D7E-8F9A0B1C2D3E}'; do
        MSYS_NO_PATHCONV=1 reg delete "$key" /f >/dev/null 2>&1
    done
    MSYS_NO_PATHCONV=1 reg delete 'HKCU\Environment' /v ORBEL_HOME /f >/dev/null 2>&1
    MSYS_NO_PATHCONV=1 reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Orbel /f >/dev/null 2>&1
    MSYS_NO_PATHCONV=1 reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v OrbelHook /f >/dev/null 2>&1
    MSYS_NO_PATHCONV=1 reg delete 'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Orbel (TrueType)' /f \
        >/dev/null 2>&1
    MSYS_NO_PATHCONV=1 netsh advfirewall firewall delete rule name="Orbel Inbound" >/dev/null 2>&1
    MSYS_NO_PATHCONV=1 netsh advfirewall firewall delete rule name="Orbel Sharing" >/dev/null 2>&1
    # And what the row before registered for the restart: the next install would take it out,
    # a change of its own.
    powershell -NoProfile -Command '
        $key = "HKLM:\SYSTEM\CurrentControlSet\Control\Session Manager"
        $all = (Get-ItemProperty $key).PendingFileRenameOperations
        if ($all) {
            $keep = @()
            for ($i = 0; $i + 1 -lt $all.Count; $i += 2) {
                if ($all[$i] -notmatch "\\Orbel(\\|\z)") { $keep += $all[$i], $all[$i + 1] }
            }
            if ($keep.Count -eq 0) { Remove-ItemProperty $key PendingFileRenameOperations }
            elseif ($keep.Count -ne $all.Count) { Set-ItemProperty $key PendingFileRenameOperations ([string[]]$keep) -Type MultiString }
        }' >/dev/null 2>&1
    return 0
}

# The check's Windows path in a fresh prefix made like Windows, started as from cmd.exe. The
# prefix runs on, for after_restart.
check_as_on_windows() {
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
    (
        source "$root/tools/check-installer-linux.sh"
        set +e
        start_prefix "$work" || exit 2
        register_firewall_standin || exit 2
        trap - EXIT
        export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d" LC_ALL=C.UTF-8
        wine "$KESTRANE_AS_ON_WINDOWS" layout </dev/null || exit 2
        if [ -n "${KESTRANE_WINDOWS_CHURN:-}" ]; then
            { wine "$KESTRANE_WINDOWS_CHURN" ${churn:-} </dev/null >/dev/null 2>&1 & }
        fi
        if [ -n "${2:-}" ]; then { wine "$2" </dev/null >/dev/null 2>&1 & } ; fi
        [ -z "${KESTRANE_WINDOWS_CHURN:-}${2:-}" ] || sleep 2
        # Typed as a user types it, beside the installer: the console's title holds the command.
        cp "$build/CheckInstaller.exe" "$1" "$work/" && cd "$work" || exit 2
        "${runner[@]}" wine "$KESTRANE_AS_ON_WINDOWS" cmd CheckInstaller.exe --as-on-windows "${limits[@]}" \
            --json "..\\$(basename "$work").json" --state check.state "$(basename "$1")"
    ) </dev/null >"$work.log" 2>&1
    code=$?
}
# After a restart, as on Windows once the machine has restarted: --after-restart, its text in
# $work.after. The check's Windows path had none: the prefix is restarted first.
after_restart() {
    local prefix=(env -u GITHUB_ACTIONS -u GITHUB_STEP_SUMMARY WINEPREFIX="$work/prefix" HOME="$work/home" WINEDEBUG=-all)
    local as_on_windows=()
    if [ -n "${KESTRANE_AS_ON_WINDOWS:-}" ]; then
        as_on_windows=(--as-on-windows)
        "${prefix[@]}" wine wineboot -r </dev/null >/dev/null 2>&1
    fi
    "${prefix[@]}" wine "$build/CheckInstaller.exe" "${as_on_windows[@]}" \
        --after-restart "Z:${work//\//\\}\\check.state" --json "Z:${work//\//\\}.json" </dev/null >"$work.after" 2>&1
    code=$?
    cat "$work.after"
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
}
# check SETUP [BUSY]: the whole check, its text in $work.log, its report in $work.json. With
# annotate=SUMMARY, as on a hosted runner, writing its summary to SUMMARY (a Windows path).
check() {
    rm -f "$work.json"
    local limits=()
    [ -z "$limit" ] || limits=(--limit "$limit")
    local runner=(env -u GITHUB_ACTIONS -u GITHUB_STEP_SUMMARY)
    [ -z "${annotate:-}" ] || runner=(env GITHUB_ACTIONS=true "GITHUB_STEP_SUMMARY=$annotate")
    if [ -n "${KESTRANE_AS_ON_WINDOWS:-}" ]; then
        check_as_on_windows "$@"
    elif [ "$wine" -eq 0 ]; then
        clean_orbel
        local busy_pid=
        if [ -n "${2:-}" ]; then "$2" & busy_pid=$!; sleep 2; fi
        "${runner[@]}" "$build/CheckInstaller.exe" "${limits[@]}" --json "$(cygpath -w "$work.json")" --state "$(cygpath -w "$work.state")" \
            "$(cygpath -w "$1")" </dev/null >"$work.log" 2>&1
        code=$?
        [ -z "$busy_pid" ] || kill "$busy_pid"
    else
        "${runner[@]}" KESTRANE_PREBUILT=1 BUILD_DIR="$build" KESTRANE_CHECK_DIR="$work" \
            bash "$root/tools/check-installer.sh" "${limits[@]}" --json "$work.json" ${2:+--beside "$2"} "$1" </dev/null >"$work.log" 2>&1
        code=$?
    fi
    cat "$work.log"
}
expect() {
    if ! "$@"; then
        echo "FAILED: $*" >&2
        failed=1
    fi
}
# The broken variant's summary: its ten leftovers, exactly under Wine's quiet prefix; on a real
# machine what the check still takes for the installer's may add some.
left_of_broken_variant() {
    local count
    count=$(sed -nE 's/^([0-9]+) item\(s\) of Orbel are left\.$/\1/p' "$1" | tail -n 1)
    [ -n "$count" ] && { [ "$count" -eq 10 ] || { [ "$wine" -eq 0 ] && [ "$count" -gt 10 ]; }; }
}
# The report for machines holds what the test says of it: a JavaScript condition on `report`.
report() {
    "$node" -e '
        const report = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
        if (!eval(process.argv[2])) { console.error("report: not " + process.argv[2]); process.exit(1); }' \
        "$work.json" "$1"
}

check "$sample" "$busy"
cp "$work.log" "$work.sample-installer.log"
expect [ "$code" -eq 0 ]
# Not the row that tests the runner's annotations: none written.
expect [ "$(grep -c '^::error' "$work.log")" -eq 0 ]
# On Windows, not restarted, the folder that waits for the restart is still there.
if [ "$windows" -eq 0 ]; then
    expect grep -qx "Nothing of Orbel is left." "$work.log"
else
    expect grep -qx "Nothing of Orbel is left but what the next restart deletes (1 item(s))." "$work.log"
fi
# Its kind read from the file: NSIS's own silent switch.
expect grep -qx "== $(basename "$sample") is a 64-bit installer (x86-64), made with NSIS." "$work.log"
expect report 'report.installer.kind === "NSIS" && report.installer.arguments.join(" ") === "/S"'
# Its firewall rule, added with netsh (under Wine, the stand-in's), is the one Kestrane removes:
# the rest of the firewall is as it was.
expect grep -qxF 'ok       the firewall rule `Orbel Inbound` was added by the installer  (docs/vendor-guide.md: "The layout")' "$work.log"
expect grep -qxF 'ok       the firewall rule `Orbel Inbound` is gone after the uninstall  (docs/vendor-guide.md: "The layout")' "$work.log"
expect report 'report.afterUninstall.firewallRulesSeen
    && !report.afterUninstall.leftovers.some(l => l.kind === "firewall rule")'
# The machine the check runs on is never restarted; the deletions wait for the restart.
expect grep -qx 'box 2 "Kestrane" \[OK\] \[Cancel\] answered Cancel (the check never restarts)' "$work.log"
expect grep -qxF '  pending  C:\Program Files\Orbel (with 1 of the 3 item(s) put in it)' "$work.log"
# What kept changing beside it, every 7 to 10 s and whenever a program is installed or
# uninstalled, is not the installer's, whichever of the check's steps its writes fell in: the
# look before the install, or the install itself, then seen written again by the look after the
# uninstall; and nothing waits for it.
expect report 'report.exitCode === 0 && report.uninstall.boxes.length === 3'
expect report '!report.changes.some(c => /BusyMachine/i.test(c.path))
    && report.noise.discounted.map(d => d.step).join() === "before the install,during the install,after the uninstall"'
expect report 'report.uninstall.boxes[1].answer === "Cancel" && report.findings.every(f => f.verdict !== "problem")'
# Installed again before the restart, as a user may: the installer takes its folder out of
# the deletions the uninstall registered, and the restart leaves the new installation whole.
expect grep -qx '   the restart deletes nothing of the new installation (foreseen from the deletions pending)' "$work.log"
expect report 'report.reinstall.installedAgain && report.reinstall.placesHeld === report.reinstall.changes
    && report.reinstall.restartTakes.length === 0'
# The look after the uninstall foresees the restart: what waits for it is not seen gone.
expect report 'report.afterUninstall.observed === false && report.afterUninstall.summary.pending > 0'
if [ "$windows" -eq 0 ]; then
    expect report 'report.afterRestart.observed && report.afterRestart.exitCode === 0
        && report.afterRestart.summary.left === 0 && report.afterRestart.newInstallation.whole
        && report.afterRestart.newInstallation.placesHeld === report.reinstall.placesHeld'
    # Seen after the restart, what waited for it is gone: nothing pending any more.
    expect report 'report.afterRestart.summary.pending === 0 && report.afterRestart.leftovers.every(l => l.state !== "pending")'
elif [ "$wine" -eq 1 ]; then
    # Restarted by the test: the restart took what waited for it, and left the new installation whole.
    after_restart
    expect [ "$code" -eq 0 ]
    expect grep -qx "Nothing of Orbel is left." "$work.after"
    expect grep -qx '   The installation made again before the restart is whole: its [0-9]* place(s) are all there.' "$work.after"
    expect report '!report.afterRestart.observed && report.afterRestart.exitCode === 0
        && report.afterRestart.summary.left === 0 && report.afterRestart.newInstallation.whole'
    expect report 'report.afterRestart.summary.pending === 0 && report.afterRestart.leftovers.every(l => l.state !== "pending")'
fi

# As on a hosted runner: each problem is also the runner's annotation, the summary goes to the job's.
rm -f "$work.summary"
if [ "$wine" -eq 0 ]; then summary=$(cygpath -w "$work.summary"); else summary="Z:${work//\//\\}.summary"; fi
annotate=$summary check "$broken"
cp "$work.log" "$work.broken-variant-problems.log"
expect [ "$code" -eq 1 ]
# Each problem is an annotation.
expect [ "$(grep -c '^::error title=CheckInstaller%3A ' "$work.log")" -eq "$(grep -c '^problem ' "$work.log")" ]
expect grep -qxF '::error title=CheckInstaller%3A docs/vendor-guide.md%3A 32-bit installers::the uninstall entry `Orbel` is in the 32-bit registry view, where Kestrane never looks (a 64-bit installer writes the 64-bit view unless told otherwise: this one chose the 32-bit view, so take out its SetRegView 32, and WOW6432Node from the key'"'"'s path if it names it)' "$work.log"
expect left_of_broken_variant "$work.summary"
cat >"$work.expected" <<END
problem  the uninstall entry \`Orbel\` is in the 32-bit registry view, where Kestrane never looks (a 64-bit installer writes the 64-bit view unless told otherwise: this one chose the 32-bit view, so take out its SetRegView 32, and WOW6432Node from the key's path if it names it)  (docs/vendor-guide.md: "32-bit installers")
problem  the argument text \`"Orbel/NULL"\`: the application name \`"Orbel\` holds \`"\`, which no folder name can hold: Kestrane refuses it with "Erreur.\nArguments."  (docs/vendor-guide.md: "The argument text")
problem  C:\\Program Files\\Orbel\\readme.txt survives the uninstall: Kestrane removes only Orbel.exe, Orbel.chm and Kestrane.exe from the folder, which then stays too  (docs/vendor-guide.md: "What Kestrane never touches")
problem  $drive\\OrbelData (a folder with 1 item in it) survives the uninstall: Kestrane removes nothing outside the application folder but its two shortcuts  (docs/vendor-guide.md: "What Kestrane never touches")
problem  the folder $programs\\Orbel with the shortcut Orbel.lnk survives the uninstall: Kestrane removes Orbel.lnk only directly in the per-user Programs folder and on the per-user desktop  (docs/vendor-guide.md: "What Kestrane never touches")
problem  $windir\\Fonts\\Orbel.ttf survives the uninstall: Kestrane removes nothing outside the application folder but its two shortcuts  (docs/vendor-guide.md: "What Kestrane never touches")
problem  $windir\\win.ini, which was there before the install, was changed by the installer (its size was N bytes, now N), and stays changed after the uninstall: Kestrane restores no file  (docs/vendor-guide.md: "What Kestrane never touches")
problem  the value \`ORBEL_HOME\` of HKCU\\Environment, added by the installer, survives the uninstall: Kestrane removes no value but those of the two keys it deletes  (docs/vendor-guide.md: "What Kestrane never touches")
problem  the value \`Orbel (TrueType)\` of HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts (64-bit view), added by the installer, survives the uninstall: Kestrane removes no value but those of the two keys it deletes  (docs/vendor-guide.md: "What Kestrane never touches")
problem  Kestrane ended with exit code 1  (docs/vendor-guide.md: "Exit codes")
END
# Sizes differ from one Windows to the next.
# Orbel's own ten lines exactly; a real machine may add lines of its own, shown in full above
# and named below, failed only under Wine.
grep '^problem ' "$work.log" | sed -E 's/size was [0-9]+ bytes, now [0-9]+\)/size was N bytes, now N)/' >"$work.all"
grep -xFf "$work.expected" "$work.all" >"$work.problems"
expect diff -u "$work.expected" "$work.problems"
if grep -vxFf "$work.expected" "$work.all" >"$work.others"; then
    echo "Also counted as the broken variant's on this machine (not Orbel's own; read them for what the check still takes for the installer's):"
    cat "$work.others"
    [ "$wine" -eq 0 ] || { echo "FAILED: lines that are not Orbel's under Wine" >&2; failed=1; }
fi
# Refused, Kestrane removed nothing: all of it is left, and nothing waits for the restart.
sed -n '/^== After the uninstall/,/^== Installing it again/p' "$work.log" >"$work.uninstalled"
expect grep -qxF "  left     $programs\\Orbel (with 1 of the 1 item(s) put in it)" "$work.uninstalled"
expect grep -qxF "  left     HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Orbel (32-bit view) (with 5 of the 5 item(s) put in it)" "$work.uninstalled"
expect grep -qxF "  left     the value \`ORBEL_HOME\` of HKCU\\Environment" "$work.uninstalled"
expect grep -qxF "  left     $windir\\win.ini" "$work.uninstalled"
expect grep -qxF "  left     $drive\\OrbelData (with 1 of the 1 item(s) put in it)" "$work.uninstalled"
expect left_of_broken_variant "$work.log"
if [ "$windows" -eq 0 ]; then
    # A restart takes none of it: seen after one, all ten are still there. Installed again over
    # what was left, the new installation is whole after the next.
    sed -n '/^== After a restart of the prefix/,/^== Installing it again/p' "$work.log" >"$work.restarted"
    expect grep -qxF "  left     $drive\\OrbelData (with 1 of the 1 item(s) put in it)" "$work.restarted"
    expect report 'report.afterRestart.observed && report.afterRestart.summary.left === 10
        && report.afterRestart.exitCode === 1'
    sed -n '/^== After a second restart/,$p' "$work.log" >"$work.restarted"
    expect grep -qE '^   The installation made again before the restart is whole: its [0-9]+ place\(s\) are all there\.$' \
        "$work.restarted"
fi
others=$(wc -l <"$work.others")
expect report 'report.exitCode === 1 && report.findings.filter(f => f.verdict === "problem").length === 10 + '"$others"
expect report 'report.changes.some(c => c.change === "changed" && c.kind === "file" && /\\win\.ini$/i.test(c.path))'
# win.ini, changed by the installer, never changes by itself: read again after the uninstall,
# at no cost of waiting, and not among the places taken.
expect report '(w => w.step === "after the uninstall" && w.watchedPlaces > 0 && w.places.length === 0
    && w.changes === 0 && w.watchedMs < 1000)(report.noise.discounted[2])'
expect grep -qE '^   read again [0-9]+ place\(s\) that were there before the install .*: none changed again since the install$' \
    "$work.log"

churn=near check "$leftovers"
cp "$work.log" "$work.leftovers-variant.log"
# On the churning Windows, the file written beside Windows' own places while the install ran is
# not Windows': named, with its problem, and counted among what is left.
near=0
if [ -n "${KESTRANE_AS_ON_WINDOWS:-}" ] && [ -n "${KESTRANE_WINDOWS_CHURN:-}" ]; then
    near=1
    expect grep -qixF "  left     $windir\\inf\\near.inf" "$work.log"
    expect grep -qiF "problem  $windir\\inf\\near.inf survives the uninstall" "$work.log"
    expect report 'report.afterUninstall.leftovers.some(l => /\\inf\\near\.inf$/i.test(l.path) && l.state === "left")'
fi
expect [ "$code" -eq 1 ]
run="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
# What starts a removed program, or names a class whose server it is, is said first, with when
# Windows tries it: the per-user classes named by their own keys, never by the shared ones; a
# value that starts Windows' rundll32 by the DLL it loads; a class of the 32-bit view in it.
# Then the firewall rule the argument text does not name, which lets traffic in for Orbel.exe.
# On Windows the line after the heading says the look is foreseen.
sed -n '/^== After the uninstall/,/^  registered/p' "$work.log" | sed '1d;/^   (foreseen: /d;/^   read again /d;/^     /d' |
    head -n 9 >"$work.broken"
classes='HKCU\Software\Classes' class='{6F1A2B3C-0D4E-4F50-8A6B-7C8D9E0F1A2B}' orbel='C:\Program Files\Orbel\Orbel.exe'
class32='{7B2C3D4E-1F5A-4B6C-9D7E-8F9A0B1C2D3E}' creates32="when a 32-bit program creates the class {7B2C3D4E-1F5A-4B6C-9D7E-8F9A0B1C2D3E}, or a 64-bit one that finds no 64-bit server"
cat >"$work.expected" <<END
  broken   the value \`Path\` of HKCU\\Environment names C:\\Program Files\\Orbel\\bin, a folder that is gone: every program that searches the Path looks there in vain
  broken   $classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu names the class $class, whose server $orbel is gone: Explorer tries and fails to start it each time a user right-clicks a file
  broken   the value (default) of $classes\\CLSID\\$class\\LocalServer32 starts $orbel when a program creates the class $class, but that program is gone: Windows tries and fails when a program creates the class $class
  broken   the value (default) of $classes\\Orbel.Document\\shell\\open\\command starts $orbel on opening a file of type Orbel.Document, but that program is gone: Windows tries and fails on opening a file of type Orbel.Document
  broken   the value \`Orbel\` of $run starts $orbel at every logon, but that program is gone: Windows tries and fails at every logon
  broken   the value \`OrbelHook\` of $run starts rundll32 to load C:\\Program Files\\Orbel\\OrbelHook.dll at every logon, but that DLL is gone: rundll32 tries and fails to load it at every logon
  broken   the value (default) of HKLM\\SOFTWARE\\Classes\\CLSID\\$class32\\LocalServer32 (32-bit view) starts $orbel $creates32, but that program is gone: Windows tries and fails $creates32
  broken   the value \`ImagePath\` of HKLM\\SYSTEM\\CurrentControlSet\\Services\\OrbelAgent starts $orbel at every startup, but that program is gone: Windows tries and fails at every startup
  broken   the firewall rule \`Orbel Sharing\` lets traffic in for a program that is gone: $orbel
END
expect diff -u "$work.expected" "$work.broken"
expect grep -qxF "  left     $classes\\.orbeldoc (with 1 of the 1 item(s) put in it)" "$work.log"
if [ -n "${KESTRANE_AS_ON_WINDOWS:-}" ]; then
    # Over the user's Path of one folder, as Windows makes it: what the user lost is said too.
    expect grep -qxF "problem  the value \`Path\` of HKCU\\Environment, changed by the installer (it added \`C:\\Program Files\\Orbel\\bin\`, and took out \`%USERPROFILE%\\AppData\\Local\\Microsoft\\WindowsApps\`), stays changed after the uninstall: Kestrane restores no value  (docs/vendor-guide.md: \"What Kestrane never touches\")" "$work.log"
fi
# The rule the argument text names is Kestrane's to remove, and it does; the other is named once
# as a problem, and once as an item left.
expect grep -qxF 'ok       the firewall rule `Orbel Inbound` was added by the installer  (docs/vendor-guide.md: "The layout")' "$work.log"
expect grep -qxF 'ok       the firewall rule `Orbel Inbound` is gone after the uninstall  (docs/vendor-guide.md: "The layout")' "$work.log"
expect grep -qxF 'problem  the firewall rule `Orbel Sharing`, added by the installer, survives the uninstall: Kestrane removes only the rules of the name the argument text gives, which is `Orbel Inbound`  (docs/vendor-guide.md: "What Kestrane never touches")' "$work.log"
expect [ "$(sed -n '/^== After the uninstall/,/^  registered/p' "$work.log" | grep -c 'Orbel Sharing')" -eq 1 ]
expect report 'report.afterUninstall.leftovers.filter(l => l.kind === "firewall rule").map(l => l.state + " " + l.name
    + " " + l.program).join() === "broken Orbel Sharing C:\\Program Files\\Orbel\\Orbel.exe"'
expect report 'report.afterUninstall.leftovers.filter(l => l.state === "broken").length === 9
    && !report.changes.some(c => /^HKCU\\Software\\Classes(\\CLSID|\\\*(\\shellex(\\ContextMenuHandlers)?)?)?$/i.test(c.path)
        && c.kind === "key")'
expect report 'report.afterUninstall.leftovers.some(l => l.state === "broken" && l.when === "at every logon"
    && l.program === "C:\\Program Files\\Orbel\\Orbel.exe")'
# What the host loads is the program; every broken leftover says what and when, the Path's too.
expect report 'report.afterUninstall.leftovers.some(l => l.state === "broken" && l.when === "at every logon"
    && l.program === "C:\\Program Files\\Orbel\\OrbelHook.dll" && l.name === "OrbelHook")'
expect report 'report.afterUninstall.leftovers.some(l => l.state === "broken"
    && l.place === "HKLM\\SOFTWARE\\Classes\\CLSID\\{7B2C3D4E-1F5A-4B6C-9D7E-8F9A0B1C2D3E} (32-bit view)"
    && l.when.startsWith("when a 32-bit program creates the class {7B2C3D4E-1F5A-4B6C-9D7E-8F9A0B1C2D3E}"))'
expect report 'report.afterUninstall.leftovers.every(l => l.state !== "broken" || (l.program !== "" && l.when !== ""))
    && report.afterUninstall.leftovers.some(l => l.name === "Path" && l.program === "C:\\Program Files\\Orbel\\bin"
        && l.when === "whenever a program searches the Path")'
# Its installer does not take its folder out of the pending deletions: a user who installs it
# again before the restart loses the new Kestrane.exe at the restart.
taken="installed again after the uninstall and before the restart, as a user may do, the application loses C:\\Program Files\\Orbel\\Kestrane.exe at the restart: the deletions the uninstall registered still wait for the restart, and take the new installation's files, so its uninstall entry then starts a program that is gone. Before installing, take the folder's entries out of PendingFileRenameOperations (examples/nsis/PendingDeletions.nsh does it), or ask for the restart first  (docs/vendor-guide.md: \"A reinstall before the restart\")"
expect grep -qxF "problem  $taken" "$work.log"
expect report 'report.reinstall.restartTakes.join() === "C:\\Program Files\\Orbel\\Kestrane.exe"'
if [ "$windows" -eq 0 ]; then
    # Installed again before the restart, it still has its leftovers named after the restart,
    # as seen then, before the reinstall made them again.
    sed -n '/^== After a restart of the prefix/,/^== Installing it again/p' "$work.log" | sed '1d;/^   read again /d;/^     /d' |
        head -n 9 >"$work.broken"
    expect diff -u "$work.expected" "$work.broken"
    expect report 'report.afterRestart.observed && report.afterRestart.summary.left === 10 && report.afterRestart.exitCode === 1
        && report.afterRestart.leftovers.filter(l => l.state === "broken").length === 9
        && report.afterRestart.leftovers.some(l => l.state === "left" && l.path === "HKCU\\Software\\Classes\\.orbeldoc")'
    expect grep -qx "10 item(s) of Orbel are left." "$work.log"
    # The restart does what was foreseen, a problem counted once.
    expect grep -qF "   As foreseen, the restart deleted C:\\Program Files\\Orbel\\Kestrane.exe of the installation made again before it: " \
        "$work.log"
    expect report '!report.afterRestart.newInstallation.whole
        && report.afterRestart.newInstallation.gone.join() === "C:\\Program Files\\Orbel\\Kestrane.exe"'
    expect report 'report.findings.filter(f => f.verdict === "problem").length === report.afterRestart.summary.problems'
fi
if [ "$wine" -eq 1 ]; then
    # As on Windows once the machine has restarted: --after-restart sees the new installation, and
    # judges the places it holds again by the look after the uninstall: the leftovers are still
    # named, though what they start is there again.
    after_restart
    expect [ "$code" -eq 1 ]
    expect grep -qxF "  left     $classes\\.orbeldoc (with 1 of the 1 item(s) put in it)" "$work.after"
    expect grep -qxF "  left     $classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu (with 1 of the 1 item(s) put in it)" "$work.after"
    expect grep -qx "$((10 + near)) item(s) of Orbel are left." "$work.after"
    # What waited for the restart has been done: none of it is still called pending.
    expect [ "$(grep -c '^  pending ' "$work.after")" -eq 0 ]
    expect report 'report.afterRestart.summary.pending === 0'
    expect report '!report.afterRestart.observed && report.afterRestart.summary.left === 10 + '"$near"'
        && !report.afterRestart.newInstallation.whole && (JSON.stringify(report).match(/"afterRestart"/g) || []).length === 1
        && report.afterRestart.summary.problems === report.findings.filter(f => f.verdict === "problem").length'
fi
# Run from the Desktop, where a user saves a download, the check still sees the shortcut the
# installer puts there. Under Wine, in a prefix of its own; --watch as scripts still pass it.
if [ "$windows" -eq 0 ]; then
    rm -f "$work.json"
    (
        source "$root/tools/check-installer-linux.sh"
        start_prefix "$work.desktop" >/dev/null || exit 2
        register_firewall_standin || exit 2
        export WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winemenubuilder.exe=d"
        cp "$build/CheckInstaller.exe" "$WINEPREFIX/drive_c/users/$(id -un)/Desktop/"
        env -u GITHUB_ACTIONS -u GITHUB_STEP_SUMMARY timeout 300 wine "C:\\users\\$(id -un)\\Desktop\\CheckInstaller.exe" \
            --watch 0 ${limit:+--limit "$limit"} --json "$(windows_path "$work.json")" "$(windows_path "$sample")" </dev/null
    ) >"$work.log" 2>&1
    code=$?
    cat "$work.log"
    expect [ "$code" -eq 0 ]
    expect grep -qxF "ok       the shortcut C:\\users\\$(id -un)\\Desktop\\Orbel.lnk is installed  (docs/vendor-guide.md: \"The layout\")" "$work.log"
    expect grep -qx "Nothing of Orbel is left." "$work.log"
    expect report 'report.changes.some(c => /\\Desktop\\Orbel\.lnk$/i.test(c.path))
        && !report.changes.some(c => /\\Desktop\\CheckInstaller\.exe$/i.test(c.path))'
    # The report asked for is tried before anything is installed: into a folder that does not
    # exist, the check stops at once with exit 2, and names the path and why.
    (
        source "$root/tools/check-installer-linux.sh"
        export WINEPREFIX="$work.desktop/prefix" HOME="$work.desktop/home" WINEDEBUG=-all
        timeout 120 wine "$build/CheckInstaller.exe" --json 'C:\no-such-folder\report.json' "$(windows_path "$sample")" </dev/null
        code=$?
        wineserver -k 2>/dev/null
        exit $code
    ) >"$work.log" 2>&1
    code=$?
    cat "$work.log"
    expect [ "$code" -eq 2 ]
    expect grep -qxF 'Cannot write the report C:\no-such-folder\report.json (--json): its folder does not exist. Nothing was installed.' "$work.log"
    expect [ "$(grep -c '^== Installing it' "$work.log")" -eq 0 ]
fi

# An installer that starts what it installed, as installers start a tray agent and a service:
# it has ended when its own processes have; the agent and the service run on and are named,
# after the uninstall too; while they run no look after the install takes anything for the
# machine's own, so
# the help file it left in a Windows folder they write into is named, and the files each
# writes under new names are one leftover, by their pattern. The service manager's count of
# services started is Windows' own.
check "$starts"
cp "$work.log" "$work.starts-things.log"
expect [ "$code" -eq 1 ]
expect grep -q '^   it ended with exit code 0 after ' "$work.log"
expect [ "$(grep -c 'did not end' "$work.log")" -eq 0 ]
for program in OrbelAgent OrbelService; do
    expect grep -qxF "   running after the install: $drive\\ProgramData\\Orbel\\$program.exe, started by the installer" "$work.log"
    expect grep -qxF "  still running after the uninstall: $drive\\ProgramData\\Orbel\\$program.exe, started by the installer" \
        "$work.log"
done
expect grep -qxF "   not judged by the looks after the install: 2 program(s) of the new installation run, and what changes from now on may be theirs: nothing is taken for the machine's own changes" "$work.log"
expect [ "$(grep -ci 'ServiceCurrent' "$work.log")" -eq 0 ]
# Named once each, after the uninstall and in the problems: the help file, and each writer's
# files (two or more: the installer waits for its first), by their pattern.
sed -n '/^== After the uninstall/,/^  registered/p' "$work.log" >"$work.uninstalled"
expect grep -qixF "  left     $windir\\Help\\Orbel.chm" "$work.uninstalled"
expect grep -qxF "  left     $drive\\ProgramData\\Orbel (with 2 of the 2 item(s) put in it)" "$work.uninstalled"
for writer in agent service; do
    expect [ "$(grep -ci "orbel-$writer-" "$work.uninstalled")" -eq 1 ]
    expect grep -qiE "^  left     ${windir//\\/\\\\}\\\\Help\\\\orbel-$writer-\\*\\.log \(([0-9]+) of the \1 files named so\)$" \
        "$work.uninstalled"
    expect [ "$(grep '^problem ' "$work.log" | grep -ci "orbel-$writer-")" -eq 1 ]
done
# The reinstall ends too, and keeps its finding: the restart deletes the new Kestrane.exe.
expect grep -qxF "problem  $taken" "$work.log"
expect [ "$(grep -c '^   Nothing was installed again before the restart\.$' "$work.log")" -eq 0 ]
expect report '!report.installer.timedOut && report.installer.running.length === 2
    && report.afterUninstall.running.length === 2 && !report.reinstall.timedOut
    && report.reinstall.restartTakes.join() === "C:\\Program Files\\Orbel\\Kestrane.exe"
    && !report.changes.some(c => /ServiceCurrent/i.test(c.path))
    && report.noise.discounted.every(d => Array.isArray(d.places))
    && report.noise.discounted[2].places.length === 0 && report.noise.discounted[2].running.length === 2'
expect report '["agent", "service"].every(writer => report.afterUninstall.leftovers.filter(l => l.path.includes("orbel-" + writer + "-")
        && /\\orbel-\w+-\*\.log$/i.test(l.pattern) && l.files >= 2 && l.filesLeft === l.files).length === 1)
    && report.afterUninstall.leftovers.some(l => /\\Help\\Orbel\.chm$/i.test(l.path) && l.state === "left")'
# What a host and 32-bit programs start is broken, as in the leftovers variant.
expect grep -qF "  broken   the value \`OrbelHook\` of HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run starts rundll32 to load C:\\Program Files\\Orbel\\OrbelHook.dll at every logon" "$work.uninstalled"
expect grep -qF "  broken   the value (default) of HKLM\\SOFTWARE\\Classes\\CLSID\\{7B2C3D4E-1F5A-4B6C-9D7E-8F9A0B1C2D3E}\\LocalServer32 (32-bit view) starts C:\\Program Files\\Orbel\\Orbel.exe when a 32-bit program creates the class" "$work.uninstalled"
if [ "$windows" -eq 0 ]; then
    # Its seven leftovers, each a problem once, and the reinstall's: nothing more.
    expect grep -qx "7 item(s) of Orbel are left." "$work.log"
    expect [ "$(grep -c '^problem ' "$work.log")" -eq 8 ]
fi

# An installer that chains a runtime, as installers do: a Windows Installer package of its own
# (OrbelRuntime.wxs), installed with msiexec during the install; it lies beside the variant that
# starts things. The product is one finding and one leftover, named by its name, with how Windows
# removes it; none of Windows Installer's own places is named whole, though Wine makes them then.
check "$(dirname "$starts")/OrbelChainedSetup.exe"
cp "$work.log" "$work.chained-product.log"
expect [ "$code" -eq 1 ]
runtime='{5E0B8C1A-7D2F-4A3B-9C4D-1E2F3A4B5C6D}'
product="the product \"Orbel Runtime\" $runtime"
expect grep -qxF "problem  $product, which the installer chained (a Windows Installer package), survives the uninstall: Windows removes it with \`msiexec /x $runtime\`, and Kestrane never does  (docs/vendor-guide.md: \"A product the installer chained\")" "$work.log"
expect [ "$(grep -c "^problem  $product" "$work.log")" -eq 1 ]
# Its line after the uninstall counts all it owns: every change of its group in the report.
items=$("$node" -e 'const r = JSON.parse(require("fs").readFileSync(process.argv[1], "utf8"));
    console.log(r.products.length === 1 ? r.changes.filter(c => c.group === r.products[0].group).length : -1)' "$work.json")
sed -n '/^== After the uninstall/,/^  registered/p' "$work.log" >"$work.uninstalled"
expect grep -qxF "  left     $product, chained by the installer (with $items item(s))" "$work.uninstalled"
expect [ "$(grep -c "^  left     $product" "$work.uninstalled")" -eq 1 ]
# Nothing else of it counted, exactly under Wine's quiet prefix; a real machine may add its own.
if [ "$wine" -eq 1 ]; then
    expect [ "$(grep -c '^problem ' "$work.log")" -eq 1 ]
    expect [ "$(grep -c '^  left ' "$work.uninstalled")" -eq 1 ]
    expect grep -qx "1 item(s) of Orbel are left." "$work.log"
fi
# A value of theirs that Windows wrote by itself is named as discounted, with its reason: no
# leftover.
expect [ "$(grep -v '^     discounted  ' "$work.log" | grep -ciE '(C:\\windows\\Installer|HKLM\\SOFTWARE\\Classes\\Installer|CurrentVersion\\Installer\\(UpgradeCodes|UserData|Folders)|C:\\Config\.Msi)([^\\]|$)')" -eq 0 ]
expect report 'report.products.length === 1 && report.products[0].name === "Orbel Runtime"
    && report.products[0].removedBy === "msiexec /x '"$runtime"'" && report.products[0].windowsInstaller
    && report.products[0].items === '"$items"' && report.afterUninstall.leftovers.some(l => l.product === "Orbel Runtime" && l.productCode === "'"$runtime"'"
        && l.state === "left" && l.items === '"$items"' && l.itemsLeft === l.items)
    && !report.changes.some(c => /^(C:\\windows\\Installer|HKLM\\SOFTWARE\\Classes\\Installer|HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Installer\\(UpgradeCodes|UserData))$/i.test(c.path))'
if [ "$windows" -eq 0 ]; then
    sed -n '/^== After a restart of the prefix/,/^== Installing it again/p' "$work.log" >"$work.restarted"
    expect grep -qxF "  left     $product, chained by the installer (with $items item(s))" "$work.restarted"
    expect report 'report.afterRestart.summary.left === 1 && report.afterRestart.leftovers.filter(l => l.product).length === 1'
elif [ "$wine" -eq 1 ]; then
    # After the restart, as on Windows: the state's changes grouped again, the product still one.
    after_restart
    expect grep -qxF "  left     $product, chained by the installer (with $items item(s))" "$work.after"
    expect grep -qx "1 item(s) of Orbel are left." "$work.after"
fi

# An installer that copies itself outside the temporary folders, as bootstrappers do, and runs
# that copy: the same bytes, so the installer's own and not the application, and the install has
# not ended while it runs. The check waits for it to the limit (a short one here), stops it, and
# names nothing running.
selfcopy=$(dirname "$starts")/OrbelSelfCopySetup.exe
if [ "$windows" -eq 1 ]; then
    echo "SKIPPED: the installer that runs a copy of itself: the check waits for an installer alike on both paths, and the Wine path's run holds it"
elif [ ! -f "$selfcopy" ]; then
    echo "SKIPPED: the installer that runs a copy of itself: no $selfcopy"
else
    limit=8 check "$selfcopy"
    expect [ "$code" -eq 1 ]
    expect grep -qx '   it did not end within 8 s and was stopped' "$work.log"
    expect [ "$(grep -c 'running after the install: ' "$work.log")" -eq 0 ]
    expect grep -qF 'problem  the installer did not end within 8 s (--limit): ' "$work.log"
    expect report 'report.installer.timedOut && report.installer.running.length === 0
        && report.changes.some(c => /\\Package Cache\\[^\\]+\\OrbelSelfCopySetup\.exe$/i.test(c.path))'
fi

# The same application installed with Inno Setup: recognised, started with its own silent
# switches, and nothing of it left.
if [ "$inno" = - ]; then
    echo "SKIPPED: the Inno Setup sample: $inno_skipped"
else
    check "$inno"
    expect [ "$code" -eq 0 ]
    expect grep -q "^== $(basename "$inno") is a 32-bit installer (x86), made with Inno Setup:" "$work.log"
    expect grep -qx "== Installing it: $(basename "$inno") /VERYSILENT /SUPPRESSMSGBOXES /NORESTART /SP-" "$work.log"
    expect grep -qx "Nothing of Orbel is left." "$work.log"
    expect report 'report.installer.kind === "Inno Setup" && report.findings.every(f => f.verdict !== "problem")'
    expect report 'report.reinstall.installedAgain && report.reinstall.restartTakes.length === 0'
    [ "$windows" -eq 1 ] || expect report 'report.afterRestart.newInstallation.whole && report.afterRestart.exitCode === 0'
fi
# Only the annotated row wrote to the job's summary.
expect [ ! -e "$work.job-summary" ]
exit $failed
