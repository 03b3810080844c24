#!/usr/bin/env bash
# Builds the release of the committed HEAD into dist/ (or $KESTRANE_DIST):
# Kestrane.exe, CheckInstaller.exe (the vendor's installer check), check-installer-linux.sh
# (the check's runner under Wine on Linux), check-installer.ps1 (the check's script for a
# Windows CI job), SHA256SUMS and Kestrane-<version>.zip (both executables, the runner, the
# script, SHA256SUMS, README.md, LICENSE). The executables are built twice
# from two checkouts in two folders, and the release fails unless both builds are the same bytes.
#
# Signing, when both are set (non-empty):
#   KESTRANE_SIGN_PFX            path of a PKCS#12 file holding the key and certificate
#   KESTRANE_SIGN_PASSWORD       its password
#   KESTRANE_SIGN_TIMESTAMP_URL  optional RFC 3161 timestamp server; none by default,
#                                since the build machine may be offline
# Each executable is then signed with Authenticode (SHA-256) and verified, and the
# unsigned build is kept beside it as Kestrane-unsigned.exe and
# CheckInstaller-unsigned.exe; SHA256SUMS lists all four. The zip holds the signed ones.
#
# KESTRANE_REPOSITORY_URL (the release workflow sets it): the repository the release comes
# from, named at the top of the zip's README.md, whose links lead into that repository.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

fail() {
    echo "release: $*" >&2
    exit 1
}

SIGN_PFX=${KESTRANE_SIGN_PFX:-}
SIGN_PASSWORD=${KESTRANE_SIGN_PASSWORD:-}
TIMESTAMP_URL=${KESTRANE_SIGN_TIMESTAMP_URL:-}
if [ -n "$SIGN_PFX" ] && [ -z "$SIGN_PASSWORD" ]; then
    fail "KESTRANE_SIGN_PFX is set but KESTRANE_SIGN_PASSWORD is not: give both to sign, or neither"
fi
if [ -z "$SIGN_PFX" ] && [ -n "$SIGN_PASSWORD" ]; then
    fail "KESTRANE_SIGN_PASSWORD is set but KESTRANE_SIGN_PFX is not: give both to sign, or neither"
fi
if [ -z "$SIGN_PFX" ] && [ -n "$TIMESTAMP_URL" ]; then
    fail "KESTRANE_SIGN_TIMESTAMP_URL is set but there is no certificate to sign with (KESTRANE_SIGN_PFX)"
fi
if [ -n "$SIGN_PFX" ]; then
    [ -f "$SIGN_PFX" ] && [ -r "$SIGN_PFX" ] || fail "KESTRANE_SIGN_PFX names no readable file: $SIGN_PFX"
    SIGN_PFX=$(cd "$(dirname "$SIGN_PFX")" && pwd)/$(basename "$SIGN_PFX")
fi

git rev-parse --verify -q HEAD >/dev/null 2>&1 || fail "$KESTRANE_ROOT is not a git checkout with a commit: the release is built from the committed HEAD"

install_build_packages

DIST=${KESTRANE_DIST:-$KESTRANE_ROOT/dist}
mkdir -p "$DIST"
DIST=$(cd "$DIST" && pwd)

COMMIT=$(git rev-parse HEAD)
COMMIT_TIME=$(git log -1 --format=%ct HEAD)
echo "Release of commit $COMMIT ($(git log -1 --format='%ci, %s' HEAD))"

RUNNER=check-installer-linux.sh
SCRIPT=check-installer.ps1
for file in README.md LICENSE "tools/$RUNNER" "examples/ci/$SCRIPT"; do
    git cat-file -e "HEAD:$file" 2>/dev/null || fail "$file is not in commit $COMMIT: commit it, since the zip ships it"
done
VERSION=$(git show HEAD:check/CheckInstaller.rc | sed -n 's/.*VALUE "ProductVersion", "\([0-9.]*\)".*/\1/p')
[ -n "$VERSION" ] || fail "no ProductVersion in check/CheckInstaller.rc (the kit's version) of commit $COMMIT"

# Release folders are not changes to warn about.
exclude=()
for folder in "$KESTRANE_ROOT/dist" "$DIST"; do
    case "$folder/" in
        "$KESTRANE_ROOT"/?*) exclude+=(":(exclude)${folder#"$KESTRANE_ROOT"/}") ;;
    esac
done
changes=$(git status --porcelain -- . "${exclude[@]}" | wc -l)
if [ "$changes" -ne 0 ]; then
    echo "WARNING: the working tree has $changes uncommitted change(s) (git status); they are NOT in this release." >&2
