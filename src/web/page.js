// The page's half: files in (picker, folder picker or drop), jobs to the worker, pictures and
// messages out, each GIF saved as quondel wrote it, or all of them in one ZIP.
/* global quondelWorker */
'use strict';

const ARCHIVE = /\.(lzh|lha|zip)$/i;
const $ = (id) => document.getElementById(id);

const worker = new Worker(URL.createObjectURL(
    new Blob(['(' + quondelWorker.toString() + ')()'], {type: 'text/javascript'})));

let animation = false;   // whether this quondel draws animations (its --help says -a)
const batches = [];      // every batch of files given, kept to convert again with the switch
const jobs = new Map();  // job number -> { runs: [{ label, section, pictures: [] }] }
let nextJob = 1;
let waiting = 0;  // runs not finished yet
let pending = 0;  // runs given in all
let firstPictureAt = null;
let givenAt = 0;

// ---- files in

// "a/b/../c" and the like cannot climb out of the job's folder.
function cleanPath(path) {
    return path.split(/[\\/]+/).filter((p) => p !== '' && p !== '.' && p !== '..').join('/');
}

function folderOf(path) {
    const slash = path.lastIndexOf('/');
    return slash < 0 ? '' : path.slice(0, slash);
}

function baseName(path) {
    return path.slice(path.lastIndexOf('/') + 1);
}

// The runs for one batch: each archive alone; each configuration with its folder's files;
// loose cels with the palettes of their folder before them, as on a command line. "--" keeps
// a file named like a switch ("-x.cel") a file.
function planJobs(files) {
    const planned = [];
    const options = animation && $('animate').checked ? ['-a'] : [];
    const folders = new Map();
    for (const file of files) {
        if (ARCHIVE.test(file.path)) {
            planned.push({
                files: [{path: baseName(file.path), file: file.file}],
                runs: [{
                    folder: '',
                    label: file.path,
                    arguments: [...options, '-s', 'all', '--', baseName(file.path)]
                }]
            });
            continue;
        }
        const folder = folderOf(file.path);
        if (!folders.has(folder)) folders.set(folder, []);
        folders.get(folder).push(file);
    }
    const loose = {files: [], runs: []};
    for (const [folder, inside] of [...folders].sort()) {
        const names = inside.map((f) => baseName(f.path)).sort();
        const cnfs = names.filter((n) => /\.cnf$/i.test(n));
        const label = (name) => (folder ? folder + '/' : '') + name;
        for (const cnf of cnfs)
            loose.runs.push(
                {folder, label: label(cnf), arguments: [...options, '-s', 'all', '--', cnf]});
        const palettes = names.filter((n) => /\.kcf$/i.test(n));
        const cels = names.filter((n) => /\.cel$/i.test(n));
        if (cnfs.length === 0 && cels.length > 0)
            loose.runs.push({
                folder,
                label: label(cels.length === 1 ? cels[0] : 'cels'),
                arguments: [...options, '--', ...palettes, ...cels]
            });
        loose.files.push(...inside);
    }
    if (loose.runs.length > 0) planned.push(loose);
    return planned;
}

async function give(files) {
    if (files.length === 0) return;
    batches.push(files);
    givenAt = performance.now();
    firstPictureAt = null;
    await convert(files);
}

async function convert(files) {
    const planned = planJobs(files);
    if (planned.length === 0) {
        say('None of these files is a doll archive, a configuration or a cel.');
        return;
    }
    if (waiting === 0) pending = 0;  // "2 of 5" counts the runs since the page was last idle
    for (const job of planned) {
        const number = nextJob++;
        const record = {runs: job.runs.map((run) => ({label: run.label, pictures: []}))};
        jobs.set(number, record);
        for (const run of record.runs) run.section = addSection(run.label);
        waiting += job.runs.length;
        pending += job.runs.length;
        const bytes = await Promise.all(job.files.map((f) => f.file.arrayBuffer()));
        worker.postMessage(
            {
                job: number,
                runs: job.runs,
                files: job.files.map((f, i) => ({path: cleanPath(f.path), bytes: bytes[i]}))
            },
            bytes);
    }
    showProgress();
}

