#!/usr/bin/env bash
# Builds everything and runs every test under Wine: the hosted workflow's check, the release
# test through CTest, then the packed suite (unit, resources, end to end) exactly as a
# Windows machine runs it, through tools/windows-test.sh.
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"
install_build_packages

# Nothing else checks the workflow before it runs on the forge.
command -v npm >/dev/null || need_packages npm
# Also Inno Setup's compiler, for the installer check's Inno Setup sample, and the docs' link
# checker (the Docs test). Its cache too stays in the build, not in ~/.npm.
npm_config_cache=$BUILD_DIR/npm/cache npm install --silent --no-audit --no-fund --prefix "$BUILD_DIR/npm" @action-validator/cli@0.6.0 innosetup@6.4.1 \
    remark-cli@12.0.1 remark-validate-links@13.1.0 >/dev/null
"$BUILD_DIR/npm/node_modules/.bin/action-validator" .github/workflows/ci.yml
echo "Workflow .github/workflows/ci.yml: valid"
"$BUILD_DIR/npm/node_modules/.bin/action-validator" .github/workflows/release.yml
echo "Workflow .github/workflows/release.yml: valid"

# Git for Windows checks text out with CRLF by default, and a runner's bash may keep the CR.
if git rev-parse --git-dir >/dev/null 2>&1; then
    crlf=$(git ls-files | while read -r file; do
        first=
        [ -f "$file" ] && { IFS= read -r first <"$file" || true; }
        case $file in *.sh) ;; *) case $first in '#!'*sh*) ;; *) continue ;; esac ;; esac
        git check-attr eol -- "$file" | grep -q ': eol: lf$' || echo "$file"
    done)
    if [ -n "$crlf" ]; then
        echo "Bash scripts that a Windows checkout would give CRLF (see .gitattributes):" $crlf >&2
        exit 1
    fi
fi

build_all
start_prefix "$BUILD_DIR/wine-tests"
# Wine very rarely fails to start a process at all; a real fault fails twice.
ctest --test-dir "$BUILD_DIR" --output-on-failure --timeout 300 --repeat until-pass:2 \
    --label-exclude windows-suite "$@"
stop_prefix
bash tools/windows-test.sh "$BUILD_DIR/windows-suite"