fi

WORK=$(mktemp -d "${TMPDIR:-/tmp}/kestrane-release.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# The password reaches the tools through a private file, never a command line.
if [ -n "$SIGN_PFX" ]; then
    (umask 077 && printf '%s' "$SIGN_PASSWORD" >"$WORK/password")
    # The certificates of the PKCS#12 file are what the signature must verify
    # against. Reading them now also checks the password before the builds.
    if ! openssl pkcs12 -in "$SIGN_PFX" -passin "file:$WORK/password" -nokeys -out "$WORK/signer.pem" 2>"$WORK/openssl.log" &&
       ! openssl pkcs12 -legacy -in "$SIGN_PFX" -passin "file:$WORK/password" -nokeys -out "$WORK/signer.pem" 2>>"$WORK/openssl.log"; then
        cat "$WORK/openssl.log" >&2
        fail "cannot read $SIGN_PFX with KESTRANE_SIGN_PASSWORD (wrong password, or not a PKCS#12 file)"
    fi
    grep -q 'BEGIN CERTIFICATE' "$WORK/signer.pem" || fail "$SIGN_PFX holds no certificate"
fi

# Two checkouts in two folders: the same bytes from both prove that nothing of
# the machine's paths or clock gets into the executable.
build() {
    local name=$1 started=$SECONDS
    mkdir -p "$WORK/$name/source"
    git archive --format=tar HEAD | tar -x -C "$WORK/$name/source"
    cmake -S "$WORK/$name/source" -B "$WORK/$name/build" \
        -DCMAKE_TOOLCHAIN_FILE="$WORK/$name/source/cmake/mingw-w64-x86_64.cmake" \
        -DBUILD_TESTING=OFF >"$WORK/$name.log" 2>&1 &&
        cmake --build "$WORK/$name/build" --target Kestrane CheckInstaller -j "$(nproc)" >>"$WORK/$name.log" 2>&1 ||
        { cat "$WORK/$name.log" >&2; fail "the $name build failed"; }
    echo "Built $name in $((SECONDS - started)) s:"
    for exe in "${EXES[@]}"; do
        echo "  $exe $(sha256sum <"$WORK/$name/build/$exe.exe" | cut -d' ' -f1)"
    done
}
EXES=(Kestrane CheckInstaller)
build first
build second
for exe in "${EXES[@]}"; do
    cmp -s "$WORK/first/build/$exe.exe" "$WORK/second/build/$exe.exe" ||
        fail "the two builds of $exe.exe differ ($(cmp "$WORK/first/build/$exe.exe" "$WORK/second/build/$exe.exe" 2>&1 | sed 's/.*differ: //')): the build is not reproducible, so there is no release"
done
echo "The two builds are byte for byte the same."

SOURCE=$WORK/first/source
STAGE=$WORK/stage
mkdir -p "$STAGE"
sums=()
if [ -n "$SIGN_PFX" ]; then
    timestamp=()
    [ -n "$TIMESTAMP_URL" ] && timestamp=(-ts "$TIMESTAMP_URL")
    # Trusted: the certificates of the PKCS#12 file (a self-signed one is its
    # own root) and the system's roots (for a certificate bought from a CA).
    # Revocation lists are not fetched: the build machine may be offline. osslsigncode 2.8
    # and later fetch them unless told not to; earlier ones (Debian 12's 2.5) never do, and
    # refuse the option.
    offline=()
    case $(osslsigncode verify --help 2>&1 || true) in
        *-ignore-cdp*) offline=(-ignore-cdp) ;;
    esac
    cat "$WORK/signer.pem" >"$WORK/trusted.pem"
    [ -r /etc/ssl/certs/ca-certificates.crt ] && cat /etc/ssl/certs/ca-certificates.crt >>"$WORK/trusted.pem"
    for exe in "${EXES[@]}"; do
        cp "$WORK/first/build/$exe.exe" "$STAGE/$exe-unsigned.exe"
        osslsigncode sign -pkcs12 "$SIGN_PFX" -readpass "$WORK/password" -h sha256 -n "$exe" \
            "${timestamp[@]}" -in "$STAGE/$exe-unsigned.exe" -out "$STAGE/$exe.exe" >"$WORK/sign.log" 2>&1 ||
            { cat "$WORK/sign.log" >&2; fail "osslsigncode could not sign $exe.exe${TIMESTAMP_URL:+ (can this machine reach the timestamp server $TIMESTAMP_URL?)}"; }
        osslsigncode verify -CAfile "$WORK/trusted.pem" "${offline[@]}" -in "$STAGE/$exe.exe" >"$WORK/verify.log" 2>&1 ||
            { cat "$WORK/verify.log" >&2; fail "the signature of $exe.exe does not verify"; }
        sums+=("$exe.exe" "$exe-unsigned.exe")
    done
    signer=$(openssl x509 -in "$WORK/signer.pem" -noout -subject -nameopt oneline 2>/dev/null | sed 's/^subject= *//')
    if [ -n "$TIMESTAMP_URL" ]; then
        echo "Signed with Authenticode (SHA-256) by $signer, timestamped by $TIMESTAMP_URL; the signatures verify."
    else
        echo "Signed with Authenticode (SHA-256) by $signer, without a timestamp (no KESTRANE_SIGN_TIMESTAMP_URL); the signatures verify."
    fi
