#!/usr/bin/env bash
# InstallerCheck.sh ROOT BUILD WORK SAMPLE_SETUP BROKEN_SETUP LEFTOVERS_SETUP BUSY_MACHINE STARTS_THINGS_SETUP
#                   [INNO_SETUP|- [WHY]]
# InstallerCheck.sh --places: prints the places the expected lines name on this machine, and ends.
# The check passes the sample installer without restarting anything, even beside a program
# that keeps changing the machine, and its new installation, made before the restart, loses
# nothing to it; names each fault of the broken variant in its own problem line, with exit
# code 1; says what the leftovers of a right layout break, and what the restart takes from an
# installer that leaves the uninstall's deletions pending. Under Wine through
# tools/check-installer.sh, which also simulates the restart; on Windows (a throwaway one: it
# installs for real) CheckInstaller.exe from BUILD itself, and no restart.
set -uo pipefail

case "$(uname -s)" in
MINGW* | MSYS* | CYGWIN*)
    windows=1
    programs="$(cygpath -w "$APPDATA")\\Microsoft\\Windows\\Start Menu\\Programs"
    # As it is: cygpath -w makes a bare drive letter "C:\", and the check names "C:\OrbelData".
    windir=$(cygpath -w "$WINDIR") drive=$SYSTEMDRIVE ;;
*)
    windows=0
    programs="C:\\users\\$(id -un)\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu\\Programs"
    windir='C:\windows' drive='C:' ;;
esac
if [ "${1:-}" = --places ]; then
    printf '%s\n' "$programs" "$windir" "$drive\\OrbelData"
    exit 0
fi
root=$1 build=$2 work=$3 sample=$4 broken=$5 leftovers=$6 busy=$7 starts=$8
inno=${9:--} inno_skipped=${10:-the Inno Setup sample was not built here}
failed=0
# As on a hosted runner, where every row runs with GITHUB_ACTIONS=true: only the row that tests
# the runner's annotations may write them, and the job's summary.
export GITHUB_ACTIONS=true GITHUB_STEP_SUMMARY=$work.job-summary
rm -f "$work.job-summary"
# Each run's text, kept for the docs' report samples (tests/docs/Samples.js): none of an older run.
rm -f "$work.sample-installer.log" "$work.broken-variant-problems.log" "$work.leftovers-variant.log"
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
    rm -f "$(cygpath -u "$WINDIR")"/Help/orbel-*.log "$(cygpath -u "$WINDIR")/Help/Orbel.chm"
    for path in "$PROGRAMFILES\\Orbel" "$APPDATA\\Microsoft\\Windows\\Start Menu\\Programs\\Orbel" \
        "$APPDATA\\Microsoft\\Windows\\Start Menu\\Programs\\Orbel.lnk" "$USERPROFILE\\Desktop\\Orbel.lnk" \
        "$SYSTEMDRIVE\\OrbelData" "$WINDIR\\Fonts\\Orbel.ttf" "$SYSTEMDRIVE\\ProgramData\\Orbel"; do
        rm -rf "$(cygpath -u "$path")"
    done
    for key in 'HKLM\SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\Orbel' \
        'HKLM\SOFTWARE\WOW6432Node\Microsoft\Windows\CurrentVersion\Uninstall\Orbel' 'HKCU\Software\Orbel' \
        'HKLM\SYSTEM\CurrentControlSet\Services\OrbelAgent'; do
        MSYS_NO_PATHCONV=1 reg delete "$key" /f >/dev/null 2>&1
    done
    MSYS_NO_PATHCONV=1 reg delete 'HKCU\Environment' /v ORBEL_HOME /f >/dev/null 2>&1
    MSYS_NO_PATHCONV=1 reg delete 'HKCU\Software\Microsoft\Windows\CurrentVersion\Run' /v Orbel /f >/dev/null 2>&1
    MSYS_NO_PATHCONV=1 reg delete 'HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts' /v 'Orbel (TrueType)' /f \
        >/dev/null 2>&1
    MSYS_NO_PATHCONV=1 netsh advfirewall firewall delete rule name="Orbel Inbound" >/dev/null 2>&1
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

