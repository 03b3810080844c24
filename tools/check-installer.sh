#!/usr/bin/env bash
# check-installer.sh [options] SETUP.exe [INSTALLER ARGUMENTS...]
# The release's Linux runner of the check (tools/check-installer-linux.sh) on the
# CheckInstaller.exe of this source tree: builds it first (unless KESTRANE_PREBUILT is set),
# then runs the runner on it, with the same options and exit codes. The throwaway prefix is
# $BUILD_DIR/check-installer, or $KESTRANE_CHECK_DIR.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
runner=$here/check-installer-linux.sh
export KESTRANE_CHECK_COMMAND="bash tools/check-installer.sh"
case ${1:-} in
-h|--help)
    bash "$runner" --help
    echo "This one builds the project first, and installs the Debian packages the build needs."
    exit 0 ;;
esac
# A wrong command line is said before the build, not after it.
source "$runner"
parse_check_arguments "$@"

# Relative paths on the command line are the caller's; common.sh changes to the project root.
caller=$PWD
source "$here/common.sh"
# The project's own test has built everything already.
[ -n "${KESTRANE_PREBUILT:-}" ] || { install_build_packages; build_all; }
KESTRANE_CHECK_EXE=$(realpath -m -- "$BUILD_DIR/CheckInstaller.exe")
[ -f "$KESTRANE_CHECK_EXE" ] || { echo "No $KESTRANE_CHECK_EXE: build it with bash tools/build.sh" >&2; exit 2; }
KESTRANE_CHECK_DIR=$(realpath -m -- "${KESTRANE_CHECK_DIR:-$BUILD_DIR/check-installer}")
export KESTRANE_CHECK_EXE KESTRANE_CHECK_DIR
cd "$caller"
# The project's own tests (FIREWALL_STANDIN set) have the stand-in firewall registered in the
# prefix as soon as it starts (tests/firewall/StandIn.sh); the release's runner never does.
if [ -n "${FIREWALL_STANDIN:-}" ]; then
    exec bash -c 'source "$1"; source "$2"; with_firewall_standin; shift 2; run_check "$@"' check-installer.sh \
        "$runner" "$here/../tests/firewall/StandIn.sh" "$@"
fi
exec bash "$runner" "$@"