else
    for exe in "${EXES[@]}"; do
        cp "$WORK/first/build/$exe.exe" "$STAGE/$exe.exe"
        sums+=("$exe.exe")
    done
fi
# The runner, from the commit, executable wherever the zip is unpacked.
install -m 755 "$SOURCE/tools/$RUNNER" "$STAGE/$RUNNER"
# The Windows CI script of the same commit, so a vendor need not fetch it from the repository.
install -m 644 "$SOURCE/examples/ci/$SCRIPT" "$STAGE/$SCRIPT"
sums+=("$RUNNER" "$SCRIPT")
(cd "$STAGE" && sha256sum "${sums[@]}" >SHA256SUMS)

# Fixed modes, the commit's time, no extra attributes, no folder entries and a
# fixed order: unsigned, the zip's bytes depend only on the commit.
ZIP=Kestrane-$VERSION.zip
mkdir -p "$WORK/zip"
cp "$STAGE/Kestrane.exe" "$STAGE/CheckInstaller.exe" "$STAGE/$RUNNER" "$STAGE/$SCRIPT" "$STAGE/SHA256SUMS" "$SOURCE/LICENSE" "$WORK/zip/"
# A vendor who holds only the zip must reach the pages its README links to.
{
    if [ -n "${KESTRANE_REPOSITORY_URL:-}" ]; then
        echo "> From the release $VERSION of $KESTRANE_REPOSITORY_URL, built from commit $COMMIT. The links below to"
        echo "> \`docs/\` and \`examples/\` are in that repository, at that commit: $KESTRANE_REPOSITORY_URL/tree/$COMMIT"
    else
        echo "> From the release $VERSION built from commit $COMMIT. The links below to \`docs/\` and \`examples/\`"
        echo "> are in the repository that published this release, at that commit."
    fi
    echo
    cat "$SOURCE/README.md"
} >"$WORK/zip/README.md"
chmod 644 "$WORK/zip/"*
chmod 755 "$WORK/zip/$RUNNER"
touch -d "@$COMMIT_TIME" "$WORK/zip/"*
(cd "$WORK/zip" && TZ=UTC zip -q -X -D "$STAGE/$ZIP" Kestrane.exe CheckInstaller.exe "$RUNNER" "$SCRIPT" SHA256SUMS README.md LICENSE)

# Only what an earlier release put there is replaced.
rm -f "$DIST/Kestrane.exe" "$DIST/Kestrane-unsigned.exe" "$DIST/CheckInstaller.exe" "$DIST/CheckInstaller-unsigned.exe" \
    "$DIST/$RUNNER" "$DIST/$SCRIPT" "$DIST/SHA256SUMS" "$DIST"/Kestrane-*.zip
cp -p "$STAGE"/* "$DIST/"

echo
echo "Release $VERSION of commit ${COMMIT:0:12} in $DIST:"
for file in "${sums[@]}" SHA256SUMS "$ZIP"; do
    printf '  %-24s %8d bytes  sha256 %s\n' "$file" "$(stat -c %s "$DIST/$file")" "$(sha256sum <"$DIST/$file" | cut -d' ' -f1)"
done
echo "Check the files with: cd $DIST && sha256sum -c SHA256SUMS"
echo "Check an installer on Debian 12 or 13, in the unpacked zip: bash $RUNNER SETUP.exe"
if [ -z "$SIGN_PFX" ]; then
    echo "UNSIGNED release: no certificate given (set KESTRANE_SIGN_PFX and KESTRANE_SIGN_PASSWORD to sign)."
else
    echo "The zip holds the signed executables only: check them there with sha256sum -c --ignore-missing SHA256SUMS"
fi
