#!/usr/bin/env bash
# StaysInBuild.sh ROOT BUILD: the commands docs/development.md gives a contributor, run as a newcomer
# runs them, with HOME an empty folder and no WINEPREFIX, leave the home as empty as they found it:
# Wine's prefix and home, test discovery's included, stay in the build. Each command the page gives
# is a row below: run, or left out for the reason it says.
set -uo pipefail
root=$(realpath -- "$1") build=$(realpath -m -- "$2")
cd "$root" || exit 1

# What the page gives that this test does not run, and why.
declare -A notRun=(
    ['bash tools/test.sh']="the whole suite, this test among it"
    ['bash tools/build.sh']="builds what the suite has built; its packages are apt's, and the build is in build/"
    ['cmake --build build']="builds what the suite has built"
    ['bash tools/demo.sh']="the check of the sample installer, a minute; its prefix and home are in build/wine-demo (start_prefix)"
    ['bash tools/release.sh']="two builds, minutes; they go in a temporary folder it removes, the release in dist/, and tests/release runs it"
    ['ctest --test-dir build -R InstallerCheck --output-on-failure']="the installer check, minutes long; its runs make their prefixes and homes in the build (start_prefix), and the suite runs it"
)

# The page's commands: its fenced lines, and its code spans that start with a command.
mapfile -t commands < <(node -e '
    const text = require("fs").readFileSync(process.argv[1], "utf8");
    const out = new Set();
    let fenced = false;
    for (const line of text.split("\n")) {
        if (/^\s*```/.test(line)) { fenced = !fenced; continue; }
        if (fenced) { if (line.trim()) out.add(line.trim()); continue; }
        for (const span of line.matchAll(/`([^`]+)`/g))
            if (/^(bash tools\/|ctest |cmake |WINEPREFIX=)/.test(span[1])) out.add(span[1].trim());
    }
    console.log([...out].join("\n"));' docs/development.md)

# Test discovery starts the test programs only when they are newer than its list, as right after a
# build: without the lists, ctest -N lists them again.
rm -f "$build"/tests/*/*_tests.cmake

home=$(mktemp -d "${TMPDIR:-/tmp}/kestrane-home.XXXXXX")
trap 'rm -rf "$home"' EXIT
failed=0 ran=0
for command in "${commands[@]}"; do
    if [ -n "${notRun[$command]:-}" ]; then
        echo "--- not run: $command (${notRun[$command]})"
        continue
    fi
    case $command in
        "ctest --test-dir build -N" | "cmake/wine-in-build.sh build wine build/tests/"*) ;;
        *)
            echo "FAILED: docs/development.md gives \`$command\`, which no row of tests/docs/StaysInBuild.sh runs or leaves out" >&2
            failed=1
            continue ;;
    esac
    # The page's build folder is this build's.
    local_command=${command//\$PWD\/build\//$build/}
    local_command=${local_command// build\// $build/}
    local_command=${local_command//--test-dir build/--test-dir $build}
    local_command=${local_command//wine-in-build.sh build /wine-in-build.sh $build }
    echo "--- $command"
    ran=$((ran + 1))
    if ! (unset WINEPREFIX; export HOME=$home; eval "$local_command") >"$home.log" 2>&1; then
        cat "$home.log" >&2
        echo "FAILED: \`$command\` failed" >&2
        failed=1
    fi
    left=$(find "$home" -mindepth 1 -maxdepth 2 | sed "s#^$home#~#" | head -5)
    if [ -n "$left" ]; then
        echo "FAILED: \`$command\` wrote in the home, outside the build:" $left >&2
        failed=1
        rm -rf "${home:?}"/* "$home"/.[!.]*
    fi
done
rm -f "$home.log"
[ "$ran" -gt 0 ] || { echo "FAILED: no command of docs/development.md was run" >&2; failed=1; }
[ "$failed" -eq 0 ] && echo "The $ran command(s) run left the home empty; Wine stayed in $build."
exit $failed
