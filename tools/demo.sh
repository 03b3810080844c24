#!/usr/bin/env bash
# Builds Kestrane.exe, CheckInstaller.exe and the installer of a sample application,
# "Orbel" (examples/nsis), and runs the installer check on it (tools/check-installer.sh):
# Orbel is installed silently in a throwaway Wine prefix, then uninstalled through the
# command line its installer registered, as Windows does. With a display you answer
# the boxes yourself; without one the check answers and prints them: OK, but Cancel to
# the restart question.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_build_packages
build_all
KESTRANE_PREBUILT=1 KESTRANE_CHECK_DIR="$BUILD_DIR/wine-demo" \
    exec bash tools/check-installer.sh --interactive "$BUILD_DIR/OrbelSetup.exe"
