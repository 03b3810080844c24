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
    env -u KESTRANE_SIGN_TIMESTAMP_URL TMPDIR="$work/tmp" KESTRANE_DIST="$work/dist" "$@" \
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
