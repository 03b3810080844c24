#!/usr/bin/env bash
# Docs.sh ROOT NPM: every relative link and anchor of README.md and docs/*.md resolves, offline
# (remark-validate-links from NPM, which tools/test.sh installs; http(s) links are not fetched),
# every repository path they name in backticks exists (NamedPaths.js), and each fact that several
# pages need has one home, true to the code (Homes.js). The labels the check's report prints are the
# DocsLabels test's (Labels.js), which needs only node.
set -uo pipefail
root=$1 npm=$(realpath -m -- "$2")
cd "$root" || exit 1
node=$(command -v node || command -v nodejs)
docs=(README.md docs/*.md)
failed=0

remark=$npm/node_modules/.bin/remark
plugin=$npm/node_modules/remark-validate-links/index.js
if [ ! -x "$remark" ] || [ ! -f "$plugin" ]; then
    echo "FAILED: no remark-cli and remark-validate-links in $npm: tools/test.sh installs them" >&2
    exit 1
fi
# No config file of the checkout's nor its Git remote: the same verdict offline and anywhere.
# --frail: a warning (a missing file or heading) fails. The links out of the checkout are the
# README's to the forge's Releases and Issues pages (../../releases, ../../issues, resolved by the forge).
if "$remark" --no-config --no-ignore --no-stdout --frail --quiet --no-color \
    --use "$plugin=repository:false,skipPathPatterns:['/releases\$','/issues\$']" "${docs[@]}"; then
    echo "Links: every relative link and anchor in ${docs[*]} resolves."
else
    echo "FAILED: the links above name a file or heading that is not there; correct the link, or the heading" >&2
    failed=1
fi

"$node" "$(dirname "${BASH_SOURCE[0]}")/NamedPaths.js" . "${docs[@]}" || failed=1
"$node" "$(dirname "${BASH_SOURCE[0]}")/Homes.js" . || failed=1
exit $failed
