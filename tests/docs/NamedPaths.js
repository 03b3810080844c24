// node NamedPaths.js ROOT FILE.md...
// Every repository path a doc names in backticks exists in the checkout at ROOT. Links are
// remark-validate-links' part; these are the paths a reader is told to open or run.
'use strict';
const fs = require('fs');
const path = require('path');

// Named in the docs but never in a checkout: build outputs, and the files that only the
// release zip holds (tools/release.sh makes them).
const ALLOWED = [
    'build/**',
    'dist/**',
    'check-installer-linux.sh',
    'SHA256SUMS',
    'Kestrane-*.zip',
    // Where a vendor copies the Windows recipe's script, in their own repository.
    'ci/check-installer.ps1',
];
// Kinds of file the repository keeps: a bare name of one of these (`check-installer-linux.sh`,
// `README.md`) is taken for a file of the checkout, looked for in any folder; other bare names
// (`Kestrane.exe`, `win.ini`, `HKLM`) are what an installation or Windows holds.
const SOURCE_KINDS = /\.(sh|md|c|cpp|h|nsi|nsh|iss|ps1|yml|cmake|rc|wsb|js|zip)$/;

// A pattern's regular expression; with anywhere, it may also end a longer path.
function glob(pattern, anywhere) {
    const source = pattern.split('**').map(part => part.split('*')
        .map(text => text.replace(/[.+?^${}()|[\]\\]/g, '\\$&')).join('[^/]*')).join('.*');
    return new RegExp((anywhere ? '(^|/)' : '^') + source + '$');
}
const allowed = ALLOWED.map(pattern => glob(pattern));

// The token of a code span, if it is a repository path: relative, with slashes, its first
// folder in lower case as the repository's are (`Orbel/NULL` is an argument text), or a bare
// name of a kind above. Never a URL, a Windows path or key (`C:\...`, `%VAR%`, `HKCU\...`), a
// switch (`/S`), a package (`@scope/name`) or a command line.
function repositoryPath(token) {
    if (/[\s\\:%<>"'`$,;=|]/.test(token) || token.includes('...')) return null;
    if (/^\.?[a-z][\w.-]*\/([\w.*-]+\/)*[\w.*-]*$/.test(token)) return token;
    if (/^[\w][\w.*-]*$/.test(token) && SOURCE_KINDS.test(token)) return token;
    return null;
}

// Inline code spans outside fenced blocks, each with its line.
function codeSpans(text) {
    const spans = [];
    const lines = text.split('\n');
    let fence = null;
    let prose = '';
    lines.forEach(line => {
        const marker = line.match(/^ {0,3}(`{3,}|~{3,})/);
        if (fence) {
            if (marker && marker[1][0] === fence[0] && marker[1].length >= fence.length) fence = null;
            prose += '\n';
        } else if (marker) {
            fence = marker[1];
            prose += '\n';
        } else {
            prose += line + '\n';
        }
    });
    for (const match of prose.matchAll(/(`+)([^`]|[^`][\s\S]*?[^`])\1(?!`)/g)) {
        const line = prose.slice(0, match.index).split('\n').length;
        spans.push({ text: match[2].trim(), line });
    }
    return spans;
}

// Every file and folder of the checkout, for bare names and patterns: not the build folders.
function walk(root) {
    const found = [];
    const visit = relative => {
        for (const entry of fs.readdirSync(path.join(root, relative), { withFileTypes: true })) {
            const name = relative ? relative + '/' + entry.name : entry.name;
            if (entry.isDirectory()) {
                if (entry.name === '.git' || entry.name === 'node_modules' || (!relative && /^(build|dist)/.test(entry.name))) {
                    continue;
                }
                found.push(name + '/');
                visit(name);
            } else {
                found.push(name);
            }
        }
    };
    visit('');
    return found;
}

const [root, ...docs] = process.argv.slice(2);
let all = null;
const missing = [];
let checked = 0;
for (const doc of docs) {
    for (const span of codeSpans(fs.readFileSync(path.join(root, doc), 'utf8'))) {
        const token = repositoryPath(span.text);
        if (!token || allowed.some(pattern => pattern.test(token))) continue;
        checked++;
        let exists;
        if (token.includes('/') && !token.includes('*')) {
            const stat = fs.statSync(path.join(root, token), { throwIfNoEntry: false });
            exists = stat !== undefined && (!token.endsWith('/') || stat.isDirectory());
        } else {
            all = all || walk(root);
            const pattern = glob(token, !token.includes('/'));
            exists = all.some(name => pattern.test(name));
        }
        if (!exists) missing.push(`${doc}:${span.line}: \`${span.text}\` names a path that is not in the checkout`);
    }
}
if (missing.length) {
    console.error(missing.join('\n'));
    console.error(`${missing.length} named path(s) missing. Correct the name, or, for a file that only a build or ` +
        'the release makes, add it to ALLOWED in tests/docs/NamedPaths.js.');
    process.exit(1);
}
console.log(`Named paths: the ${checked} repository path(s) named in ${docs.length} doc(s) all exist.`);
