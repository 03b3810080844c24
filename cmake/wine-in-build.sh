#!/usr/bin/env bash
# wine-in-build.sh BUILD COMMAND [ARGUMENTS...]: how CTest starts every Windows program, test
# discovery included (ctest -N starts the test programs to list their tests). Without a prefix of
# the caller's (WINEPREFIX), the build's own, BUILD/wine-tests, the one tools/test.sh makes: never
# ~/.wine, and never a home outside the build, where Wine would link its Desktop and Documents.
# That prefix has Wine's null display driver, as tools/test.sh's has, whoever made it: without it a
# message box is no window (MessageBoxW fails at once), and the rows that wait for one fail.
build=$1
shift

has_null_driver() {
    awk '/^\[/ { drivers = ($1 == "[Software\\\\Wine\\\\Drivers]") }
         drivers && $0 == "\"Graphics\"=\"null\"" { found = 1 }
         END { exit !found }' "$WINEPREFIX/user.reg" 2>/dev/null
}

if [ -z "${WINEPREFIX:-}" ]; then
    export WINEPREFIX=$build/wine-tests/prefix HOME=$build/wine-tests/home WINEDEBUG=${WINEDEBUG:--all}
    mkdir -p "$HOME"
    if ! has_null_driver; then
        # Tests start side by side: one makes the prefix, the others wait. Wine never gets the
        # lock's descriptor: its server, which outlives this, would hold the lock.
        (
            flock 9
            if ! has_null_driver; then
                [ -f "$WINEPREFIX/system.reg" ] || WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i 9>&-
                wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f 9>&-
                # Read as the server starts: a running one is stopped, and its registry saved.
                wineserver -k 9>&-
                wineserver -w 9>&-
            fi
        ) 9>"$build/wine-tests/prefix.lock" </dev/null >/dev/null 2>&1
    fi
fi
exec "$@"
