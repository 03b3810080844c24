// node Labels.js ROOT [WORK]
// Every label the check can print, (PAGE: "SECTION"), names a heading of that page: the check's
// table of pages, found under check/ by what it holds wherever it lives, held against the pages'
// headings, and the section of every finding the check's sources make (Finding() or Find()), held
// against that table.
// With WORK, where InstallerCheck keeps its runs (WORK.NAME.log, WORK.json): the same label as
// the runs gave it in their other two forms, each annotation's title `CheckInstaller: PAGE:
// SECTION` and each JSON finding's `page` beside its `section`. A section moved or renamed fails.
'use strict';
const fs = require('fs');
const path = require('path');

const [root, work] = process.argv.slice(2);
const failures = [];
const read = file => fs.readFileSync(path.join(root, file), 'utf8');

// A page's headings, outside fenced blocks.
function headings(text) {
    const found = new Set();
    let fence = null;
    for (const line of text.split('\n')) {
        const marker = line.match(/^ {0,3}(`{3,}|~{3,})/);
        if (fence) {
            if (marker && marker[1][0] === fence[0] && marker[1].length >= fence.length) fence = null;
        } else if (marker) {
            fence = marker[1];
        } else {
            const heading = line.match(/^#{1,6}\s+(.*?)\s*#*\s*$/);
            if (heading) found.add(heading[1]);
        }
    }
    return found;
}

// The sources of check/, in every folder below it.
function sources(folder) {
    const found = [];
    for (const entry of fs.readdirSync(path.join(root, folder), { withFileTypes: true })) {
        const name = folder + '/' + entry.name;
        if (entry.isDirectory()) found.push(...sources(name));
        else if (/\.(cpp|h)$/.test(entry.name)) found.push(name);
    }
    return found.sort();
}
const files = sources('check');

// The table: a static array of { L"SECTION", L"PAGE.md" } rows, in whichever file holds it.
const pages = new Map();
const tables = [];
for (const file of files) {
    for (const table of read(file).matchAll(/\[\]\s*=\s*\{([\s\S]*?)\n\};/g)) {
        const rows = [...table[1].matchAll(/\{\s*L"([^"]+)",\s*L"([^"]+\.md)"\s*\}/g)];
        if (rows.length === 0) continue;
        tables.push(file);
        for (const row of rows) pages.set(row[1], row[2]);
    }
}
const tableFile = tables.join(', ');
if (tables.length !== 1) {
    failures.push(`check/: ${tables.length ? 'more than one table' : 'no table'} of { L"SECTION", L"PAGE.md" } rows, ` +
        `the page of each section the report names${tables.length ? ': ' + tableFile : ''}`);
}
const headingsOf = new Map();
function hasHeading(page, section) {
    if (!headingsOf.has(page)) {
        let text = null;
        try {
            text = read(page);
        } catch (error) {
            // Said once below, for the table's row.
        }
        headingsOf.set(page, text === null ? null : headings(text));
    }
    const found = headingsOf.get(page);
    return found === null ? null : found.has(section);
}
for (const [section, page] of pages) {
    const has = hasHeading(page, section);
    if (has === null) {
        failures.push(`${tableFile}: "${section}" is said to be in ${page}, which is not in the checkout`);
    } else if (!has) {
        failures.push(`${tableFile}: the report sends a reader to ${page}: "${section}", and ${page} has no such heading`);
    }
}

// docs/installer-check.md lists every label, each a link to its section: a label the check can
// print that the list leaves out leads a reader nowhere.
const slug = heading => heading.toLowerCase().replace(/[^\w\- ]/g, '').replace(/ /g, '-');
const list = read('docs/installer-check.md');
for (const [section, page] of pages) {
    const target = path.posix.relative('docs', page) + '#' + slug(section);
    if (!list.includes('](' + target + ')')) {
        failures.push(`docs/installer-check.md: the list of labels has no link to ${target}, the label (${page}: "${section}")`);
    }
}

// The last argument of each Finding() call, up to its closing parenthesis, strings and nesting
// followed.
// The sections' names the check's sources give constants: `const wchar_t SectionX[] = L"...";`.
const constants = new Map();
for (const file of files)
    for (const match of read(file).matchAll(/(?:static )?const wchar_t (\w+)\[\]\s*=\s*L"([^"]*)";/g))
        constants.set(match[1], match[2]);

function findingSections(file, text) {
    const sections = [];
    for (const match of text.matchAll(/(^|[^\w.>])(?:Finding|Find)\(/g)) {
        const start = match.index + match[0].length;
        const before = text.slice(text.lastIndexOf('\n', match.index) + 1, match.index + match[1].length);
        if (/\b(void|std::wstring|const)\s*$/.test(before)) continue;  // the declaration and definition
        let depth = 1, at = start, lastComma = start, inString = false;
        for (; at < text.length && depth > 0; at++) {
            const c = text[at];
            if (inString) {
                if (c === '\\') at++;
                else if (c === '"') inString = false;
            } else if (c === '"') inString = true;
            else if (c === '(') depth++;
            else if (c === ')') depth--;
            else if (c === ',' && depth === 1) lastComma = at + 1;
        }
        const argument = text.slice(lastComma, at - 1).trim();
        const line = text.slice(0, match.index).split('\n').length;
        const literal = argument.match(/^L"([^"]*)"$/);
        const section = literal ? literal[1] : constants.get(argument);
        sections.push({ where: `${file}:${line}`, argument, section });
    }
    return sections;
}

let calls = 0;
for (const file of files.filter(name => name.endsWith('.cpp'))) {
    for (const call of findingSections(file, read(file))) {
        calls++;
        if (call.section === undefined) {
            failures.push(`${call.where}: the section of this finding (${call.argument}) is no text nor constant ` +
                'this test can read: name it with a literal or a const wchar_t of the check');
        } else if (!pages.has(call.section)) {
            failures.push(`${call.where}: the section "${call.section}" is not in the table of ${tableFile}`);
        }
    }
}
if (calls === 0) failures.push('check/: no Finding() or Find() call found: has the report changed how it names findings?');

// The label as a run gives it: PAGE and SECTION the table's, and a heading of that page.
function heldLabel(where, page, section) {
    if (!pages.has(section)) {
        failures.push(`${where}: the section "${section}" is not in the table of ${tableFile}`);
    } else if (page !== pages.get(section)) {
        failures.push(`${where}: "${section}" names the page ${page || '(none)'}, where the text report names ${pages.get(section)}`);
    } else if (!hasHeading(page, section)) {
        failures.push(`${where}: ${page} has no heading "${section}"`);
    }
}
let annotations = 0, jsonFindings = 0;
if (work) {
    const folder = path.dirname(work), stem = path.basename(work) + '.';
    const logs = fs.existsSync(folder) ? fs.readdirSync(folder).filter(name => name.startsWith(stem) && name.endsWith('.log')) : [];
    for (const log of logs.sort()) {
        fs.readFileSync(path.join(folder, log), 'utf8').split('\n').forEach((line, index) => {
            const annotation = line.match(/^::error title=([^:]*)::/);
            if (!annotation || !annotation[1].startsWith('CheckInstaller')) return;
            annotations++;
            const title = annotation[1].replace(/%3A/g, ':').replace(/%2C/g, ',').replace(/%25/g, '%');
            const label = title.match(/^CheckInstaller: ([^:]+\.md): (.+)$/);
            if (!label) {
                failures.push(`${log}:${index + 1}: the annotation's title "${title}" is not "CheckInstaller: PAGE: SECTION"`);
            } else {
                heldLabel(`${log}:${index + 1}: the annotation`, label[1], label[2]);
            }
        });
    }
    if (annotations === 0) {
        failures.push(`${work}.*.log: no annotation of the check in the runs InstallerCheck keeps: run it first`);
    }
    let report = null;
    try {
        report = JSON.parse(fs.readFileSync(work + '.json', 'utf8'));
    } catch (error) {
        failures.push(`${work}.json: no report for machines of the last run InstallerCheck kept (${error.message})`);
    }
    for (const [index, finding] of ((report && report.findings) || []).entries()) {
        jsonFindings++;
        heldLabel(`${work}.json: findings[${index}]`, finding.page, finding.section);
    }
    if (report && jsonFindings === 0) failures.push(`${work}.json: no findings`);
}

if (failures.length) {
    console.error(failures.join('\n'));
    console.error(`${failures.length} label(s) of the report point nowhere. Move the section back, or change the ` +
        'table (and the docs that quote the label).');
    process.exit(1);
}
console.log(`Labels: the ${calls} finding(s) of the check name ${pages.size} section(s), each a heading of its page` +
    (work ? `; so do the runs' ${annotations} annotation(s) and ${jsonFindings} JSON finding(s), page and section.` : '.'));
