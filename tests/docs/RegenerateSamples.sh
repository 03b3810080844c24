#!/usr/bin/env bash
# RegenerateSamples.sh [BUILD [NAME...]]: prints each report sample of docs/installer-check.md
# that is not an excerpt of the last InstallerCheck run in BUILD (default build), or each NAME,
# as that run has it, to paste over the sample's lines. Run InstallerCheck first:
#   ctest --test-dir BUILD -R '^InstallerCheck$'
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build=$(realpath -m -- "${1:-$root/build}")
shift || true
node=$(command -v node || command -v nodejs)
exec "$node" "$root/tests/docs/Samples.js" "$root/docs/installer-check.md" \
    "$build/tests/installer-check/work" --print "$@"
