// node Labels.js ROOT
// Every label the check can print, (PAGE: "SECTION"), names a heading of that page: the table of
// pages (SectionPages, in the check's telling room), held against the pages' headings, and the
// section of every finding the check's sources make (Finding() or Find()), held against that table.
// A section moved or renamed fails here.
'use strict';
const fs = require('fs');
const path = require('path');

const root = process.argv[2];
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

// Every source of the check, room by room.
function sources(folder) {
    const found = [];
    for (const entry of fs.readdirSync(path.join(root, folder), { withFileTypes: true })) {
        const file = folder + '/' + entry.name;
        if (entry.isDirectory()) found.push(...sources(file));
        else if (entry.name.endsWith('.cpp')) found.push(file);
    }
    return found.sort();
}
const files = sources('check');
const tableFile = files.find(file => /SectionPages\[\]\s*=/.test(read(file))) || 'check/';
const table = tableFile.endsWith('.cpp') ? read(tableFile).match(/SectionPages\[\]\s*=\s*\{([\s\S]*?)\n\};/) : null;
const pages = new Map();
if (!table) {
    failures.push('check/: no SectionPages table, the page of each section the report names');
} else {
    for (const row of table[1].matchAll(/\{\s*L"([^"]+)",\s*L"([^"]+)"\s*\}/g)) pages.set(row[1], row[2]);
}
for (const [section, page] of pages) {
    let text;
    try {
        text = read(page);
    } catch (error) {
        failures.push(`${tableFile}: "${section}" is said to be in ${page}, which is not in the checkout`);
        continue;
    }
    if (!headings(text).has(section)) {
        failures.push(`${tableFile}: the report sends a reader to ${page}: "${section}", and ${page} has no such heading`);
    }
}

// The sections' names the check's sources give constants: `const wchar_t SectionX[] = L"...";`.
const constants = new Map();
for (const file of files)
    for (const match of read(file).matchAll(/(?:static )?const wchar_t (\w+)\[\]\s*=\s*L"([^"]*)";/g))
        constants.set(match[1], match[2]);

// The last argument of each Finding() or Find() call, up to its closing parenthesis, strings and
// nesting followed.
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
for (const file of files) {
    for (const call of findingSections(file, read(file))) {
        calls++;
        if (call.section === undefined) {
            failures.push(`${call.where}: the section of this finding (${call.argument}) is no text nor constant ` +
                'this test can read: name it with a literal or a const wchar_t of the check');
        } else if (!pages.has(call.section)) {
            failures.push(`${call.where}: the section "${call.section}" is not in SectionPages of ${tableFile}`);
        }
    }
}
if (calls === 0) failures.push('check/: no Finding() or Find() call found: has the report changed how it names findings?');

if (failures.length) {
    console.error(failures.join('\n'));
    console.error(`${failures.length} label(s) of the report point nowhere. Move the section back, or change the ` +
        'table (and the docs that quote the label).');
    process.exit(1);
}
console.log(`Labels: the ${calls} finding(s) of the check name ${pages.size} section(s), each a heading of its page.`);
