#!/usr/bin/env bash
# SignedRelease.sh ROOT WORK RESOURCES_TEST E2E_TEST
# Runs tools/release.sh with a throwaway certificate, then checks that the
# signature is that certificate's, and that the signed executable keeps its
# resources and still uninstalls under Wine (the prefix tools/test.sh started).
set -euo pipefail
root=$1 work=$2 resourcesTest=$3 e2eTest=$4
rm -rf "$work"
mkdir -p "$work/tmp"
cd "$work"

check() {
    echo "--- $1"
    shift
    if ! "$@"; then
        echo "FAILED: $*" >&2
        exit 1
    fi
}

not() { ! "$@"; }

certificate() {
    openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" -days 2 -subj "/CN=Kestrane test $1" 2>/dev/null
    openssl pkcs12 -export -inkey "$1.key" -in "$1.pem" -out "$1.pfx" -passout "pass:$2"
}
certificate signer 'throw away'
certificate stranger other

release() {
    env -u KESTRANE_SIGN_TIMESTAMP_URL TMPDIR="$work/tmp" KESTRANE_DIST="$work/dist" \
        KESTRANE_REPOSITORY_URL=https://example.org/vendor/kestrane "$@" \
        bash "$root/tools/release.sh" </dev/null
}

halfCertificate() {
    ! release KESTRANE_SIGN_PFX="$work/signer.pfx" 2>half.log && grep "KESTRANE_SIGN_PASSWORD is not" half.log
}
check "half a certificate is refused" halfCertificate
check "signed release" release KESTRANE_SIGN_PFX="$work/signer.pfx" KESTRANE_SIGN_PASSWORD='throw away'
check "sums of the signed and unsigned executables, of the Linux runner and of the CI script" bash -c \
    'cd dist && sha256sum -c SHA256SUMS && [ "$(wc -l <SHA256SUMS)" -eq 6 ] && grep -q " check-installer-linux.sh$" SHA256SUMS &&
     grep -q " check-installer.ps1$" SHA256SUMS'
check "the zip holds the signed executables" bash -c \
    'mkdir unzipped && cd unzipped && cmake -E tar xf ../dist/Kestrane-*.zip && cmp Kestrane.exe ../dist/Kestrane.exe && cmp CheckInstaller.exe ../dist/CheckInstaller.exe'
# Unpacked, it runs as it is, and it is the committed one.
check "the zip holds the Linux runner, executable" bash -c \
    '[ -x unzipped/check-installer-linux.sh ] && cmp unzipped/check-installer-linux.sh dist/check-installer-linux.sh &&
     git -C "$1" show HEAD:tools/check-installer-linux.sh | cmp - unzipped/check-installer-linux.sh' - "$root"
# A vendor who holds only the zip reaches the repository its README's links lead into.
check "the zip's README names the repository and the commit" bash -c \
    'head -n 2 unzipped/README.md | grep -qF "of https://example.org/vendor/kestrane, built from commit $(git -C "$1" rev-parse HEAD)" &&
     git -C "$1" show HEAD:README.md | cmp -s - <(tail -n +4 unzipped/README.md)' - "$root"
# The Windows CI job's script comes with the release, not from the repository at some commit.
check "the zip holds the CI script, the committed one" bash -c \
    'git -C "$1" show HEAD:examples/ci/check-installer.ps1 | cmp - unzipped/check-installer.ps1' - "$root"
check "the sums in the zip check what the zip holds" bash -c 'cd unzipped && sha256sum -c --ignore-missing SHA256SUMS | grep -c ": OK$" | grep -qx 4'
# The runner refuses a wrong command line at once, naming the option and its range, and makes no
# prefix for it; the script accepts no --watch the check would refuse.
refused() {
    local started=$(date +%s%N) code=0
    bash unzipped/check-installer-linux.sh "$@" >refused.log 2>&1 </dev/null || code=$?
    local ms=$(( ($(date +%s%N) - started) / 1000000 ))
    cat refused.log
    [ "$code" -eq 2 ] && [ "$ms" -lt 1000 ] && [ ! -e unzipped/check-installer ]
}
touch setup.exe
mkdir -p folder.exe
check "the runner refuses --limit 0" bash -c "$(declare -f refused); refused --limit 0 setup.exe && grep -q -- '--limit takes a whole number of seconds from 1 to 86400' refused.log"
check "the runner refuses --watch 601" bash -c "$(declare -f refused); refused --watch 601 setup.exe && grep -q -- '--watch takes a whole number of seconds from 0 to 600' refused.log"
check "the runner refuses a folder" bash -c "$(declare -f refused); refused folder.exe && grep -q 'folder.exe is a folder' refused.log"
check "the runner refuses a missing file" bash -c "$(declare -f refused); refused missing.exe && grep -q 'no such file: missing.exe' refused.log"
check "the runner refuses the check's options it does not take, naming them" bash -c "$(declare -f refused); refused --settle 2 setup.exe &&
    grep -qF -- '--settle is an option of CheckInstaller.exe on Windows, not of this runner' refused.log"
