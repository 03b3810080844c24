#!/usr/bin/env bash
# Runs the packed suite (unit, resources, end to end) from one folder that the build makes
# (build/windows-suite): natively on Windows, in Git for Windows' bash as an administrator,
# or anywhere else under a throwaway Wine prefix of its own.
#   bash tools/windows-test.sh [FOLDER]
# On Windows it deletes items under Program Files and HKLM, adds and removes firewall rules
# and changes the user's shortcuts: run it only on a throwaway machine.
set -uo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
folder=${1:-}
[ -z "$folder" ] || folder=$(cd "$folder" && pwd) || exit 2

case "$(uname -s)" in
MINGW* | MSYS* | CYGWIN*)
    place=Windows
    [ -n "$folder" ] || folder=$here
    # Kestrane's manifest demands elevation, which a test cannot answer. An elevated token
    # holds the high (or system) mandatory level; "net session" would also need the Server
    # service, which an image may disable. MSYS must not turn /groups into a path.
    system32=$(cygpath -u "${SYSTEMROOT:-C:\Windows}")/System32
    if ! MSYS_NO_PATHCONV=1 MSYS2_ARG_CONV_EXCL='*' "$system32/whoami.exe" /groups 2>/dev/null |
        grep -Eq 'S-1-16-(12288|16384)'; then
        echo "Run this as an administrator." >&2
        exit 2
    fi
    native_path() { cygpath -w "$1"; }
    # coreutils' timeout, not Windows' own timeout.exe, which only waits. Git for Windows
    # ships it; a bash without it still runs the suite, unbounded, and says so.
    if [ -x /usr/bin/timeout ]; then
        run() { /usr/bin/timeout -k 10 "$limit" "$@"; }
    else
        echo "This bash has no /usr/bin/timeout: the test programs run without a time limit."
        run() { "$@"; }
    fi
    # What a failed hosted run's log must tell without another run.
    describe() {
        cat >"$1/describe.ps1" <<'PS1'
$ErrorActionPreference = 'Stop'
function Show($name, $get) {
    try { $value = & $get } catch { $value = "unknown: $($_.Exception.Message)" }
    "${name}: $value"
}
Show 'Windows' {
    $v = Get-ItemProperty 'HKLM:\SOFTWARE\Microsoft\Windows NT\CurrentVersion'
    "$((Get-CimInstance Win32_OperatingSystem).Caption) $($v.DisplayVersion), build $($v.CurrentBuild).$($v.UBR)"
}
Show 'Firewall service (mpssvc)' { (Get-Service mpssvc).Status }
Show 'Firewall rules in the store' { (New-Object -ComObject HNetCfg.FwPolicy2).Rules.Count }
Show 'UAC' {
    $p = Get-ItemProperty 'HKLM:\SOFTWARE\Microsoft\Windows\CurrentVersion\Policies\System'
    "EnableLUA=$($p.EnableLUA) ConsentPromptBehaviorAdmin=$($p.ConsentPromptBehaviorAdmin) PromptOnSecureDesktop=$($p.PromptOnSecureDesktop)"
}
PS1
        MSYS_NO_PATHCONV=1 MSYS2_ARG_CONV_EXCL='*' powershell.exe -NoProfile -NonInteractive \
            -ExecutionPolicy Bypass -File "$(cygpath -w "$1/describe.ps1")" </dev/null 2>&1 | tr -d '\r' ||
            echo "PowerShell could not describe this machine."
    }
    ;;
*)
    place=Wine
    if [ ! -f "$here/common.sh" ]; then
        echo "Under Wine, run tools/windows-test.sh from the repository." >&2
        exit 2
    fi
    source "$here/common.sh"
    set +e
    install_build_packages
    if [ -z "$folder" ]; then
        build_all >/dev/null || exit 1
        folder=$BUILD_DIR/windows-suite
    fi
    start_prefix "$BUILD_DIR/wine-windows-suite"
    native_path() { windows_path "$1"; }
    run() { /usr/bin/timeout -k 10 "$limit" wine "$@"; }
    describe() { echo "$(wine --version) on $(. /etc/os-release 2>/dev/null; echo "${PRETTY_NAME:-Linux}")"; }
    ;;
esac

for file in UnitTests.exe ResourcesTest.exe E2ETest.exe Kestrane.exe CheckInstaller.exe PlantedDll.dll OrbelSetup.exe; do
    [ -f "$folder/$file" ] || { echo "$folder holds no $file: build the suite first." >&2; exit 2; }
done
for file in FirewallStandIn.dll FirewallRules.exe; do
    if [ "$place" = Wine ] && [ ! -f "$folder/$file" ]; then
        echo "$folder holds no $file: build the suite first." >&2
        exit 2
    fi
done
logs=$(mktemp -d)
echo "== The machine"
describe "$logs"
export KESTRANE_EXE=$(native_path "$folder/Kestrane.exe")
export ORBEL_SETUP=$(native_path "$folder/OrbelSetup.exe")
export PLANTED_DLL=$(native_path "$folder/PlantedDll.dll")
# Under Wine the restart request is read from Wine's debug output, kept here.
export KESTRANE_WINE_LOG=$(native_path "$logs/wine-stderr.log")
# Wine's firewall keeps no rules: there the end-to-end tests register the stand-in firewall in
# the prefix. Never on Windows, whose firewall is the real one.
if [ "$place" = Wine ]; then
    export FIREWALL_STANDIN=$(native_path "$folder/FirewallStandIn.dll")
    export FIREWALL_RULES=$(native_path "$folder/FirewallRules.exe")
fi
: >"$logs/wine-stderr.log"

passed=0 failed=0 skipped=0
count() { sed -n "s/^\[  $1 *\] \([0-9]*\) tests\{0,1\}[.,].*/\1/p" "$2" | head -n 1; }
# Seconds each program may take, several times its usual time: a hung program is stopped,
# counts as a failure, and the rest of the suite still runs. E2ETest's rows bound
# themselves too; together they stay well under this.
limit_of() { case $1 in E2ETest) echo 1800 ;; *) echo 120 ;; esac; }
for suite in UnitTests ResourcesTest E2ETest; do
    log=$logs/$suite.log
    limit=$(limit_of "$suite")
    # Wine very rarely fails to start a program at all: such a run is tried once more.
    for try in 1 2; do
        echo "== $suite ($place, at most $limit s)"
        run "$folder/$suite.exe" --gtest_color=no 2> >(tee -a "$logs/wine-stderr.log" >&2) | tee "$log"
        status=$?
        [ "$status" -eq 124 ] || [ "$status" -eq 137 ] && break
        grep -q '^\[==========\] .* ran\.' "$log" && break
    done
    p=$(count PASSED "$log") f=$(count FAILED "$log") s=$(count SKIPPED "$log")
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "$suite did not finish within its $limit s: stopped, and counted as a failure"
        f=$((${f:-0} + 1))
    elif [ -z "$p" ] || { [ "$status" -ne 0 ] && [ -z "$f" ]; }; then
        echo "$suite did not finish (exit code $status)"
        f=$((${f:-0} + 1))
    fi
    passed=$((passed + ${p:-0})) failed=$((failed + ${f:-0})) skipped=$((skipped + ${s:-0}))
done

other=$([ "$place" = Wine ] && echo Windows || echo Wine)
echo "== Suite on $place: $skipped rows skipped here, since they hold only on $other"
echo "$passed passed, $failed failed, $skipped skipped"
rm -rf "$logs"
[ "$failed" -eq 0 ]
