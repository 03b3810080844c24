#!/usr/bin/env bash
# Installs what the build needs and builds: build/Kestrane.exe, build/CheckInstaller.exe,
# build/OrbelSetup.exe and the packed suite, build/windows-suite. Runs nothing.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_build_packages
build_all
echo "Built: $BUILD_DIR/Kestrane.exe $BUILD_DIR/CheckInstaller.exe $BUILD_DIR/OrbelSetup.exe"