# What the runner writes is checked before it installs or makes anything: a report the caller
# asked for that cannot be written, the job's summary, a file that is no Windows program.
check "the runner refuses --json into a missing folder" bash -c "$(declare -f refused); refused --json nodir/report.json setup.exe &&
    grep -qxF 'check-installer-linux.sh: --json nodir/report.json: the folder nodir does not exist: make it first, or name another' refused.log"
printf 'MZ' >windows.exe && head -c 58 /dev/zero >>windows.exe && printf '\x40\0\0\0PE\0\0\x64\x86' >>windows.exe
cp windows.exe windows32.exe && printf '\x4c\x01' | dd of=windows32.exe bs=1 seek=68 conv=notrunc 2>/dev/null
echo 'not a program' >notes.exe
check "the runner refuses a file that is no Windows program" bash -c "$(declare -f refused); refused notes.exe &&
    grep -qF 'notes.exe is not a Windows program' refused.log"
check "the runner refuses a job summary it cannot write to" bash -c "$(declare -f refused); GITHUB_ACTIONS=true GITHUB_STEP_SUMMARY=\$PWD/nodir/summary.md refused windows.exe &&
    grep -qF 'GITHUB_STEP_SUMMARY=$work/nodir/summary.md: the folder $work/nodir does not exist' refused.log"

# The runner's whole run under stand-ins for Wine, CheckInstaller.exe, dpkg and apt: what it does
# around the check, in a second. The stand-in dpkg keeps its architectures in a file, and apt-get
# writes each command line it gets to apt.log; STANDIN_APT plays a case.
mkdir -p standin
cat >standin/wine <<'END'
#!/bin/bash
# Wine's own programs do nothing; CheckInstaller.exe prints STANDIN_MACHINE for --machine, else a
# line of report, writes its --json and the job's summary unless told not to, and ends with STANDIN_CODE.
case $1 in reg|cmd|wineboot) exit 0 ;; esac
shift
unix() { local path=${1:2}; printf '%s' "${path//\\//}"; }
json=
while [ $# -gt 0 ]; do
    case $1 in
    --machine) echo "${STANDIN_MACHINE:-x86-64}"; exit 0 ;;
    --json) json=$2; shift 2 ;;
    --) break ;;
    *) shift ;;
    esac
done
echo "Nothing of Orbel is left."
[ -z "$json" ] || [ -n "${STANDIN_NO_JSON:-}" ] || echo '{}' >"$(unix "$json")"
[ "${GITHUB_ACTIONS:-}" != true ] || [ -n "${STANDIN_NO_SUMMARY:-}" ] || echo '### CheckInstaller' >>"$(unix "$GITHUB_STEP_SUMMARY")"
exit "${STANDIN_CODE:-0}"
END
printf '#!/bin/sh\nmkdir -p "$WINEPREFIX/drive_c/windows"\n' >standin/wineboot
printf '#!/bin/sh\nexit 0\n' >standin/wineserver
printf '#!/bin/sh\nprintf "install ok installed"\n' >standin/dpkg-query
printf '#!/bin/sh\nexec "$@"\n' >standin/sudo
cat >standin/dpkg <<'END'
#!/bin/bash
state=$(dirname "$0")/architectures
touch "$state"
case $1 in
--print-foreign-architectures) cat "$state" ;;
--add-architecture) echo "$2" >>"$state" ;;
--remove-architecture) grep -vx "$2" "$state" >"$state.new" || true; mv "$state.new" "$state" ;;
esac
END
cat >standin/apt-get <<'END'
#!/bin/bash
echo "$*" >>"$(dirname "$0")/apt.log"
case " $* " in
*" update "*)
    if [ "$STANDIN_APT" = unreachable ]; then
        # As apt does when the network fails: warnings, and exit code 0.
        echo "Err:1 http://deb.debian.org/debian bookworm InRelease"
        echo "  Temporary failure resolving 'deb.debian.org'"
        echo "W: Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease  Temporary failure resolving 'deb.debian.org'"
        echo "W: Some index files failed to download. They have been ignored, or old ones used instead."
    else
        echo "Hit:1 http://deb.debian.org/debian bookworm InRelease"
    fi ;;
