// The web page in headless Chromium: files go in through the page's own file inputs, and what
// it shows and saves must be what the command-line quondel writes and says for the same files.
// The page is scripts/build-web's; QUONDEL_NATIVE: the native quondel (build/quondel);
// QUONDEL_REAL_DOLLS: the real archives' folder; QUONDEL_SCREENSHOT: where to keep the picture.
'use strict';

const {test, before, after} = require('node:test');
const assert = require('node:assert');
const {spawnSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {launch, openPage, serve} = require('./browser');

const root = path.resolve(__dirname, '../..');
const web = path.join(root, 'dist/web');
const native = path.resolve(process.env.QUONDEL_NATIVE || path.join(root, 'build/quondel'));
const cache = path.join(root, 'build-web/CMakeCache.txt');
const archives = /QUONDEL_FORMAT_LIBS:BOOL=ON/.test(fs.readFileSync(cache, 'latin1'));
const real = process.env.QUONDEL_REAL_DOLLS || path.join(root, '../shared/real-dolls');
const example = (...names) => names.map((n) => path.join(root, 'examples', n));
const doll = fs.readdirSync(path.join(root, 'examples')).filter((n) => /\.(cnf|cel|kcf)$/.test(n));

// A row per case: the files, how they are given, the command line they stand for, and what a
// user would have seen go wrong.
const rows = [
    {
        files: example(...doll),
        run: ['-s', 'all', 'doll.cnf'],
        checks: ['screen', 'keyboard', 'narrow'],
        still: true,
        reason: 'a doll picked as its files showed other pictures than the command line writes'
    },
    {
        files: example(...doll),
        folder: true,
        run: ['-s', 'all', 'doll.cnf'],
        reason: 'a doll\'s folder chosen with the folder picker drew nothing or other pictures'
    },
    {
        files: example(...doll),
        folder: true,
        drop: true,
        run: ['-s', 'all', 'doll.cnf'],
        reason: 'a doll\'s folder dropped on the page was not walked for its files'
    },
    {
        files: example('doll.kcf', 'face.cel', 'shirt.cel'),
        run: ['doll.kcf', 'face.cel', 'shirt.cel'],
        reason: 'cels picked without a doll came out in other colours than on the command line'
    },
    {
        files: example('doll.cnf', 'doll.kcf'),
        run: ['-s', 'all', 'doll.cnf'],
        reason: 'the command line\'s message naming the missing cel was not shown beside the doll'
    },
    {
        files: example('doll.lzh'),
        archive: true,
        run: ['-s', 'all', 'doll.lzh'],
        timed: true,
        reason: 'the example archive did not give both sets byte for byte'
    },
    {
        files: example('doll.zip'),
        archive: true,
        run: ['-s', 'all', 'doll.zip'],
        drop: true,
        reason: 'a ZIP archive dropped on the page was not read'
    },
    {
        files: [path.join(real, 'aurora.lzh')],
        archive: true,
        run: ['-s', 'all', 'aurora.lzh'],
        reason: 'a real doll\'s sets (translucent cels) differed from the command line\'s'
    },
    {
        files: [path.join(real, 'kayla.lzh')],
        archive: true,
        run: ['-s', 'all', 'kayla.lzh'],
        warm: true,
        still: true,
        reason: 'a real archive with level 2 headers was refused or drawn otherwise'
    },
    {
        files: archives ? example('doll.lzh') : example(...doll),
        fromDisk: true,
        run: ['-s', 'all', archives ? 'doll.lzh' : 'doll.cnf'],
        reason: 'the page opened from disk did not convert (its worker or module refused there)'
    },
];

let browser, server;
before(async () => {
    browser = launch();
    server = await serve(web);
});
after(async () => {
    await browser.close();
    server.close();
});

// Runs `run` in a folder holding copies of `files`; what it wrote there and how long it took.
function inFolder(files, run) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quondel-native-'));
    for (const file of files) fs.copyFileSync(file, path.join(dir, path.basename(file)));
    const started = process.hrtime.bigint();
    const result = run(dir);
    const milliseconds = Number(process.hrtime.bigint() - started) / 1e6;
    const pictures = new Map(fs.readdirSync(dir)
                                 .filter((n) => n.endsWith('.gif'))
                                 .map((n) => [n, fs.readFileSync(path.join(dir, n))]));
    fs.rmSync(dir, {recursive: true});
    return {result, milliseconds, pictures};
}

