// The worker's half: bytes into the module's file system, quondel's own main run on them with
// the arguments the command line would get, the GIFs and the messages back to the page. Every
// conversion is the C++ program's; this script only moves bytes.
/* global createQuondel */
'use strict';

let quondel = null;
let lines = [];  // what the current run printed, as the command line would show it

const started = createQuondel({
                    print: (line) => lines.push(line),
                    printErr: (line) => lines.push(line),
                }).then((module) => {
    quondel = module;
    // Each finished picture takes its place by a rename: the page shows it at once, while the
    // run goes on with the next set.
    const rename = module.FS.rename;
    module.FS.rename = function(from, to) {
        rename.call(module.FS, from, to);
        if (current !== null && to.toLowerCase().endsWith('.gif')) picture(to);
    };
    lines = [];
    module.callMain(['--help']);
    // The still/animated switch appears once this quondel draws animations.
    postMessage({type: 'ready', animation: lines.some((l) => /^\s+-a\b/.test(l))});
});

let current = null;  // { job, run, folder, shown: Set of paths }

function picture(path) {
    const full = path.startsWith('/') ? path : current.folder + '/' + path;
    if (current.shown.has(full)) return;
    current.shown.add(full);
    const bytes = quondel.FS.readFile(full);
    postMessage(
        {
            type: 'picture',
            job: current.job,
            run: current.run,
            name: full.slice(full.lastIndexOf('/') + 1),
            bytes: bytes.buffer
        },
        [bytes.buffer]);
}

function makeFolders(path) {
    let at = '';
    for (const part of path.split('/').slice(0, -1)) {
        at += '/' + part;
        if (!quondel.FS.analyzePath(at).exists) quondel.FS.mkdir(at);
    }
}

function removeTree(path) {
    for (const name of quondel.FS.readdir(path)) {
        if (name === '.' || name === '..') continue;
        const inside = path + '/' + name;
        if (quondel.FS.isDir(quondel.FS.stat(inside).mode))
            removeTree(inside);
        else
            quondel.FS.unlink(inside);
    }
    quondel.FS.rmdir(path);
}

// One job: its files written under a folder of its own, then main once per argument list
// (each list is what one command line would be, run in the files' folder).
function convert(job) {
    const folder = '/job' + job.job;
    makeFolders(folder + '/x');
    for (const file of job.files) {
        makeFolders(folder + '/' + file.path);
        quondel.FS.writeFile(folder + '/' + file.path, new Uint8Array(file.bytes));
    }
    for (let i = 0; i < job.runs.length; ++i) {
        const run = job.runs[i];
        postMessage({type: 'progress', job: job.job, run: i, runs: job.runs.length});
        current = {
            job: job.job,
            run: i,
            folder: folder + (run.folder ? '/' + run.folder : ''),
            shown: new Set()
        };
        quondel.FS.chdir(current.folder);
        const before = new Set(quondel.FS.readdir(current.folder));
        lines = [];
        const started = performance.now();
        let status;
        try {
            status = quondel.callMain(run.arguments);
        } catch (error) {
            status = -1;
            lines.push(String(error));
        }
        // A picture written in place, not renamed, is found here.
        for (const name of quondel.FS.readdir(current.folder))
            if (!before.has(name) && name.toLowerCase().endsWith('.gif')) picture(name);
        postMessage({
            type: 'run',
            job: job.job,
            run: i,
            status,
            messages: lines,
            milliseconds: performance.now() - started
        });
        current = null;
        quondel.FS.chdir('/');
    }
    removeTree(folder);
    postMessage({type: 'done', job: job.job});
}

onmessage = (event) => started.then(() => convert(event.data));