*" -s install "*)
    echo "Reading package lists..."
    if [ "$STANDIN_APT" = removal ]; then
        printf 'The following packages will be REMOVED:\n  libwine wine64\nThe following NEW packages will be installed:\n  libwine:i386 wine32:i386\n'
        echo "0 upgraded, 2 newly installed, 2 to remove and 0 not upgraded."
        echo "Remv wine64 [8.0~repack-4]"
        echo "Remv libwine [8.0~repack-4]"
        echo "Inst libwine:i386 (8.0~repack-4+deb12u1 Debian:12.9/stable [i386])"
        echo "Inst wine32:i386 (8.0~repack-4+deb12u1 Debian:12.9/stable [i386])"
    else
        printf 'The following packages will be upgraded:\n  libc6\nThe following NEW packages will be installed:\n  libc6:i386 wine32:i386\n'
        echo "1 upgraded, 2 newly installed, 0 to remove and 0 not upgraded."
        echo "Inst libc6 [2.36-9+deb12u7] (2.36-9+deb12u9 Debian:12.9/stable [amd64]) []"
        echo "Inst libc6:i386 (2.36-9+deb12u9 Debian:12.9/stable [i386])"
        echo "Inst wine32:i386 (8.0~repack-4 Debian:12.9/stable [i386])"
    fi ;;
*" install "*)
    if [ "$STANDIN_APT" = install-fails ]; then
        echo "E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine32_8.0~repack-4_i386.deb  Connection failed" >&2
        exit 100
    fi ;;