// What the command line writes and says for the same files, run where they lie.
function runNative(files, args) {
    const {result, pictures} =
        inFolder(files, (cwd) => spawnSync(native, args, {cwd, encoding: 'latin1'}));
    return {pictures, messages: (result.stdout + result.stderr).split('\n').filter((l) => l)};
}

// Gives the files through a file input, or dropped on the page; what the page then shows.
async function give(page, selector, files) {
    const done = `document.querySelectorAll('section.run[data-status]').length`;
    const before = await page.evaluate(done);
    if (selector === 'drop') {
        const data = {items: [], files, dragOperationsMask: 1};
        for (const type of ['dragEnter', 'dragOver', 'drop'])
            await page.send('Input.dispatchDragEvent', {type, x: 300, y: 250, data});
    } else {
        const {root: top} = await page.send('DOM.getDocument');
        const {nodeId} = await page.send('DOM.querySelector', {nodeId: top.nodeId, selector});
        await page.send('DOM.setFileInputFiles', {nodeId, files});
    }
    await page.until(`${done} > ${before} && document.body.dataset.state === 'idle'`);
    return page.evaluate(`[...document.querySelectorAll('section.run')].map((s) => ({
        milliseconds: Number(s.dataset.milliseconds),
        messages: [...s.querySelectorAll('.messages li')].map((li) => li.textContent),
        pictures: [...s.querySelectorAll('figure strong')].map((name) => name.textContent),
        alts: [...s.querySelectorAll('img')].map((img) => img.alt) }))`);
}

// Saves through one of the page's own links, into `folder`; the saved file's bytes.
async function save(page, folder, selector, name) {
    await browser.send(
        'Browser.setDownloadBehavior',
        {behavior: 'allow', downloadPath: folder, eventsEnabled: true});
    const done = browser.waitFor('Browser.downloadProgress', (p) => p.state === 'completed');
    await page.evaluate(`document.querySelector(${JSON.stringify(selector)}).click()`);
    await done;
    return fs.readFileSync(path.join(folder, name));
}

// The stored entries of the saved ZIP, by name.
function unzip(zip) {
    const entries = new Map();
    for (let at = 0; zip.readUInt32LE(at) === 0x04034b50;) {
        const size = zip.readUInt32LE(at + 18), nameLength = zip.readUInt16LE(at + 26);
        assert.strictEqual(zip.readUInt16LE(at + 8), 0, 'stored entries');
        at += 30 + nameLength;
        entries.set(zip.toString('utf8', at - nameLength, at), zip.subarray(at, at += size));
    }
    return entries;
}

// The screenshot, decoded by the browser, against each picture drawn from its GIF at its place
// (over the page's backdrop): a picture missing from the screen, blank or broken fails.
async function checkScreen(page) {
    const {data} = await page.send('Page.captureScreenshot', {format: 'png'});
    if (process.env.QUONDEL_SCREENSHOT)
        fs.writeFileSync(process.env.QUONDEL_SCREENSHOT, Buffer.from(data, 'base64'));
    const matching = await page.evaluate(`(async () => {
        const png = Uint8Array.from(atob('${data}'), (c) => c.charCodeAt(0));
        const shot = await createImageBitmap(new Blob([png]));
        const pixels = (draw, w, h) => {
            const context = new OffscreenCanvas(w, h).getContext('2d');
            context.imageSmoothingEnabled = false;
            draw(context);
            return context.getImageData(0, 0, w, h).data;
        };
        return [...document.querySelectorAll('figure img')].map((img) => {
            const r = img.getBoundingClientRect(), w = r.width, h = r.height;
            const seen = pixels((c) => c.drawImage(shot, -r.left, -r.top), w, h);
            const gif = pixels((c) => {
                c.fillStyle = '#e9e6df';
                c.fillRect(0, 0, w, h);
                c.drawImage(img, 0, 0, w, h);
            }, w, h);
            let same = 0;
            for (let i = 0; i < seen.length; i += 4)
                same += [0, 1, 2].every((k) => seen[i + k] === gif[i + k]);
            return same / (w * h);
        });
    })()`);
    assert.ok(
        matching.length > 0 && matching.every((m) => m > 0.98),
        'the screen shows the pictures: ' + matching);
}

