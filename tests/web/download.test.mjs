// The program's download: its progress, and what it says when the server
// refuses it, the connection fails or the bytes stop coming.
import assert from 'node:assert/strict';
import { createServer } from 'node:http';
import { after, before, test } from 'node:test';

import { downloadProgram } from '../../web/download.js';

// The smallest WebAssembly module, with a custom section to make it longer.
const customSection = Buffer.concat([Buffer.from([0, 0x80, 0x80, 0x01, 4]), Buffer.from('pad!'), Buffer.alloc(16384 - 5)]);
const MODULE = Buffer.concat([Buffer.from('\0asm\x01\0\0\0', 'latin1'), customSection]);

let server;
let base;
// Whoever holds a response back lets it go at the end.
const held = [];

before(async () => {
    server = createServer((request, response) => {
        const type = { 'Content-Type': 'application/wasm', 'Content-Length': MODULE.length };
        if (request.url === '/whole.wasm') {
            response.writeHead(200, type);
            response.write(MODULE.subarray(0, 100));
            response.end(MODULE.subarray(100));
        } else if (request.url === '/stalls.wasm') {
            response.writeHead(200, type);
            response.write(MODULE.subarray(0, 100));
            held.push(response);
        } else if (request.url === '/silent.wasm') {
            held.push(response);
        } else {
            response.writeHead(404, 'Not Found');
            response.end();
        }
    });
    await new Promise((listening) => server.listen(0, '127.0.0.1', listening));
    base = `http://127.0.0.1:${server.address().port}`;
});
after(() => {
    for (const response of held) response.destroy();
    server.close();
});

test('a whole download compiles, its progress told up to its length', async () => {
    const download = downloadProgram(`${base}/whole.wasm`);
    const told = [];
    download.onProgress = (received, total) => told.push([received, total]);
    assert.ok(await download.compiled instanceof WebAssembly.Module);
    assert.deepEqual(told.at(-1), [MODULE.length, MODULE.length]);
    assert.equal(download.received, MODULE.length);
});

test('a refusal, a failed connection and a stall are each told in words', async () => {
    const closed = createServer();
    await new Promise((listening) => closed.listen(0, '127.0.0.1', listening));
    const closedPort = closed.address().port;
    await new Promise((done) => closed.close(done));
    const cases = [
        ['the server refuses', `${base}/missing.wasm`, /^The maze could not be downloaded: the server answered "404 Not Found"\./],
        ['no connection', `http://127.0.0.1:${closedPort}/kestiv-terminal.wasm`,
            /^The maze could not be downloaded: the connection failed\. Check that you are online, then try again\.$/],
        ['bytes stop coming', `${base}/stalls.wasm`,
            /^The maze's download stalled: nothing came for 1 seconds\. Check that you are online, then try again\.$/],
        ['no answer at all', `${base}/silent.wasm`, /^The maze's download stalled: nothing came for 1 seconds\./],
    ];
    for (const [what, url, message] of cases) {
        await assert.rejects(downloadProgram(url, { stallSeconds: 1 }).compiled, { message }, what);
    }
});
