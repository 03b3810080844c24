#!/usr/bin/env bash
# InnerLoop.sh ROOT BUILD WORK: the inner loop's command of docs/development.md, followed as a
# newcomer follows it, in WORK, a build folder with no Wine prefix yet (UnitTests.exe copied in):
# with a filter named after each tests/unit/Check*Test.cpp, it runs exactly that file's rows, the
# rows that wait for a real box among them, which fail in a prefix without Wine's null display
# driver; with a filter that names no file, it fails and says so.
set -uo pipefail
root=$(realpath -- "$1") build=$(realpath -m -- "$2") work=$(realpath -m -- "$3")
cd "$root" || exit 1
failed=0
fail() {
    echo "FAILED: $*" >&2
    failed=1
}

# Its fenced lines that run UnitTests.exe with a filter.
mapfile -t commands < <(awk '/^[ \t]*```/ { fenced = !fenced; next }
    fenced && /UnitTests\.exe --gtest_filter=/ { sub(/^[ \t]+/, ""); print }' docs/development.md)
if [ ${#commands[@]} -ne 1 ]; then
    echo "FAILED: docs/development.md gives ${#commands[@]} command(s) that run UnitTests.exe with a filter, not one" >&2
    exit 1
fi
command=${commands[0]}
echo "The inner loop's command: $command"

rm -rf "$work"
mkdir -p "$work/tests/unit" "$work/home"
cp "$build/tests/unit/UnitTests.exe" "$work/tests/unit/" || exit 1
# The page's build folder is WORK.
command=${command//\$PWD\/build\//$work/}
command=${command// build\// $work/}
command=${command//wine-in-build.sh build /wine-in-build.sh $work }

# run FILTER: the command with that filter, as a newcomer runs it (no WINEPREFIX of theirs).
run() {
    local line
    line=$(sed -E "s/--gtest_filter=[^ ]+/--gtest_filter=$1/" <<<"$command")
    (unset WINEPREFIX; export HOME=$work/home; eval "$line") </dev/null >"$work/run.log" 2>&1
}
for file in tests/unit/Check*Test.cpp; do
    group=$(basename "$file" Test.cpp)
    rows=$(grep -cE '^(TEST|TEST_F|TEST_P)\(' "$file")
    run "$group.*"
    code=$?
    if [ "$code" -ne 0 ]; then
        cat "$work/run.log" >&2
        fail "--gtest_filter=$group.* ended with exit code $code"
    elif ! grep -qE "^\[==========\] $rows tests? from 1 test suites? ran\." "$work/run.log"; then
        grep -E '^\[==========\]' "$work/run.log" >&2
        fail "--gtest_filter=$group.* did not run the $rows row(s) of $file, and only them"
    else
        echo "--gtest_filter=$group.*: the $rows row(s) of $file passed"
    fi
done

run "NoSuchFile.*"
code=$?
if [ "$code" -eq 0 ] || ! tr -d '\r' <"$work/run.log" | grep -qxF "0 tests matched --gtest_filter=NoSuchFile.*"; then
    cat "$work/run.log" >&2
    fail "--gtest_filter=NoSuchFile.* ended with exit code $code, without saying that 0 tests matched"
else
    echo "--gtest_filter=NoSuchFile.*: 0 tests matched, and it failed"
fi

WINEPREFIX=$work/wine-tests/prefix wineserver -k 2>/dev/null
WINEPREFIX=$work/wine-tests/prefix wineserver -w 2>/dev/null
rm -rf "$work"
exit $failed
