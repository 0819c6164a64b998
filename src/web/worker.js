// The worker's half: bytes into the module's file system, quondel's own main run on them with
// the arguments the command line would get, the GIFs and the messages back to the page. Every
// conversion is the C++ program's; this script only moves bytes.
/* global createQuondel */
'use strict';

let quondel = null;  // the module; null after it aborted, until a fresh one is loaded
let lines = [];      // what the current run printed, as the command line would show it
let current = null;  // the run going on: { job, run, folder, shown: Set of paths }

function load() {
    return createQuondel({
               print: (line) => lines.push(line),
               printErr: (line) => lines.push(line),
           })
        .then((module) => {
            // Each finished picture takes its place by a rename: the page shows it at once,
            // while the run goes on with the next set.
            const rename = module.FS.rename;
            module.FS.rename = function(from, to) {
                rename.call(module.FS, from, to);
                if (current !== null && to.toLowerCase().endsWith('.gif')) picture(to);
            };
            quondel = module;
        });
}

function picture(path) {
    const full = path.startsWith('/') ? path : current.folder + '/' + path;
    if (current.shown.has(full)) return;
    current.shown.add(full);
    const bytes = quondel.FS.readFile(full);
    const name = full.slice(full.lastIndexOf('/') + 1);
    postMessage(
        {type: 'picture', job: current.job, run: current.run, name, bytes: bytes.buffer},
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

// How many pictures a doll run will write, from quondel -l (each configuration with its sets,
// nothing written), so that the page can show how far a long archive has come; 0: unknown.
function expectedPictures(run) {
    lines = [];
    try {
        quondel.callMain(['-l', ...run.arguments]);
    } catch (error) {
        quondel = null;
        return 0;
    }
    return lines.map((line) => /, sets ([\d ]+)(,|$)/.exec(line))
        .reduce((sum, sets) => sum + (sets ? sets[1].trim().split(' ').length : 0), 0);
}

// One job: its files written under a folder of its own, then main once per argument list
// (each list is what one command line would be, run in the files' folder).
async function convert(job) {
    const folder = '/job' + job.job;
    let written = null;  // the module the files are in
    // A module with the files, in the run's folder: a fresh one after an abort.
    const prepare = async (runFolder) => {
        if (quondel === null) await load();
        if (written !== quondel) {
            written = quondel;
            for (const file of job.files) {
                makeFolders(folder + '/' + file.path);
                quondel.FS.writeFile(folder + '/' + file.path, new Uint8Array(file.bytes));
            }
        }
        quondel.FS.chdir(runFolder);
    };
    for (let i = 0; i < job.runs.length; ++i) {
        const run = job.runs[i];
        const runFolder = folder + (run.folder ? '/' + run.folder : '');
        await prepare(runFolder);
        const pictures = run.arguments.includes('all') ? expectedPictures(run) : 0;
        postMessage({type: 'progress', job: job.job, run: i, pictures});
        await prepare(runFolder);
        current = {job: job.job, run: i, folder: runFolder, shown: new Set()};
        const before = new Set(quondel.FS.readdir(runFolder));
        lines = [];
        const started = performance.now();
        let status;
        try {
            status = quondel.callMain(run.arguments);
        } catch (error) {
            // An abort (memory exhausted, say): this module cannot go on, a fresh one will.
            status = -1;
            lines.push('quondel stopped: ' + error.message);
        }
        const milliseconds = performance.now() - started;
        // A picture written in place, not renamed, is found here.
        for (const name of status < 0 ? [] : quondel.FS.readdir(runFolder))
            if (!before.has(name) && name.toLowerCase().endsWith('.gif')) picture(name);
        if (status < 0) quondel = null;
        current = null;
        postMessage({type: 'run', job: job.job, run: i, status, messages: lines, milliseconds});
        if (quondel !== null) quondel.FS.chdir('/');
    }
    if (quondel === written) removeTree(folder);
}

// Jobs one after another; first the module, and whether it draws animations (--help says -a)
// for the page's still/animated switch.
let queue = load().then(() => {
    lines = [];
    quondel.callMain(['--help']);
    postMessage({type: 'ready', animation: lines.some((line) => /^\s+-a\b/.test(line))});
});
onmessage = (event) => {
    queue = queue.then(() => convert(event.data));
};
