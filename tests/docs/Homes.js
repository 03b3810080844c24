// node Homes.js ROOT
// Facts that several pages need have one home each, the page that says them, true to the code
// that makes them; the other pages link to it. A copy elsewhere fails here, since copies drift:
// the zip's contents (tools/release.sh), the check's exit codes, the Windows script's time-out
// (examples/ci/check-installer.ps1), the hosted runner that is never restarted, and which of the
// check's options the Linux runner takes (tools/check-installer-linux.sh).
'use strict';
const fs = require('fs');
const path = require('path');

const root = process.argv[2];
const read = file => fs.readFileSync(path.join(root, file), 'utf8');
const pages = ['README.md', ...fs.readdirSync(path.join(root, 'docs')).filter(name => name.endsWith('.md')).sort()
    .map(name => 'docs/' + name)];
const failures = [];
const lineOf = (text, index) => text.slice(0, index).split('\n').length;

// The zip's contents: the files tools/release.sh zips, as docs/releasing.md's row of the zip says.
const release = read('tools/release.sh');
const names = { RUNNER: (release.match(/^RUNNER=(\S+)/m) || [])[1], SCRIPT: (release.match(/^SCRIPT=(\S+)/m) || [])[1] };
const zipLine = release.match(/zip -q -X -D "\$STAGE\/\$ZIP" ([^)]*)\)/);
const zipped = zipLine ? zipLine[1].trim().split(/\s+/).map(word => word.replace(/^"?\$(\w+)"?$/, (all, name) => names[name] || all)) : [];
if (zipped.length === 0) failures.push('tools/release.sh: no `zip ... "$STAGE/$ZIP" FILES` line: where does the zip get its files?');
const releasing = read('docs/releasing.md');
const zipRow = releasing.match(/^\| `Kestrane-[^`]*\.zip` \| (.*) \|$/m);
const listed = zipRow ? [...zipRow[1].matchAll(/`([^`]+)`/g)].map(match => match[1]) : [];
if (zipped.length && listed.sort().join() !== [...zipped].sort().join()) {
    failures.push(`docs/releasing.md: the zip's row lists ${listed.join(', ') || 'nothing'}; tools/release.sh zips ${zipped.join(', ')}`);
}
for (const page of pages.filter(page => page !== 'docs/releasing.md')) {
    const text = read(page);
    text.split(/\n\s*\n/).reduce((at, paragraph) => {
        const named = zipped.filter(file => paragraph.includes('`' + file + '`'));
        if (zipped.length && named.length >= zipped.length - 1) {
            failures.push(`${page}:${lineOf(text, at)}: a copy of the zip's contents: link to ` +
                'docs/releasing.md#what-a-release-holds instead');
        }
        return at + paragraph.length + 2;
    }, text.indexOf(text.split(/\n\s*\n/)[0]));
}

// Only its home may hold each of these; the home must hold it.
function oneHome(what, home, pattern, instead) {
    let found = false;
    for (const page of pages) {
        const text = read(page);
        for (const match of text.matchAll(pattern)) {
            if (page === home) found = true;
            else failures.push(`${page}:${lineOf(text, match.index)}: a copy of ${what}: ${instead}`);
        }
    }
    if (!found) failures.push(`${home}: no longer says ${what}, its home (${pattern})`);
}
oneHome("the check's exit codes", 'docs/installer-check.md', /^\| 2 \| the check could not run.*\|$/gm,
    'link to docs/installer-check.md#exit-codes instead');
oneHome('the hosted runner that is never restarted', 'docs/installer-check.md',
    /`--after-restart` does not apply/g, 'link to docs/installer-check.md#on-a-ci-runner instead');

// The Windows script's time-out, as examples/ci/check-installer.ps1 computes it by default.
const script = read('examples/ci/check-installer.ps1');
const defaults = name => Number((script.match(new RegExp(`\\$${name} = (\\d+)`)) || [])[1]);
const formula = script.match(/\$TimeoutSeconds = (\d+) \* \$LimitSeconds \+ \$WatchSeconds \+ (\d+)/);
if (!formula || !defaults('LimitSeconds') || !defaults('WatchSeconds')) {
    failures.push("examples/ci/check-installer.ps1: no default time-out this test can read " +
        '($TimeoutSeconds = N * $LimitSeconds + $WatchSeconds + N, and their defaults)');
} else {
    const [limit, watch, runs, looks] = [defaults('LimitSeconds'), defaults('WatchSeconds'), Number(formula[1]), Number(formula[2])];
    const sum = `${runs} × ${limit} + ${watch} + ${looks} = ${runs * limit + watch + looks} s`;
    oneHome(`the script's time-out, ${sum}`, 'docs/ci.md', new RegExp(sum.replace(/[+]/g, '\\+'), 'g'),
        'link to docs/ci.md#on-a-windows-runner instead');
    for (const page of pages) {
        const text = read(page);
        for (const match of text.matchAll(/\d+ × \d+ \+ \d+ \+ \d+ = \d+ s/g)) {
            if (match[0] !== sum) failures.push(`${page}:${lineOf(text, match.index)}: "${match[0]}", where the script's default is ${sum}`);
        }
    }
}

// The options page's column of the Linux runner, as the runner reads its command line.
const runner = read('tools/check-installer-linux.sh');
const parse = (runner.match(/parse_check_arguments\(\) \{([\s\S]*?)\n\}/) || [])[1] || '';
// Each case label with its line and the next: the refused ones name CheckInstaller.exe there.
const lines = parse.split('\n');
const labels = lines.map((line, index) => [line.match(/^\s*((?:-[-\w]+\|?)+)\)/), line + lines[index + 1]])
    .filter(([label]) => label).map(([label, text]) => ({ options: label[1].split('|'), refused: /is an option of CheckInstaller/.test(text) }));
const refused = new Set(labels.filter(label => label.refused).flatMap(label => label.options));
const taken = new Set(labels.filter(label => !label.refused).flatMap(label => label.options));
const options = read('docs/installer-check.md');
const table = options.match(/^\| Option \| \| Linux runner \|\n\|[-|]+\|\n((?:\|.*\|\n)+)/m);
if (!table) failures.push('docs/installer-check.md: no table of options with a column "Linux runner"');
for (const row of table ? table[1].trim().split('\n') : []) {
    const option = (row.match(/^\| `(-[-\w]+)/) || [])[1];
    const cell = row.split(' | ').pop().replace(/ \|$/, '');
    const says = cell.startsWith('no') ? 'refuses' : 'takes';
    const does = taken.has(option) ? 'takes' : refused.has(option) ? 'refuses' : 'knows nothing of';
    if (says !== does) failures.push(`docs/installer-check.md: the runner ${says} ${option}, says the options table; it ${does} it`);
}

if (failures.length) {
    console.error(failures.join('\n'));
    console.error(`${failures.length} fact(s) out of their home, or untrue to the code: keep one home for each, and link to it.`);
    process.exit(1);
}
console.log(`Homes: the zip's ${zipped.length} files, the exit codes, the time-out, the unrestarted runner and the ` +
    "runner's options each have one home, true to the code.");
