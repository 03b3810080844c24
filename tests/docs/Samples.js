// node Samples.js DOC WORK [--print [NAME...]]
// Each report sample of DOC, a fenced block after `<!-- sample: NAME -->`, is an excerpt of the
// check's real run whose text InstallerCheck.sh keeps in WORK.NAME.log: every line but an
// elision (`...` alone) is in the run, in the same order, once both are normalised; a line that
// ends in `...` stands for a line that starts with what precedes it.
// --print: prints each sample that is not, or each NAME given, with the run's lines in place of
// its lines that are not in the run.
// Lines the sample leaves out between two of its lines must be marked by an elision there: a
// reader takes two lines that follow each other in a sample for lines that follow each other in
// the run. The runner's annotations (`::...`), which only a hosted runner reads, need none.
'use strict';
const fs = require('fs');

const [doc, work, mode, ...only] = process.argv.slice(2);
const print = mode === '--print';

// What differs from one run to the next, or from one machine to the next.
function normalise(line) {
    return line
        .replace(/^== The throwaway Wine prefix: .*/, '== The throwaway Wine prefix: PREFIX')
        .replace(/\bC:\\users\\[^\\]+\\/gi, 'C:\\users\\USER\\')
        .replace(/\blooked at \d+ places/g, 'looked at N places')
        // What the machine changed by itself (InstallerCheck runs a program beside the check).
        .replace(/\b\d+ place\(s\) changed by themselves/g, 'N place(s) changed by themselves')
        .replace(/\(\d+ change\(s\) during the install\)/g, '(N change(s) during the install)')
        .replace(/\b\d+ MB\b/g, 'N MB')
        .replace(/\b\d+(\.\d+)? s\b/g, 'N s')
        .replace(/\s+$/, '');
}
const elision = line => line.trim() === '...';
function matches(sampleLine, runLine) {
    if (sampleLine.endsWith('...')) return runLine.startsWith(sampleLine.slice(0, -3));
    return runLine === sampleLine;
}

function samples(text) {
    const found = [];
    const lines = text.split('\n');
    lines.forEach((line, index) => {
        const name = line.match(/^<!-- sample: ([\w-]+) -->$/);
        if (!name) return;
        const open = lines[index + 1] || '';
        const fence = open.match(/^(`{3,}|~{3,})/);
        if (!fence) throw new Error(`${doc}:${index + 1}: the sample ${name[1]} is not followed by a fenced block`);
        const end = lines.findIndex((other, at) => at > index + 1 && other.startsWith(fence[1]));
        found.push({ name: name[1], line: index + 3, lines: lines.slice(index + 2, end) });
    });
    return found;
}

// The run's line of each sample line, in order: null for an elision, -1 where it is not there.
function align(sample, run) {
    const normal = run.map(normalise);
    let at = 0;
    return sample.lines.map(line => {
        if (elision(line)) return null;
        const wanted = normalise(line);
        let next = at;
        while (next < run.length && !matches(wanted, normal[next])) next++;
        if (next === run.length) return -1;
        at = next + 1;
        return next;
    });
}

// The sample as the run has it now, for a writer to paste: its lines that are in the run as
// they are (times and counts of the run it was taken from), and in place of those that are
// not, all the run's lines between the neighbouring lines that are.
function regenerate(sample, run, found) {
    const out = [];
    let last = -1;
    found.forEach((at, index) => {
        const line = sample.lines[index];
        if (at === null) {
            out.push(line);
        } else if (at >= 0) {
            out.push(line);
            last = at;
        } else if (index === 0 || found[index - 1] !== -1) {
            const next = found.slice(index).find(other => other !== null && other >= 0);
            // Not the runner's annotations: the broken variant's row runs as a hosted runner.
            out.push(...run.slice(last + 1, next === undefined ? run.length : next).filter(text => !text.startsWith('::')));
        }
    });
    return out.join('\n');
}

// Where the sample leaves run lines out with no elision: [sample index, how many left out].
const annotation = line => line.startsWith('::');
function unmarked(sample, run, found) {
    const gaps = [];
    let last = -1, lastIndex = -1, elided = false;
    found.forEach((at, index) => {
        if (at === null) {
            elided = true;
            return;
        }
        if (at < 0) return;
        if (last >= 0 && !elided) {
            const skipped = run.slice(last + 1, at).filter(line => !annotation(line)).length;
            if (skipped > 0) gaps.push([lastIndex, index, skipped]);
        }
        last = at;
        lastIndex = index;
        elided = false;
    });
    return gaps;
}

const all = samples(fs.readFileSync(doc, 'utf8').replace(/\r/g, ''));
if (all.length === 0) {
    console.error(`${doc}: no report sample (<!-- sample: NAME --> before a fenced block)`);
    process.exit(1);
}
let stale = 0;
let unread = 0;
let printed = 0;
for (const sample of all) {
    const log = `${work}.${sample.name}.log`;
    if (!fs.existsSync(log)) {
        console.error(`${doc}:${sample.line}: the sample ${sample.name}: no ${log}, the run's text that ` +
            'the InstallerCheck test keeps: run it first');
        unread++;
        continue;
    }
    const run = fs.readFileSync(log, 'utf8').replace(/\r/g, '').split('\n');
    const found = align(sample, run);
    const missing = found.indexOf(-1);
    if (print) {
        if (only.length ? only.includes(sample.name) : missing >= 0) {
            console.log(`The sample ${sample.name} (${doc}:${sample.line}) as the run has it (${log}):\n` +
                `${regenerate(sample, run, found)}\n`);
            printed++;
        }
        continue;
    }
    const gaps = missing < 0 ? unmarked(sample, run, found) : [];
    if (missing < 0 && gaps.length === 0) {
        console.log(`Sample ${sample.name}: its ${found.filter(at => at !== null).length} line(s) are in the run, in order.`);
        continue;
    }
    if (missing < 0) {
        stale++;
        console.error(`${doc}:${sample.line}: the sample ${sample.name} leaves lines of the run out with no "..." there:`);
        for (const [before, after, skipped] of gaps) {
            console.error(`  ${doc}:${sample.line + before}-${sample.line + after}: ${skipped} line(s) of the run left out between ` +
                `"${sample.lines[before].slice(0, 60)}" and "${sample.lines[after].slice(0, 60)}"`);
        }
        continue;
    }
    stale++;
    console.error(`${doc}:${sample.line}: the sample ${sample.name} is not an excerpt of today's run (${log}); ` +
        'these lines of it are not in the run, in that order:');
    found.forEach((at, index) => {
        if (at === -1) console.error(`  ${doc}:${sample.line + index}: ${sample.lines[index]}`);
    });
}
if (stale) {
    console.error(`${stale} report sample(s) stale. The check's report changed, or the sample did: ` +
        'bash tests/docs/RegenerateSamples.sh BUILD prints each one as the run has it now, to paste ' +
        `into ${doc} (keep its "..." lines, shorten where it grew).`);
}
if (print && !printed && !unread) console.log(`Every sample of ${doc} is an excerpt of the run: nothing to paste.`);
if (stale || unread) process.exit(1);
