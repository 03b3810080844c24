#!/usr/bin/env bash
# Builds everything and runs every test (unit and end-to-end) under Wine.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_build_packages
build_all
start_prefix "$BUILD_DIR/wine-tests"
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 300 "$@"