$('files').addEventListener('change', (event) => {
    const files = [...event.target.files].map((file) => ({path: cleanPath(file.name), file}));
    event.target.value = '';
    give(files);
});

$('folder').addEventListener('change', (event) => {
    const files = [...event.target.files].map(
        (file) => ({path: cleanPath(file.webkitRelativePath || file.name), file}));
    event.target.value = '';
    give(files);
});

// A dropped folder is walked whole; readEntries hands its names over in batches.
async function walk(entry, into) {
    if (entry.isFile) {
        const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
        into.push({path: cleanPath(entry.fullPath), file});
        return;
    }
    const reader = entry.createReader();
    for (;;) {
        const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
        if (batch.length === 0) break;
        for (const inside of batch) await walk(inside, into);
    }
}

const drop = $('drop');
document.addEventListener('dragover', (event) => {
    event.preventDefault();
    drop.classList.add('over');
});
document.addEventListener('dragleave', () => drop.classList.remove('over'));
document.addEventListener('drop', async (event) => {
    event.preventDefault();
    drop.classList.remove('over');
    const entries = [...event.dataTransfer.items].map(
        (item) => item.webkitGetAsEntry && item.webkitGetAsEntry());
    const files = [];
    if (entries.every((entry) => entry)) {
        for (const entry of entries) await walk(entry, files);
    } else {
        for (const file of event.dataTransfer.files) files.push({path: cleanPath(file.name), file});
    }
    give(files);
});

// ---- pictures and messages out

let saidAt = 0;
function say(text) {
    $('status').textContent = text;
    saidAt = performance.now();
}

function showProgress() {
    $('progress').hidden = waiting === 0;
    document.body.dataset.state = waiting === 0 ? 'idle' : 'busy';
    $('clear').disabled = waiting !== 0 || jobs.size === 0;
    $('animate').disabled = waiting !== 0;  // switching converts everything again
}

function addSection(label) {
    const section = document.createElement('section');
    section.className = 'run';
    section.setAttribute('aria-busy', 'true');
    const heading = document.createElement('h2');
    heading.textContent = label;
    const took = document.createElement('p');
    took.className = 'took';
    took.textContent = 'Waiting…';
    const pictures = document.createElement('div');
    pictures.className = 'pictures';
    section.append(heading, took, pictures);
    $('results').append(section);
    return section;
}

// A GIF's logical screen size, from its header.
function gifSize(bytes) {
    return [bytes[6] | (bytes[7] << 8), bytes[8] | (bytes[9] << 8)];
}

function formatBytes(count) {
    return count < 1024 ? count + ' bytes' : (count / 1024).toFixed(1) + ' KB';
}

// A GIF of more than one image is an animation: the blocks are walked to count them.
function isAnimated(bytes) {
    const table = (flags) => (flags & 0x80 ? 3 << ((flags & 7) + 1) : 0);
    let at = 13 + table(bytes[10]), images = 0;
    while (at < bytes.length && (bytes[at] === 0x21 || bytes[at] === 0x2c)) {
        if (bytes[at] === 0x2c) ++images;
        at += bytes[at] === 0x2c ? 11 + table(bytes[at + 9]) : 2;
        while (at < bytes.length && bytes[at] !== 0) at += bytes[at] + 1;
        ++at;
    }
    return images > 1;
}

// quondel names set 0 NAME.gif and set N NAME-N.gif: a "-N" is a set when NAME.gif came first.
function setOf(run, name) {
    const match = /^(.*)-(\d)\.gif$/i.exec(name);
    if (match && run.pictures.some((p) => p.name.toLowerCase() === match[1].toLowerCase() + '.gif'))
        return {doll: match[1], set: Number(match[2])};
    return {doll: name.replace(/\.gif$/i, ''), set: 0};
}