# check SETUP [BUSY]: the whole check, its text in $work.log, its report in $work.json. With
# annotate=SUMMARY, as on a hosted runner, writing its summary to SUMMARY (a Windows path).
check() {
    rm -f "$work.json"
    local runner=(env -u GITHUB_ACTIONS -u GITHUB_STEP_SUMMARY)
    [ -z "${annotate:-}" ] || runner=(env GITHUB_ACTIONS=true "GITHUB_STEP_SUMMARY=$annotate")
    if [ "$windows" -eq 1 ]; then
        clean_orbel
        local busy_pid=
        if [ -n "${2:-}" ]; then "$2" & busy_pid=$!; sleep 2; fi
        "${runner[@]}" "$build/CheckInstaller.exe" --json "$(cygpath -w "$work.json")" --state "$(cygpath -w "$work.state")" \
            "$(cygpath -w "$1")" </dev/null >"$work.log" 2>&1
        code=$?
        [ -z "$busy_pid" ] || kill "$busy_pid"
    else
        "${runner[@]}" KESTRANE_PREBUILT=1 BUILD_DIR="$build" KESTRANE_CHECK_DIR="$work" \
            bash "$root/tools/check-installer.sh" --json "$work.json" ${2:+--beside "$2"} "$1" </dev/null >"$work.log" 2>&1
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
    [ -n "$count" ] && { [ "$count" -eq 10 ] || { [ "$windows" -eq 1 ] && [ "$count" -gt 10 ]; }; }
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
expect grep -qx "Nothing of Orbel is left." "$work.log"
# Its kind read from the file: NSIS's own silent switch.
expect grep -qx "== $(basename "$sample") is a 64-bit installer (x86-64), made with NSIS." "$work.log"
expect report 'report.installer.kind === "NSIS" && report.installer.arguments.join(" ") === "/S"'
# The machine the check runs on is never restarted; the deletions wait for the restart.
expect grep -qx 'box 2 "Kestrane" \[OK\] \[Cancel\] answered Cancel (the check never restarts)' "$work.log"
expect grep -qxF '  pending  C:\Program Files\Orbel (with 1 of the 3 item(s) put in it)' "$work.log"
# What kept changing beside it, every 7 to 10 s, is not the installer's, whichever of the check's
# steps its writes fell in: the look before the install, or the install itself and then the
# watch after it.
expect report 'report.exitCode === 0 && report.uninstall.boxes.length === 3'
expect report '!report.changes.some(c => /BusyMachine/i.test(c.path))
    && report.noise.discounted.map(d => d.step).join() === "before the install,after the install"'
expect report 'report.uninstall.boxes[1].answer === "Cancel" && report.findings.every(f => f.verdict !== "problem")'
# Installed again before the restart, as a user may: the installer takes its folder out of
# the deletions the uninstall registered, and the restart leaves the new installation whole.
expect grep -qx '   the restart deletes nothing of the new installation (foreseen from the deletions pending)' "$work.log"
expect report 'report.reinstall.installedAgain && report.reinstall.placesHeld === report.reinstall.changes
    && report.reinstall.restartTakes.length === 0'
if [ "$windows" -eq 0 ]; then
    expect report 'report.afterRestart.observed && report.afterRestart.exitCode === 0
        && report.afterRestart.summary.left === 0 && report.afterRestart.newInstallation.whole
        && report.afterRestart.newInstallation.placesHeld === report.reinstall.placesHeld'
fi

# As on a hosted runner: each problem is also the runner's annotation, the summary goes to the job's.
rm -f "$work.summary"
if [ "$windows" -eq 1 ]; then summary=$(cygpath -w "$work.summary"); else summary="Z:${work//\//\\}.summary"; fi
annotate=$summary check "$broken"
cp "$work.log" "$work.broken-variant-problems.log"
expect [ "$code" -eq 1 ]
# Each problem is an annotation.
expect [ "$(grep -c '^::error title=CheckInstaller%3A ' "$work.log")" -eq "$(grep -c '^problem ' "$work.log")" ]
expect grep -qxF '::error title=CheckInstaller%3A Check your installer::the uninstall entry `Orbel` is in the 32-bit registry view, where Kestrane never looks (a 32-bit installer needs SetRegView 64)' "$work.log"
expect left_of_broken_variant "$work.summary"
cat >"$work.expected" <<END
problem  the uninstall entry \`Orbel\` is in the 32-bit registry view, where Kestrane never looks (a 32-bit installer needs SetRegView 64)  (README: "Check your installer")
problem  the argument text \`"Orbel/NULL"\`: the application name \`"Orbel\` holds \`"\`, which no folder name can hold: Kestrane refuses it with "Erreur.\nArguments."  (README: "The argument text")
problem  C:\\Program Files\\Orbel\\readme.txt survives the uninstall: Kestrane removes only Orbel.exe, Orbel.chm and Kestrane.exe from the folder, which then stays too  (README: "What Kestrane never touches")
problem  $drive\\OrbelData (a folder with 1 item in it) survives the uninstall: Kestrane removes nothing outside the application folder but its two shortcuts  (README: "What Kestrane never touches")
problem  the folder $programs\\Orbel with the shortcut Orbel.lnk survives the uninstall: Kestrane removes Orbel.lnk only directly in the per-user Programs folder and on the per-user desktop  (README: "What Kestrane never touches")
problem  $windir\\Fonts\\Orbel.ttf survives the uninstall: Kestrane removes nothing outside the application folder but its two shortcuts  (README: "What Kestrane never touches")
problem  $windir\\win.ini, which was there before the install, was changed by the installer (its size was N bytes, now N), and stays changed after the uninstall: Kestrane restores no file  (README: "What Kestrane never touches")
problem  the value \`ORBEL_HOME\` of HKCU\\Environment, added by the installer, survives the uninstall: Kestrane removes no value but those of the two keys it deletes  (README: "What Kestrane never touches")
problem  the value \`Orbel (TrueType)\` of HKLM\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts (64-bit view), added by the installer, survives the uninstall: Kestrane removes no value but those of the two keys it deletes  (README: "What Kestrane never touches")
problem  Kestrane ended with exit code 1  (README: "Exit codes")
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
    [ "$windows" -eq 1 ] || { echo "FAILED: lines that are not Orbel's under Wine" >&2; failed=1; }
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

check "$leftovers"
cp "$work.log" "$work.leftovers-variant.log"
expect [ "$code" -eq 1 ]
run="HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Run"
# What starts a removed program, or names a class whose server it is, is said first, with when
# Windows tries it: the per-user classes named by their own keys, never by the shared ones.
sed -n '/^== After the uninstall/,/^  registered/p' "$work.log" | sed -n 2,7p >"$work.broken"
classes='HKCU\Software\Classes' class='{6F1A2B3C-0D4E-4F50-8A6B-7C8D9E0F1A2B}' orbel='C:\Program Files\Orbel\Orbel.exe'
cat >"$work.expected" <<END
  broken   the value \`Path\` of HKCU\\Environment names C:\\Program Files\\Orbel\\bin, a folder that is gone: every program that searches the Path looks there in vain
  broken   $classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu names the class $class, whose server $orbel is gone: Explorer tries and fails to start it each time a user right-clicks a file
  broken   the value (default) of $classes\\CLSID\\$class\\LocalServer32 starts $orbel when a program creates the class $class, but that program is gone: Windows tries and fails when a program creates the class $class
  broken   the value (default) of $classes\\Orbel.Document\\shell\\open\\command starts $orbel on opening a file of type Orbel.Document, but that program is gone: Windows tries and fails on opening a file of type Orbel.Document
  broken   the value \`Orbel\` of $run starts $orbel at every logon, but that program is gone: Windows tries and fails at every logon
  broken   the value \`ImagePath\` of HKLM\\SYSTEM\\CurrentControlSet\\Services\\OrbelAgent starts $orbel at every startup, but that program is gone: Windows tries and fails at every startup
END
expect diff -u "$work.expected" "$work.broken"
expect grep -qxF "  left     $classes\\.orbeldoc (with 1 of the 1 item(s) put in it)" "$work.log"
expect report 'report.afterUninstall.leftovers.filter(l => l.state === "broken").length === 6
    && !report.changes.some(c => /^HKCU\\Software\\Classes(\\CLSID|\\\*(\\shellex(\\ContextMenuHandlers)?)?)?$/i.test(c.path)
        && c.kind === "key")'
expect report 'report.afterUninstall.leftovers.some(l => l.state === "broken" && l.when === "at every logon"
    && l.program === "C:\\Program Files\\Orbel\\Orbel.exe")'
# Its installer does not take its folder out of the pending deletions: a user who installs it
# again before the restart loses the new Kestrane.exe at the restart.
taken="installed again after the uninstall and before the restart, as a user may do, the application loses C:\\Program Files\\Orbel\\Kestrane.exe at the restart: the deletions the uninstall registered still wait for the restart, and take the new installation's files, so its uninstall entry then starts a program that is gone. Before installing, take the folder's entries out of PendingFileRenameOperations (examples/nsis/PendingDeletions.nsh does it), or ask for the restart first  (README: \"A reinstall before the restart\")"
expect grep -qxF "problem  $taken" "$work.log"
expect report 'report.reinstall.restartTakes.join() === "C:\\Program Files\\Orbel\\Kestrane.exe"'
if [ "$windows" -eq 0 ]; then
    # Installed again before the restart, it still has its leftovers named after the restart,
    # as seen then, before the reinstall made them again.
    sed -n '/^== After a restart of the prefix/,/^== Installing it again/p' "$work.log" | sed -n 2,7p >"$work.broken"
    expect diff -u "$work.expected" "$work.broken"
    expect report 'report.afterRestart.observed && report.afterRestart.summary.left === 7 && report.afterRestart.exitCode === 1
        && report.afterRestart.leftovers.filter(l => l.state === "broken").length === 6
        && report.afterRestart.leftovers.some(l => l.state === "left" && l.path === "HKCU\\Software\\Classes\\.orbeldoc")'
    expect grep -qx "7 item(s) of Orbel are left." "$work.log"
    # The restart does what was foreseen, a problem counted once.
    expect grep -qF "   As foreseen, the restart deleted C:\\Program Files\\Orbel\\Kestrane.exe of the installation made again before it: " \
        "$work.log"
    expect report '!report.afterRestart.newInstallation.whole
        && report.afterRestart.newInstallation.gone.join() === "C:\\Program Files\\Orbel\\Kestrane.exe"'
    expect report 'report.findings.filter(f => f.verdict === "problem").length === report.afterRestart.summary.problems'
    # As on Windows once the machine has restarted: --after-restart sees the new installation, and
    # judges the places it holds again by the look after the uninstall: the leftovers are still
    # named, though what they start is there again.
    env -u GITHUB_ACTIONS -u GITHUB_STEP_SUMMARY WINEPREFIX="$work/prefix" HOME="$work/home" WINEDEBUG=-all \
        wine "$build/CheckInstaller.exe" --after-restart "Z:${work//\//\\}\\check.state" --json "Z:${work//\//\\}.json" \
        </dev/null >"$work.after" 2>&1
    code=$?
    cat "$work.after"
    WINEPREFIX=$work/prefix wineserver -k 2>/dev/null
    expect [ "$code" -eq 1 ]
    expect grep -qxF "  left     $classes\\.orbeldoc (with 1 of the 1 item(s) put in it)" "$work.after"
    expect grep -qxF "  left     $classes\\*\\shellex\\ContextMenuHandlers\\OrbelMenu (with 1 of the 1 item(s) put in it)" "$work.after"
    expect grep -qx "7 item(s) of Orbel are left." "$work.after"
    expect report '!report.afterRestart.observed && report.afterRestart.summary.left === 7
        && !report.afterRestart.newInstallation.whole && (JSON.stringify(report).match(/"afterRestart"/g) || []).length === 1
        && report.afterRestart.summary.problems === report.findings.filter(f => f.verdict === "problem").length'
fi
# An installer that starts what it installed, as installers start a tray agent and a service:
# it has ended when its own processes have; the agent and the service run on and are named,
# after the uninstall too; while they run the watch takes nothing for the machine's own, so
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
expect grep -qxF "   not watched after the install: 2 program(s) of the new installation run, and what changes now may be theirs: nothing is taken for the machine's own changes" "$work.log"
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
    && report.noise.discounted[1].places.length === 0 && report.noise.discounted[1].running.length === 2'
expect report '["agent", "service"].every(writer => report.afterUninstall.leftovers.filter(l => l.path.includes("orbel-" + writer + "-")
        && /\\orbel-\w+-\*\.log$/i.test(l.pattern) && l.files >= 2 && l.filesLeft === l.files).length === 1)
    && report.afterUninstall.leftovers.some(l => /\\Help\\Orbel\.chm$/i.test(l.path) && l.state === "left")'
if [ "$windows" -eq 0 ]; then
    # Its five leftovers, each a problem once, and the reinstall's: nothing more.
    expect grep -qx "5 item(s) of Orbel are left." "$work.log"
    expect [ "$(grep -c '^problem ' "$work.log")" -eq 6 ]
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
