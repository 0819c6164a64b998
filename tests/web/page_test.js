// The web page in headless Chromium: files go in through the page's own file inputs, and what
// it shows and saves must be what the command-line quondel writes and says for the same files.
// The page is scripts/build-web's; QUONDEL_NATIVE: the native quondel (build/quondel);
// QUONDEL_REAL_DOLLS: the real archives' folder (../shared/real-dolls).
'use strict';

const {test, before, after} = require('node:test');
const assert = require('node:assert');
const {spawnSync} = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const {launch, openPage, serve} = require('../../scripts/chromium');

const root = path.resolve(__dirname, '../..');
const web = path.join(root, 'dist/web');
const native = path.resolve(process.env.QUONDEL_NATIVE || path.join(root, 'build/quondel'));
const cache = path.join(root, 'build-web/CMakeCache.txt');
const archives = /QUONDEL_FORMAT_LIBS:BOOL=ON/.test(fs.readFileSync(cache, 'latin1'));
const real = process.env.QUONDEL_REAL_DOLLS || path.join(root, '../shared/real-dolls');
const example = (...names) => names.map((n) => path.join(root, 'examples', n));
const doll = fs.readdirSync(path.join(root, 'examples')).filter((n) => /\.(cnf|cel|kcf)$/.test(n));

// A row per case: the files; how they are given (the folder picker or a drop, the page opened
// from disk, the switch set to stills) and what else is checked there; the command
// line they stand for; what a user would have seen go wrong.
// clang-format off
const rows = [
    [example(...doll), 'still screen keyboard narrow', ['-s', 'all', 'doll.cnf'],
     'a doll picked as its files showed other pictures than the command line writes'],
    [example(...doll), 'folder', ['-s', 'all', 'doll.cnf'],
     "a doll's folder chosen with the folder picker drew nothing or other pictures"],
    [example(...doll), 'folder drop', ['-s', 'all', 'doll.cnf'],
     "a doll's folder dropped on the page was not walked for its files"],
    [example('doll.kcf', 'face.cel', 'shirt.cel'), '', ['doll.kcf', 'face.cel', 'shirt.cel'],
     'cels picked without a doll came out in other colours than on the command line'],
    [example('doll.cnf', 'doll.kcf'), '', ['-s', 'all', 'doll.cnf'],
     "the command line's message naming the missing cel was not shown beside the doll"],
    [example('doll.lzh'), 'archive', ['-s', 'all', 'doll.lzh'],
     'the example archive did not give both sets byte for byte'],
    [example('doll.zip'), 'archive drop', ['-s', 'all', 'doll.zip'],
     'a ZIP archive dropped on the page was not read'],
    [[path.join(real, 'aurora.lzh')], 'archive', ['-s', 'all', 'aurora.lzh'],
     "a real doll's sets (translucent cels) differed from the command line's"],
    [[path.join(real, 'kayla.lzh')], 'archive still', ['-s', 'all', 'kayla.lzh'],
     'a real archive with level 2 headers was refused or drawn otherwise'],
    [archives ? example('doll.lzh') : example(...doll), 'disk',
     ['-s', 'all', archives ? 'doll.lzh' : 'doll.cnf'],
     'the page opened from disk did not convert (its worker or module refused there)'],
].map(([files, how, run, reason]) => ({files, run, reason, ...Object.fromEntries(
    how.split(' ').filter((word) => word).map((word) => [word, true]))}));
// clang-format on

let browser, server;
before(async () => {
    browser = launch();
    server = await serve(web);
});
after(async () => {
    await browser.close();
    server.close();
});

// What the command line writes and says for the same files, run where they lie.
function runNative(files, args) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quondel-native-'));
    for (const file of files) fs.copyFileSync(file, path.join(dir, path.basename(file)));
    const result = spawnSync(native, args, {cwd: dir, encoding: 'latin1'});
    const pictures = new Map(fs.readdirSync(dir)
                                 .filter((n) => n.endsWith('.gif'))
                                 .map((n) => [n, fs.readFileSync(path.join(dir, n))]));
    fs.rmSync(dir, {recursive: true});
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
        expected: Number(s.dataset.expected),
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
        (row.disk ? ', the page opened from disk' : '');
    test(name, {skip}, async () => {
        const page = await openPage(
            browser,
            row.disk ? 'file://' + path.join(web, 'index.html') :
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
            // The progress bar counted the pictures to come (a failure ends a doll early).
            if (row.run.includes('all') && expected.messages.length === 0)
                assert.strictEqual(
                    seen.expected, seen.pictures.length, 'the progress bar\'s count');
            if (seen.pictures.length === 0) return;
            const first = await save(page, downloads, 'a.save', seen.pictures[0]);
            assert.ok(
                first.equals(expected.pictures.get(seen.pictures[0])),
                row.reason + ': the saved GIF differs');
            const saved = unzip(await save(page, downloads, '#save-all', 'quondel-pictures.zip'));
            assert.deepStrictEqual([...saved.keys()].sort(), [...expected.pictures.keys()].sort());
            for (const [name, bytes] of expected.pictures)
                assert.ok(saved.get(name).equals(bytes), `${row.reason}: ${name} differs`);
            if (row.screen) await checkScreen(page);
            if (row.keyboard) await checkKeyboard(page, seen);
            if (row.narrow) await checkNarrow(page);
        } finally {
            await page.close();
            fs.rmSync(downloads, {recursive: true, force: true});
        }
    });
}
