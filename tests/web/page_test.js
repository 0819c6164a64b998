// The web page in headless Chromium: files go in through the page's own file inputs, and what
// the page shows and saves must be what the command-line quondel writes for the same files.
// Environment: QUONDEL_WEB (the built page's folder), QUONDEL_NATIVE (the native quondel),
// QUONDEL_WEB_ARCHIVES=1 when the page was built with the format libraries, QUONDEL_REAL_DOLLS
// (a folder of real doll archives; rows using it are skipped without it), QUONDEL_SCREENSHOT
// (where to save the page's picture for the README).
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawnSync } = require('child_process');
const fs = require('fs');
const os = require('os');
const path = require('path');
const b = require('./browser');

const root = path.resolve(__dirname, '../..');
const web = path.resolve(process.env.QUONDEL_WEB || path.join(root, 'dist/web'));
const native = path.resolve(process.env.QUONDEL_NATIVE || path.join(root, 'build/quondel'));
const archives = process.env.QUONDEL_WEB_ARCHIVES === '1';
const real = process.env.QUONDEL_REAL_DOLLS || path.join(root, '../shared/real-dolls');
const examples = path.join(root, 'examples');
const exampleDoll = fs.readdirSync(examples).filter((n) => /\.(cnf|cel|kcf)$/.test(n)).sort();

// A row per case: what is given, how, and what a user would have seen go wrong.
const rows = [
    { name: 'the example doll as loose files', files: exampleDoll.map((n) => path.join(examples, n)),
      arguments: ['-s', 'all', 'doll.cnf'], checks: ['screen', 'keyboard', 'narrow'],
      reason: 'a doll picked as its CNF, cels and palettes showed other pictures than the command line writes' },
    { name: 'the example doll from its folder', folder: exampleDoll.map((n) => path.join(examples, n)),
      arguments: ['-s', 'all', 'doll.cnf'],
      reason: "a doll's folder chosen with the folder picker drew nothing or other pictures" },
    { name: 'loose cels after their palette', files: ['doll.kcf', 'face.cel', 'shirt.cel'].map((n) => path.join(examples, n)),
      arguments: ['doll.kcf', 'face.cel', 'shirt.cel'],
      reason: 'cels picked without a doll came out in other colours than on the command line' },
    { name: 'a missing cel', files: ['doll.cnf', 'doll.kcf'].map((n) => path.join(examples, n)),
      arguments: ['-s', 'all', 'doll.cnf'],
      reason: "the command line's message naming the missing cel was not shown beside the doll" },
    { name: 'the example doll archive (LZH)', files: [path.join(examples, 'doll.lzh')], archive: true,
      arguments: ['-s', 'all', 'doll.lzh'], timed: true,
      reason: 'the example archive did not give both sets byte for byte' },
    { name: 'the example doll archive (ZIP)', files: [path.join(examples, 'doll.zip')], archive: true,
      arguments: ['-s', 'all', 'doll.zip'],
      reason: 'a ZIP archive was not read in the browser' },
    { name: 'aurora, a real doll with translucency', files: [path.join(real, 'aurora.lzh')], archive: true,
      real: true, arguments: ['-s', 'all', 'aurora.lzh'],
      reason: "a real doll's sets differed from the command line's" },
    { name: 'kayla, a real doll with level 2 headers', files: [path.join(real, 'kayla.lzh')], archive: true,
      real: true, arguments: ['-s', 'all', 'kayla.lzh'], warm: true,
      reason: 'a real archive made on Windows was refused or drawn otherwise' },
    { name: 'the example doll opened from disk', files: [path.join(examples, archives ? 'doll.lzh' : 'doll.cnf')],
      extra: archives ? [] : exampleDoll.filter((n) => n !== 'doll.cnf').map((n) => path.join(examples, n)),
      arguments: ['-s', 'all', archives ? 'doll.lzh' : 'doll.cnf'], fromDisk: true,
      reason: 'the page saved to disk and opened as a file did not convert (worker or module refused there)' },
];

let browser;
let server;
const measured = [];

before(async () => {
    browser = await b.launch(b.findChromium());
    server = await b.serve(web);
});

after(async () => {
    if (browser) await browser.close();
    if (server) server.server.close();
    for (const line of measured) console.log('# ' + line);
});

