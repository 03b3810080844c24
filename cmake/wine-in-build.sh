#!/usr/bin/env bash
# wine-in-build.sh BUILD COMMAND [ARGUMENTS...]: how CTest starts every Windows program, test
# discovery included (ctest -N starts the test programs to list their tests). Without a prefix of
# the caller's (WINEPREFIX), the build's own, BUILD/wine-tests, the one tools/test.sh makes: never
# ~/.wine, and never a home outside the build, where Wine would link its Desktop and Documents.
build=$1
shift
if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$build/wine-tests/prefix HOME=$build/wine-tests/home WINEDEBUG=${WINEDEBUG:--all}
    mkdir -p "$HOME"
fi
exec "$@"
