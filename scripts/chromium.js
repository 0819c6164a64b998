// Headless Chromium for the web page's tests and scripts/bench-web, driven over the DevTools
// protocol on the pipe Chromium opens on descriptors 3 and 4 (no WebSocket client needed), and
// a static server.
'use strict';

const {spawn} = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

// Chromium as root needs no sandbox; everything that would reach the network stays off.
function launch() {
    const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'quondel-chromium-'));
    const child = spawn(
        'chromium',
        [
            '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
            '--disable-background-networking', '--disable-component-update', '--disable-sync',
            '--disable-dev-shm-usage', '--hide-scrollbars', '--remote-debugging-pipe',
            '--user-data-dir=' + profile, 'about:blank'
        ],
        {stdio: ['ignore', 'ignore', 'ignore', 'pipe', 'pipe']});
    const calls = new Map();
    const listeners = new Set();
    let nextId = 1;
    let pending = Buffer.alloc(0);
    child.stdio[4].on('data', (chunk) => {
        pending = Buffer.concat([pending, chunk]);
        for (let end; (end = pending.indexOf(0)) >= 0; pending = pending.subarray(end + 1)) {
            const message = JSON.parse(pending.subarray(0, end).toString('utf8'));
            const call = calls.get(message.id);
            calls.delete(message.id);
            if (!call)
                for (const listener of listeners) listener(message);
            else if (message.error)
                call.reject(new Error(call.method + ': ' + message.error.message));
            else
                call.resolve(message.result);
        }
    });
    // Calls still waiting when Chromium ends (or cannot start) fail, rather than hang.
    const exited = new Promise((resolve) => child.on('exit', resolve));
    const fail = (why) => {
        for (const call of calls.values()) call.reject(new Error(call.method + ': ' + why));
        calls.clear();
    };
    exited.then((status) => fail('chromium ended (' + status + ')'));
    child.on('error', (error) => fail(error.message));
    child.stdio[3].on('error', (error) => fail(error.message));
    const browser = {
        send(method, params = {}, sessionId = undefined) {
            const id = nextId++;
            child.stdio[3].write(JSON.stringify({id, method, params, sessionId}) + '\0');
            return new Promise((resolve, reject) => calls.set(id, {resolve, reject, method}));
        },
        // The first event `method` whose parameters pass `test`.
        waitFor(method, test = () => true) {
            return new Promise((resolve) => {
                const listener = (message) => {
                    if (message.method !== method || !test(message.params)) return;
                    listeners.delete(listener);
                    resolve(message.params);
                };
                listeners.add(listener);
            });
        },
        async close() {
            await Promise.race([browser.send('Browser.close'), exited]);
            await exited;
            fs.rmSync(profile, {recursive: true, force: true});
        },
    };
    return browser;
}

// A new tab, with the calls that go to it.
async function openPage(browser, url) {
    const {targetId} = await browser.send('Target.createTarget', {url: 'about:blank'});
    const {sessionId} = await browser.send('Target.attachToTarget', {targetId, flatten: true});
    const page = {
        send: (method, params) => browser.send(method, params, sessionId),
        close: () => browser.send('Target.closeTarget', {targetId}),
        async evaluate(expression) {
            const {result, exceptionDetails} = await page.send(
                'Runtime.evaluate',
                {expression, awaitPromise: true, returnByValue: true, userGesture: true});
            if (exceptionDetails)
                throw new Error(expression + ': ' + exceptionDetails.exception.description);
            return result.value;
        },
        async until(expression, seconds = 120) {
            for (const end = Date.now() + seconds * 1000; !(await page.evaluate(expression));) {
                if (Date.now() > end) throw new Error('timed out: ' + expression);
                await new Promise((resolve) => setTimeout(resolve, 20));
            }
        },
    };
    await page.send('Page.enable');
    await page.send(
        'Emulation.setDeviceMetricsOverride',
        {width: 1000, height: 900, deviceScaleFactor: 1, mobile: false});
    const loaded = browser.waitFor('Page.loadEventFired');
    await page.send('Page.navigate', {url});
    await loaded;
    return page;
}

function serve(folder) {
    const server = http.createServer((request, response) => {
        const file = path.join(folder, path.normalize(new URL(request.url, 'http://x').pathname));
        const found = file.startsWith(folder) && fs.existsSync(file) && fs.statSync(file).isFile();
        response.writeHead(found ? 200 : 404, {
            'Content-Type': file.endsWith('.js') ? 'text/javascript' : 'text/html; charset=utf-8'
        });
        response.end(found ? fs.readFileSync(file) : '');
    });
    return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

module.exports = {
    launch,
    openPage,
    serve
};