// What the command line writes and says for the same files, run where they lie.
function runNative(files, args) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quondel-native-'));
    for (const file of files) fs.copyFileSync(file, path.join(dir, path.basename(file)));
    const started = process.hrtime.bigint();
    const result = spawnSync(native, args, { cwd: dir, encoding: 'latin1' });
    const milliseconds = Number(process.hrtime.bigint() - started) / 1e6;
    const pictures = new Map();
    for (const name of fs.readdirSync(dir))
        if (name.endsWith('.gif') && !files.some((f) => path.basename(f) === name))
            pictures.set(name, fs.readFileSync(path.join(dir, name)));
    fs.rmSync(dir, { recursive: true, force: true });
    const messages = (result.stdout + result.stderr).split('\n').filter((l) => l !== '');
    return { pictures, messages, milliseconds };
}

async function pageWith(url) {
    const page = await b.openPage(browser);
    await page.send('Emulation.setDeviceMetricsOverride',
        { width: 1000, height: 900, deviceScaleFactor: 1, mobile: false });
    await page.navigate(url);
    await page.until('document.body.dataset.ready === "true"', 30);
    return page;
}

async function give(page, selector, files) {
    const { root: documentNode } = await page.send('DOM.getDocument');
    const { nodeId } = await page.send('DOM.querySelector', { nodeId: documentNode.nodeId, selector });
    await page.send('DOM.setFileInputFiles', { nodeId, files });
}

async function shown(page) {
    await page.until('document.body.dataset.state === "idle"');
    return page.evaluate(`[...document.querySelectorAll('section.run')].map((s) => ({
        label: s.querySelector('h2').textContent,
        milliseconds: Number(s.dataset.milliseconds),
        messages: [...s.querySelectorAll('.messages li')].map((li) => li.textContent),
        pictures: [...s.querySelectorAll('figure')].map((f) => ({
            name: f.querySelector('strong').textContent, alt: f.querySelector('img').alt })),
    }))`);
}

// Saves through the page's own links: each picture's, then "save all".
async function save(page, folder, selector) {
    await browser.send('Browser.setDownloadBehavior',
        { behavior: 'allow', downloadPath: folder, eventsEnabled: true });
    const done = browser.waitFor('Browser.downloadProgress', (p) => p.state === 'completed');
    await page.evaluate(`document.querySelector(${JSON.stringify(selector)}).click()`);
    await done;
}

// Each picture on the screen must be drawn in its GIF's colours (or the page's backdrop for
// its transparent pixels): a blank or broken picture fails.
async function checkScreen(page, saved) {
    const shot = await page.send('Page.captureScreenshot', { format: 'png', captureBeyondViewport: false });
    const png = Buffer.from(shot.data, 'base64');
    if (process.env.QUONDEL_SCREENSHOT) fs.writeFileSync(process.env.QUONDEL_SCREENSHOT, png);
    const { width, pixels } = b.decodePng(png);
    const boxes = await page.evaluate(`[...document.querySelectorAll('figure img')].map((img) => {
        const r = img.getBoundingClientRect();
        return { name: img.closest('figure').querySelector('strong').textContent,
                 x: Math.ceil(r.left), y: Math.ceil(r.top), w: Math.floor(r.width), h: Math.floor(r.height) };
    }).filter((r) => r.y + r.h <= innerHeight)`);
    assert.ok(boxes.length > 0, 'no picture within the screenshot');
    for (const box of boxes) {
        const colours = b.gifColours(saved.get(box.name));
        colours.add(0xe9e6df);
        let inside = 0, total = 0;
        for (let y = box.y; y < box.y + box.h; ++y) {
            for (let x = box.x; x < box.x + box.w; ++x) {
                const at = (y * width + x) * 4;
                inside += colours.has((pixels[at] << 16) | (pixels[at + 1] << 8) | pixels[at + 2]);
                ++total;
            }
        }
        assert.ok(total > 0 && inside / total > 0.98,
            `${box.name} on the screen: ${inside} of ${total} pixels in its colours`);
    }
}

async function checkKeyboard(page, seen) {
    await page.evaluate('document.activeElement.blur(), window.scrollTo(0, 0)');
    const order = [];
    for (let i = 0; i < 40; ++i) {
        for (const type of ['keyDown', 'keyUp'])
            await page.send('Input.dispatchKeyEvent',
                { type, key: 'Tab', code: 'Tab', windowsVirtualKeyCode: 9 });
        const at = await page.evaluate(`(() => { const e = document.activeElement;
            return e.id || e.getAttribute('aria-label') || e.tagName; })()`);
        if (order.includes(at) || at === 'BODY') break;
        order.push(at);
    }
    const saves = seen.flatMap((s) => s.pictures.map((p) => 'Save ' + p.name));
    assert.deepStrictEqual(order, ['files', 'folder', 'save-all', 'clear', ...saves],
        'the keyboard reaches the pickers, the buttons and every picture, in that order');
    for (const picture of seen.flatMap((s) => s.pictures))
        assert.match(picture.alt, /^Doll \S+, set \d$/, 'each picture says which doll and set it is');
}

