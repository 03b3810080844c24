#!/usr/bin/env bash
# Builds everything and runs every test (unit and end-to-end) under Wine.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_build_packages
build_all
start_prefix "$BUILD_DIR/wine-tests"
# Wine very rarely fails to start a process at all; a real fault fails twice.
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 300 --repeat until-pass:2 "$@"
