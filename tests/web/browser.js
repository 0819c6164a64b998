// A small Chromium driver for the page tests: the DevTools protocol over the pipe Chromium
// opens on descriptors 3 and 4 (no WebSocket client needed), plus the few things the tests
// read back: a static server, PNG screenshots and stored ZIP entries.
'use strict';

const { spawn } = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');
const zlib = require('zlib');

function findChromium() {
    for (const name of ['chromium', 'chromium-browser', 'google-chrome'])
        for (const dir of (process.env.PATH || '').split(':'))
            if (fs.existsSync(path.join(dir, name))) return path.join(dir, name);
    return null;
}

// Chromium as root needs no sandbox; everything that would reach the network stays off.
async function launch(binary) {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quondel-chromium-'));
    const child = spawn(binary, [
        '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync',
        '--disable-dev-shm-usage', '--hide-scrollbars', '--remote-debugging-pipe',
        '--user-data-dir=' + profile, 'about:blank',
    ], { stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    let stderr = '';
    child.stderr.on('data', (chunk) => { stderr += chunk; });
    const calls = new Map();
    const listeners = [];
    let nextId = 1;
    let pending = Buffer.alloc(0);
    child.stdio[4].on('data', (chunk) => {
        pending = Buffer.concat([pending, chunk]);
        for (let end; (end = pending.indexOf(0)) >= 0;) {
            const message = JSON.parse(pending.subarray(0, end).toString('utf8'));
            pending = pending.subarray(end + 1);
            if (message.id !== undefined && calls.has(message.id)) {
                const { resolve, reject, method } = calls.get(message.id);
                calls.delete(message.id);
                if (message.error) reject(new Error(method + ': ' + message.error.message));
                else resolve(message.result);
            } else {
                for (const listener of listeners.slice()) listener(message);
            }
        }
    });
    const exited = new Promise((resolve) => child.on('exit', resolve));
    const browser = {
        send(method, params = {}, sessionId) {
            const id = nextId++;
            const message = { id, method, params };
            if (sessionId) message.sessionId = sessionId;
            child.stdio[3].write(JSON.stringify(message) + '\0');
            return new Promise((resolve, reject) => calls.set(id, { resolve, reject, method }));
        },
        // The first event `method` (of `sessionId`) for which `test` holds.
        waitFor(method, test = () => true, seconds = 60) {
            return new Promise((resolve, reject) => {
                const timer = setTimeout(() => {
                    listeners.splice(listeners.indexOf(listener), 1);
                    reject(new Error('timed out waiting for ' + method));
                }, seconds * 1000);
                const listener = (message) => {
                    if (message.method !== method || !test(message.params)) return;
                    clearTimeout(timer);
                    listeners.splice(listeners.indexOf(listener), 1);
                    resolve(message.params);
                };
                listeners.push(listener);
            });
        },
        on(listener) {
            listeners.push(listener);
        },
        async close() {
            try {
                await Promise.race([browser.send('Browser.close'), exited]);
            } catch (error) {
                child.kill();
            }
            await exited;
            fs.rmSync(profile, { recursive: true, force: true });
        },
        stderr: () => stderr,
    };
    return browser;
}

// A page of its own, with a session the calls go through.
async function openPage(browser) {
    const { targetId } = await browser.send('Target.createTarget', { url: 'about:blank' });
    const { sessionId } = await browser.send('Target.attachToTarget', { targetId, flatten: true });
    const page = {
        targetId,
        send: (method, params) => browser.send(method, params, sessionId),
        waitFor: (method, test, seconds) =>
            browser.waitFor(method, (p) => test === undefined || test(p), seconds),
        async evaluate(expression) {
            const result = await page.send('Runtime.evaluate',
                { expression, awaitPromise: true, returnByValue: true, userGesture: true });
            if (result.exceptionDetails)
                throw new Error(expression + ': ' + JSON.stringify(result.exceptionDetails));
            return result.result.value;
        },
        // Polls `expression` until it is true.
        async until(expression, seconds = 120) {
            const end = Date.now() + seconds * 1000;
            for (;;) {
                if (await page.evaluate(expression)) return;
                if (Date.now() > end) throw new Error('timed out: ' + expression);
                await new Promise((resolve) => setTimeout(resolve, 20));
            }
        },
        async navigate(url) {
            await page.send('Page.enable');
            const loaded = browser.waitFor('Page.loadEventFired', () => true);
            await page.send('Page.navigate', { url });
            await loaded;
        },
    };
    await page.send('Runtime.enable');
    return page;
}

function serve(folder) {
    const types = { '.html': 'text/html; charset=utf-8', '.js': 'text/javascript' };
    const server = http.createServer((request, response) => {
        const name = decodeURIComponent(new URL(request.url, 'http://x').pathname);
        const file = path.join(folder, name.endsWith('/') ? name + 'index.html' : name);
        if (!file.startsWith(folder) || !fs.existsSync(file)) {
            response.writeHead(404);
            response.end();
            return;
        }
        response.writeHead(200, { 'Content-Type': types[path.extname(file)] || 'application/octet-stream' });
        response.end(fs.readFileSync(file));
    });
    return new Promise((resolve) =>
        server.listen(0, '127.0.0.1', () => resolve({ server, port: server.address().port })));
}

// RGBA pixels of a PNG as Chromium writes its screenshots: 8 bits, RGB or RGBA, no interlace.
function decodePng(png) {
    let at = 8;
    let width = 0, height = 0, channels = 0;
    const data = [];
    while (at < png.length) {
        const length = png.readUInt32BE(at);
        const type = png.toString('latin1', at + 4, at + 8);
        const body = png.subarray(at + 8, at + 8 + length);
        if (type === 'IHDR') {
            width = body.readUInt32BE(0);
            height = body.readUInt32BE(4);
            if (body[8] !== 8 || body[12] !== 0 || (body[9] !== 2 && body[9] !== 6))
                throw new Error('unexpected PNG form');
            channels = body[9] === 6 ? 4 : 3;
        } else if (type === 'IDAT') {
            data.push(body);
        }
        at += 12 + length;
    }
    const raw = zlib.inflateSync(Buffer.concat(data));
    const stride = width * channels;
    const out = Buffer.alloc(width * height * 4);
    let previous = Buffer.alloc(stride);
    for (let y = 0; y < height; ++y) {
        const filter = raw[y * (stride + 1)];
        const line = Buffer.from(raw.subarray(y * (stride + 1) + 1, (y + 1) * (stride + 1)));
        for (let x = 0; x < stride; ++x) {
            const a = x >= channels ? line[x - channels] : 0;
            const b = previous[x];
            const c = x >= channels ? previous[x - channels] : 0;
            let add = 0;
            if (filter === 1) add = a;
            else if (filter === 2) add = b;
            else if (filter === 3) add = (a + b) >> 1;
            else if (filter === 4) {
                const p = a + b - c, pa = Math.abs(p - a), pb = Math.abs(p - b), pc = Math.abs(p - c);
                add = pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
            }
            line[x] = (line[x] + add) & 0xff;
        }
        for (let x = 0; x < width; ++x) {
            for (let k = 0; k < 3; ++k) out[(y * width + x) * 4 + k] = line[x * channels + k];
            out[(y * width + x) * 4 + 3] = channels === 4 ? line[x * 4 + 3] : 255;
        }
        previous = line;
    }
    return { width, height, pixels: out };
}

function crc32(bytes) {
    let c = ~0;
    for (const byte of bytes) {
        c ^= byte;
        for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    }
    return ~c >>> 0;
}

// The entries of a ZIP of stored entries, by name, each checked against its CRC-32.
function readStoredZip(zip) {
    const entries = new Map();
    let at = 0;
    while (zip.readUInt32LE(at) === 0x04034b50) {
        const method = zip.readUInt16LE(at + 8);
        const crc = zip.readUInt32LE(at + 14);
        const size = zip.readUInt32LE(at + 18);
        const nameLength = zip.readUInt16LE(at + 26);
        const extra = zip.readUInt16LE(at + 28);
        const name = zip.toString('utf8', at + 30, at + 30 + nameLength);
        const data = zip.subarray(at + 30 + nameLength + extra, at + 30 + nameLength + extra + size);
        if (method !== 0) throw new Error(name + ': not stored');
        if (crc32(data) !== crc) throw new Error(name + ': CRC-32 differs');
        entries.set(name, data);
        at += 30 + nameLength + extra + size;
    }
    return entries;
}

// The colours of a GIF's first colour table (global, else the first image's local one).
function gifColours(gif) {
    const colours = new Set();
    const add = (start, count) => {
        for (let i = 0; i < count; ++i)
            colours.add(gif.readUIntBE(start + 3 * i, 3));
    };
    if (gif[10] & 0x80) {
        add(13, 2 << (gif[10] & 7));
        return colours;
    }
    let at = 13;
    while (gif[at] === 0x21) {
        at += 2;
        while (gif[at] !== 0) at += gif[at] + 1;
        ++at;
    }
    if (gif[at] === 0x2c && gif[at + 9] & 0x80) add(at + 10, 2 << (gif[at + 9] & 7));
    return colours;
}

module.exports = { findChromium, launch, openPage, serve, decodePng, readStoredZip, gifColours };