async function checkNarrow(page) {
    await page.send('Emulation.setDeviceMetricsOverride',
        { width: 360, height: 740, deviceScaleFactor: 1, mobile: true });
    const wide = await page.evaluate('document.documentElement.scrollWidth');
    assert.ok(wide <= 360, `a 360-pixel-wide screen scrolls sideways (${wide} pixels)`);
}

for (const row of rows) {
    const skip = (row.archive && !archives) ? 'the page was built without the format libraries'
        : (row.real && !fs.existsSync(row.files[0])) ? 'no real dolls at ' + real : false;
    test(row.name, { skip }, async () => {
        const given = [...(row.files || []), ...(row.extra || []), ...(row.folder || [])];
        const expected = runNative(given, row.arguments);
        let url = `http://127.0.0.1:${server.port}/`;
        if (row.fromDisk) url = 'file://' + path.join(web, 'index.html');
        const page = await pageWith(url);
        const folder = fs.mkdtempSync(path.join(os.tmpdir(), 'quondel-page-'));
        try {
            if (row.folder) {
                const doll = path.join(folder, 'doll');
                fs.mkdirSync(doll);
                for (const file of row.folder) fs.copyFileSync(file, path.join(doll, path.basename(file)));
                await give(page, '#folder', [doll]);
            } else {
                await give(page, '#files', given);
            }
            const seen = await shown(page);
            assert.strictEqual(seen.length, 1, row.reason + ': one conversion expected');
            assert.deepStrictEqual(seen[0].messages, expected.messages, row.reason + ' (messages)');
            assert.deepStrictEqual(seen[0].pictures.map((p) => p.name).sort(),
                [...expected.pictures.keys()].sort(), row.reason + ' (pictures)');
            if (expected.pictures.size === 0) return;
            const downloads = path.join(folder, 'saved');
            await save(page, downloads, 'a.save');
            const first = seen[0].pictures[0].name;
            assert.ok(fs.readFileSync(path.join(downloads, first)).equals(expected.pictures.get(first)),
                row.reason + ': the saved ' + first + ' differs from the command line\'s');
            await save(page, downloads, '#save-all');
            const saved = b.readStoredZip(fs.readFileSync(path.join(downloads, 'quondel-pictures.zip')));
            assert.deepStrictEqual([...saved.keys()].sort(), [...expected.pictures.keys()].sort());
            for (const [name, bytes] of expected.pictures)
                assert.ok(saved.get(name).equals(bytes), `${row.reason}: ${name} differs`);
            const checks = row.checks || [];
            if (checks.includes('screen')) await checkScreen(page, saved);
            if (checks.includes('keyboard')) await checkKeyboard(page, seen);
            if (checks.includes('narrow')) await checkNarrow(page);
            if (row.timed) {
                measured.push(`first picture of ${row.arguments.at(-1)}: ` +
                    (await page.evaluate('document.body.dataset.firstPicture')) + ' ms after it was given');
            }
            if (row.warm) {
                // The same doll again: the module is warm now.
                await give(page, '#files', row.files);
                const again = await shown(page);
                const single = spawnSync('taskset', ['-c', '0', 'true']).status === 0;
                const nativeRun = single ? runNativeOnOneCore(given, row.arguments) : expected.milliseconds;
                measured.push(`warm conversion of ${row.arguments.at(-1)} in the page: ` +
                    `${again[1].milliseconds.toFixed(0)} ms; native on one core: ${nativeRun.toFixed(0)} ms`);
            }
        } finally {
            await browser.send('Target.closeTarget', { targetId: page.targetId });
            fs.rmSync(folder, { recursive: true, force: true });
        }
    });
}

// The native time with its second thread on the same core, best of three.
function runNativeOnOneCore(files, args) {
    const dir = fs.mkdtempSync(path.join(os.tmpdir(), 'quondel-native-'));
    for (const file of files) fs.copyFileSync(file, path.join(dir, path.basename(file)));
    let best = Infinity;
    for (let i = 0; i < 3; ++i) {
        const started = process.hrtime.bigint();
        spawnSync('taskset', ['-c', '0', native, ...args], { cwd: dir, stdio: 'ignore' });
        best = Math.min(best, Number(process.hrtime.bigint() - started) / 1e6);
    }
    fs.rmSync(dir, { recursive: true, force: true });
    return best;
}