function addPicture(run, name, buffer) {
    const bytes = new Uint8Array(buffer);
    const {doll, set} = setOf(run, name);
    run.pictures.push({name, bytes});
    const url = URL.createObjectURL(new Blob([bytes], {type: 'image/gif'}));
    const [width, height] = gifSize(bytes);
    const figure = document.createElement('figure');
    const image = document.createElement('img');
    image.src = url;
    // Small dolls at a whole multiple of their size, so that every pixel stays sharp.
    const scale = Math.max(1, Math.floor(240 / Math.max(width, height, 1)));
    image.width = width * scale;
    image.height = height * scale;
    image.alt = `Doll ${doll}, set ${set}`;
    image.addEventListener('load', () => {
        if (firstPictureAt === null) {
            firstPictureAt = performance.now();
            document.body.dataset.firstPicture = String(Math.round(firstPictureAt - givenAt));
        }
    }, {once: true});
    const caption = document.createElement('figcaption');
    const title = document.createElement('strong');
    title.textContent = name;
    const facts = document.createElement('div');
    facts.textContent = `Set ${set} · ${width} × ${height} · ${formatBytes(bytes.length)}` +
        (isAnimated(bytes) ? ' · animated' : '');
    const save = document.createElement('a');
    save.href = url;
    save.download = name;
    save.className = 'save';
    save.textContent = 'Save GIF';
    save.setAttribute('aria-label', `Save ${name}`);
    caption.append(title, facts, save);
    figure.append(image, caption);
    run.section.querySelector('.pictures').append(figure);
    $('save-all').disabled = false;
}

function finishRun(run, message) {
    const section = run.section;
    section.removeAttribute('aria-busy');
    const count = run.pictures.length;
    section.querySelector('.took').textContent = `${count} picture${
        count === 1 ? '' : 's'}, converted in ${Math.round(message.milliseconds)} ms`;
    section.dataset.milliseconds = String(message.milliseconds);
    section.dataset.status = String(message.status);
    if (message.messages.length > 0) {
        const list = document.createElement('ul');
        list.className = 'messages';
        list.setAttribute('aria-label', `quondel's messages for ${run.label}`);
        for (const line of message.messages) {
            const item = document.createElement('li');
            item.textContent = line;
            list.append(item);
        }
        section.querySelector('.took').after(list);
    }
}

worker.onmessage = (event) => {
    const message = event.data;
    if (message.type === 'ready') {
        animation = message.animation;
        $('animation').hidden = !animation;
        say('Ready: drop or choose a doll.');
        document.body.dataset.ready = 'true';
        document.body.dataset.readyAt = String(Math.round(performance.now()));
        return;
    }
    const job = jobs.get(message.job);
    if (!job) return;
    const run = job.runs[message.run];
    const progress = $('progress');
    if (message.type === 'progress') {
        run.section.querySelector('.took').textContent = 'Converting…';
        run.expected = message.pictures;
        run.section.dataset.expected = String(run.expected);
        run.step = `${run.label} (${pending - waiting + 1} of ${pending})`;
        say(`Converting ${run.step}…`);
        // Without a count of the pictures to come the bar only says that work goes on.
        if (run.expected > 0) {
            progress.max = run.expected;
            progress.value = 0;
        } else {
            progress.removeAttribute('value');
        }
    } else if (message.type === 'picture') {
        addPicture(run, message.name, message.bytes);
        if (run.expected > 0) progress.value = run.pictures.length;
        // The count in words too, but at most once a second, so a screen reader keeps up.
        if (run.expected > 0 && performance.now() - saidAt > 1000) {
            say(`Converting ${run.step}: ${run.pictures.length} of ${run.expected} pictures…`);
        }
    } else if (message.type === 'run') {
        finishRun(run, message);
        --waiting;
        if (waiting === 0) {
            const total = [...jobs.values()].reduce(
                (sum, j) => sum + j.runs.reduce((s, r) => s + r.pictures.length, 0), 0);
            say(`Done: ${total} picture${total === 1 ? '' : 's'}.`);
        }
        showProgress();
    }
};