esac
END
chmod +x standin/*
touch standin/CheckInstaller.exe
# standin_run [VARIABLE=VALUE...] -- RUNNER ARGUMENTS: the zip's runner under the stand-ins, on a
# machine with no i386 architecture; its exit code in code, its text in standin.out and standin.err.
standin_run() {
    local settings=()
    while [ "$1" != -- ]; do settings+=("$1"); shift; done
    shift
    rm -rf standin-prefix standin/apt.log standin/architectures standin.out standin.err
    code=0
    env -u GITHUB_ACTIONS -u GITHUB_STEP_SUMMARY PATH="$work/standin:$PATH" KESTRANE_CHECK_EXE="$work/standin/CheckInstaller.exe" \
        KESTRANE_CHECK_DIR="$work/standin-prefix" "${settings[@]}" \
        bash unzipped/check-installer-linux.sh "$@" </dev/null >standin.out 2>standin.err || code=$?
    cat standin.out standin.err
}
# The last line of the run's errors is exactly LINE, and nothing is left of what the run added.
said_and_undone() {
    [ "$code" -eq 2 ] && [ "$(tail -n 1 standin.err)" = "check-installer-linux.sh: $1" ] && [ ! -s standin/architectures ] &&
        ! grep -q -- ' -y ' standin/apt.log
}
lists_unreachable() {
    standin_run STANDIN_MACHINE=x86 STANDIN_APT=unreachable -- --install-wine32 windows32.exe
    said_and_undone "apt could not fetch Debian's package lists (W: Failed to fetch http://deb.debian.org/debian/dists/bookworm/InRelease  Temporary failure resolving 'deb.debian.org'): Wine's 32-bit side was not installed, and nothing on this machine was changed"
}
check "the consent path stops when apt cannot fetch the lists, and changes nothing" lists_unreachable
removal_planned() {
    standin_run STANDIN_MACHINE=x86 STANDIN_APT=removal -- --install-wine32 windows32.exe
    said_and_undone "Wine's 32-bit side was not installed, since apt would take away libwine wine64; nothing on this machine was changed"
}
check "the consent path refuses a plan that removes packages, and names them" removal_planned
install_failing() {
    standin_run STANDIN_MACHINE=x86 STANDIN_APT=install-fails -- --install-wine32 windows32.exe
    [ "$code" -eq 2 ] && [ ! -s standin/architectures ] && grep -q -- '--no-remove wine32:i386' standin/apt.log &&
        [ "$(tail -n 1 standin.err)" = "check-installer-linux.sh: installing Wine's 32-bit side failed (E: Failed to fetch http://deb.debian.org/debian/pool/main/w/wine/wine32_8.0~repack-4_i386.deb  Connection failed); dpkg's i386 architecture, which this run added, was taken out again: nothing on this machine was changed but apt's package lists" ]
}
check "the consent path takes the i386 architecture out again when the install fails" install_failing
clean_install() {
    standin_run STANDIN_MACHINE=x86 -- --install-wine32 windows32.exe
    [ "$code" -eq 0 ] && [ "$(cat standin/architectures)" = i386 ] && grep -qx "   Wine's 32-bit side is installed. Changed on this machine:" standin.out &&
        grep -qx "     - dpkg's i386 architecture added" standin.out && grep -qx "     - 2 package(s) installed: wine32:i386 and what it needs" standin.out &&
        grep -qx "     - these installed packages are upgraded: libc6" standin.out && grep -qx "Nothing of Orbel is left." standin.out
}
check "the consent path says what it changed when it installs" clean_install
foreign_prefix_folder() {
    mkdir -p foreign && touch foreign/keep
    standin_run KESTRANE_CHECK_DIR="$work/foreign" -- windows.exe
    [ "$code" -eq 2 ] && [ ! -e standin/apt.log ] && [ -e foreign/keep ] &&
        grep -qF "the throwaway prefix's folder $work/foreign: it is no throwaway Wine prefix of an earlier check, and is not empty" standin.err
}
check "the runner refuses a prefix folder that holds something else, before installing anything" foreign_prefix_folder
report_missing() {
    standin_run STANDIN_CODE=2 STANDIN_NO_JSON=1 -- --json old.json windows.exe && [ "$code" -eq 2 ] || return 1
    echo '{"old": true}' >old.json
    standin_run STANDIN_NO_JSON=1 -- --json old.json windows.exe
    [ "$code" -eq 2 ] && [ ! -e old.json ] &&
        [ "$(tail -n 1 standin.err)" = "check-installer-linux.sh: the check wrote no report to $work/old.json: exit code 2, not 0" ]
}
check "a check that wrote no report ends with exit code 2 (its own 2 kept), and no earlier report passes for it" report_missing
summary_missing() {
    : >summary.md
    standin_run GITHUB_ACTIONS=true GITHUB_STEP_SUMMARY="$work/summary.md" STANDIN_NO_SUMMARY=1 STANDIN_CODE=1 -- windows.exe
    [ "$code" -eq 2 ] && grep -qxF "check-installer-linux.sh: the check added nothing to the job's summary $work/summary.md: exit code 2, not 1" standin.err ||
        return 1
    # With what was asked written, the exit code is the check's.
    standin_run GITHUB_ACTIONS=true GITHUB_STEP_SUMMARY="$work/summary.md" STANDIN_CODE=1 -- --json report.json windows.exe
    [ "$code" -eq 1 ] && [ -s report.json ] && [ -s summary.md ]
}
check "a check that added nothing to the job's summary ends with exit code 2; one that did, with its own" summary_missing
check "the script takes --watch only as far as the check does" grep -qF '[ValidateRange(0, 600)] [int] $WatchSeconds' unzipped/check-installer.ps1
check "verifies against its certificate" osslsigncode verify -CAfile signer.pem -in dist/Kestrane.exe
check "the check verifies against it too" osslsigncode verify -CAfile signer.pem -in dist/CheckInstaller.exe
check "does not verify against another" not osslsigncode verify -CAfile stranger.pem -in dist/Kestrane.exe

signed="Z:$work/dist/Kestrane.exe"
check "resources of the signed executables" bash -c \
    'set -o pipefail; KESTRANE_EXE="$1" wine "$2" </dev/null 2>&1 | tee resources.log && grep -q "^\[  PASSED  \] [1-9]" resources.log' \
    - "$signed" "$resourcesTest"
check "an uninstall by the signed executable" bash -c \
    'set -o pipefail; KESTRANE_EXE="$1" wine "$2" --gtest_filter=Rows/KestraneRun.Row/Foundation_FullRun </dev/null 2>&1 | tee e2e.log && grep -q "^\[  PASSED  \] 1 test\." e2e.log' \
    - "$signed" "$e2eTest"
echo "--- all passed"