async function checkKeyboard(page, seen) {
    const order = [];
    for (let at = ''; at !== 'BODY' && order.length < 40 && !order.slice(0, -1).includes(at);) {
        for (const type of ['keyDown', 'keyUp'])
            await page.send(
                'Input.dispatchKeyEvent',
                {type, key: 'Tab', code: 'Tab', windowsVirtualKeyCode: 9});
        order.push(at = await page.evaluate(`(() => { const e = document.activeElement;
            return e.id || e.getAttribute('aria-label') || e.tagName; })()`));
    }
    const animation = await page.evaluate(`$('animation').hidden ? [] : ['animate']`);
    assert.deepStrictEqual(
        order,
        [
            'files', 'folder', ...animation, 'save-all', 'clear',
            ...seen.pictures.map((p) => 'Save ' + p), 'BODY'
        ],
        'the keyboard reaches the pickers, the buttons and every picture, in that order');
    for (const alt of seen.alts)
        assert.match(alt, /^Doll \S+, set \d$/, 'a screen reader names each doll and set');
}

async function checkNarrow(page) {
    await page.send(
        'Emulation.setDeviceMetricsOverride',
        {width: 360, height: 740, deviceScaleFactor: 1, mobile: true});
    const wide = await page.evaluate('document.documentElement.scrollWidth');
    assert.ok(wide <= 360, `a 360-pixel-wide screen scrolls sideways (${wide} pixels)`);
}

for (const row of rows) {
    const skip = row.archive && !archives ? 'the page was built without the format libraries' :
        !fs.existsSync(row.files[0])      ? row.files[0] + ' is missing' :
                                            false;
    const name = row.files.map((f) => path.basename(f)).join(' ') +
        (row.folder ? ', their folder' : '') + (row.drop ? ', dropped' : '') +
        (row.fromDisk ? ', the page opened from disk' : '');
    test(name, {skip}, async (t) => {
        const page = await openPage(
            browser,
            row.fromDisk ? 'file://' + path.join(web, 'index.html') :
                           `http://127.0.0.1:${server.address().port}/index.html`);
        const downloads = fs.mkdtempSync(path.join(os.tmpdir(), 'quondel-page-'));
        try {
            await page.until('document.body.dataset.ready === "true"', 30);
            // The page animates the dolls that animate unless switched to stills, as quondel -a.
            if (row.still)
                await page.evaluate(`document.querySelector('#animate:checked')?.click()`);
            const animated = await page.evaluate(`!$('animation').hidden && $('animate').checked`);
            const expected = runNative(row.files, animated ? ['-a', ...row.run] : row.run);
            let given = row.files;
            if (row.folder) {
                given = [path.join(downloads, 'doll')];
                fs.mkdirSync(given[0]);
                for (const file of row.files)
                    fs.copyFileSync(file, path.join(given[0], path.basename(file)));
            }
            const [seen] = await give(
                page,
                row.drop       ? 'drop' :
                    row.folder ? '#folder' :
                                 '#files',
                given);
            assert.deepStrictEqual(seen.messages, expected.messages, row.reason + ' (messages)');
            assert.deepStrictEqual(
                seen.pictures.slice().sort(), [...expected.pictures.keys()].sort(), row.reason);
            if (seen.pictures.length === 0) return;
            const first = await save(page, downloads, 'a.save', seen.pictures[0]);
            assert.ok(
                first.equals(expected.pictures.get(seen.pictures[0])),
                row.reason + ': the saved GIF differs');
            const saved = unzip(await save(page, downloads, '#save-all', 'quondel-pictures.zip'));
            assert.deepStrictEqual([...saved.keys()].sort(), [...expected.pictures.keys()].sort());
            for (const [name, bytes] of expected.pictures)
                assert.ok(saved.get(name).equals(bytes), `${row.reason}: ${name} differs`);
            if (row.checks)
                await checkScreen(page), await checkKeyboard(page, seen), await checkNarrow(page);
            if (row.timed) {
                const [ready, first] = await page.evaluate(
                    `[document.body.dataset.readyAt, document.body.dataset.firstPicture]`);
                t.diagnostic(
                    `first picture of ${row.run.at(-1)}: ${first} ms after it was ` +
                    `given; the converter was ready ${ready} ms after the page began`);
            }
            if (row.warm) {
                const again = (await give(page, '#files', row.files))[1].milliseconds;
                // The native program with its second thread on the same core, best of three.
                const one = Math.min(...[1, 2, 3].map(
                    () => inFolder(
                              row.files,
                              (cwd) => spawnSync('taskset', ['-c', '0', native, ...row.run], {cwd}))
                              .milliseconds));
                t.diagnostic(`warm conversion of ${row.run.at(-1)}: ${
                    again.toFixed(0)} ms in the page, ${one.toFixed(0)} ms native on one core`);
            }
        } finally {
            await page.close();
            fs.rmSync(downloads, {recursive: true, force: true});
        }
    });
}