worker.onerror = (event) => say('The converter stopped: ' + event.message);

// ---- saving

const CRC_TABLE = (() => {
    const table = new Uint32Array(256);
    for (let n = 0; n < 256; ++n) {
        let c = n;
        for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
        table[n] = c >>> 0;
    }
    return table;
})();

function crc32(bytes) {
    let c = 0xffffffff;
    for (let i = 0; i < bytes.length; ++i) c = CRC_TABLE[(c ^ bytes[i]) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

// A ZIP of stored entries: GIFs are compressed already.
function zip(entries) {
    const parts = [];
    const directory = [];
    let offset = 0;
    const now = new Date();
    const time = (now.getHours() << 11) | (now.getMinutes() << 5) | (now.getSeconds() >> 1);
    const date = ((now.getFullYear() - 1980) << 9) | ((now.getMonth() + 1) << 5) | now.getDate();
    for (const {name, bytes} of entries) {
        const encoded = new TextEncoder().encode(name);
        const crc = crc32(bytes);
        const header = (signature, size) => {
            const view = new DataView(new ArrayBuffer(size));
            view.setUint32(0, signature, true);
            return view;
        };
        const local = header(0x04034b50, 30 + encoded.length);
        const central = header(0x02014b50, 46 + encoded.length);
        // Local: version, flags (UTF-8 names), method 0, time, date, CRC, sizes, name length.
        for (const [view, at] of [[local, 4], [central, 6]]) {
            view.setUint16(at, 20, true);
            view.setUint16(at + 2, 0x0800, true);
            view.setUint16(at + 6, time, true);
            view.setUint16(at + 8, date, true);
            view.setUint32(at + 10, crc, true);
            view.setUint32(at + 14, bytes.length, true);
            view.setUint32(at + 18, bytes.length, true);
            view.setUint16(at + 22, encoded.length, true);
        }
        central.setUint16(4, 20, true);
        central.setUint32(42, offset, true);
        new Uint8Array(local.buffer).set(encoded, 30);
        new Uint8Array(central.buffer).set(encoded, 46);
        parts.push(local.buffer, bytes);
        directory.push(central.buffer);
        offset += 30 + encoded.length + bytes.length;
    }
    const size = directory.reduce((sum, d) => sum + d.byteLength, 0);
    const end = new DataView(new ArrayBuffer(22));
    end.setUint32(0, 0x06054b50, true);
    end.setUint16(8, entries.length, true);
    end.setUint16(10, entries.length, true);
    end.setUint32(12, size, true);
    end.setUint32(16, offset, true);
    return new Blob([...parts, ...directory, end.buffer], {type: 'application/zip'});
}

$('save-all').addEventListener('click', () => {
    const entries = [];
    const taken = new Set();
    for (const job of jobs.values()) {
        for (const run of job.runs) {
            for (const {name, bytes} of run.pictures) {
                // Two inputs of one name in different folders: the folder keeps them apart.
                let entry = name;
                if (taken.has(entry.toLowerCase()))
                    entry = run.label.replace(/[/:]/g, '-') + '-' + name;
                taken.add(entry.toLowerCase());
                entries.push({name: entry, bytes});
            }
        }
    }
    const link = document.createElement('a');
    link.href = URL.createObjectURL(zip(entries));
    link.download = 'quondel-pictures.zip';
    document.body.append(link);
    link.click();
    link.remove();
});

function clearResults() {
    for (const img of document.querySelectorAll('#results img')) URL.revokeObjectURL(img.src);
    $('results').replaceChildren();
    jobs.clear();
    pending = 0;
    $('save-all').disabled = true;
    showProgress();
}

$('clear').addEventListener('click', () => {
    clearResults();
    batches.length = 0;
    say('Cleared.');
});

// The still/animated switch converts everything given so far again.
$('animate').addEventListener('change', async () => {
    clearResults();
    for (const files of batches) await convert(files);
});
