// How the page starts and restarts games, in a headless browser
// (KESTIV_BROWSER): the download's progress on a held line, what it says when
// it cannot load, and that no key meant for the page or for an ended game,
// nor the second press of a double Enter, runs in the next game.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { setTimeout as sleep } from 'node:timers/promises';
import { after, before, beforeEach, describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';

import { launchBrowser } from './browser.mjs';
import { newGamePage } from './page_hooks.mjs';
import { PROMPT, WAIT_MS, gameOver, promptShown } from './page_waits.mjs';
import { serveFolders } from './static_server.mjs';

const { KESTIV_BROWSER, KESTIV_SITE } = process.env;

const wasm = readFileSync(join(KESTIV_SITE, 'kestiv-terminal.wasm'));

let browser;
let server;
let page;
// How the server answers the .wasm in the test that runs; null for as is.
let answerProgram = null;

const state = () => page.evaluate(() => document.body.dataset.game);
const status = () => page.$eval('#status', (element) => element.textContent);

// The terminal's rows from the top of its buffer to the cursor's.
function rows() {
    return page.evaluate(() => {
        const buffer = globalThis.kestivTerminal.buffer.active;
        const found = [];
        for (let y = 0; y <= buffer.baseY + buffer.cursorY; ++y) found.push(buffer.getLine(y).translateToString(true));
        return found;
    });
}

async function crash() {
    await page.keyboard.type('no such command');
    await page.keyboard.press('Enter');
    await gameOver(page);
}

// A game that asks for its first line: the banner's rows and a bare prompt,
// nothing run in it.
async function freshGameShown() {
    const shown = await rows();
    assert.equal(await state(), 'playing');
    assert.equal(shown.at(-1), PROMPT, 'the cursor is at a bare prompt');
    assert.equal(shown.filter((row) => row.startsWith(PROMPT.trimEnd())).length, 1, 'one prompt: no line was run');
}

describe(`the page's start in ${KESTIV_BROWSER}`, () => {
    before(async () => {
        server = await serveFolders([['/', KESTIV_SITE]], {
            answer: (path, response) => path === '/kestiv-terminal.wasm' && answerProgram?.(response),
        });
        browser = await launchBrowser(KESTIV_BROWSER);
    });
    beforeEach(async () => {
        answerProgram = null;
        await page?.close();
        page = await newGamePage(browser);
        await page.setViewport({ width: 1000, height: 700 });
    });
    after(async () => {
        await browser?.close();
        await server?.close();
    });

    test('shows how much of the program has come, and drops what is typed meanwhile', async () => {
        let release;
        const released = new Promise((resolve) => {
            release = resolve;
        });
        const half = wasm.length >> 1;
        answerProgram = async (response) => {
            response.writeHead(200, { 'Content-Type': 'application/wasm', 'Content-Length': wasm.length });
            response.write(wasm.subarray(0, half));
            await released;
            response.end(wasm.subarray(half));
            return true;
        };
        await page.goto(server.url);
        const total = (wasm.length / 1e6).toFixed(1);
        const progress = await page.waitForFunction((of) => {
            const buffer = globalThis.kestivTerminal?.buffer.active;
            const row = buffer?.getLine(buffer.baseY + buffer.cursorY).translateToString(true);
            const match = /^Loading the maze: (\d+\.\d) of (\d+\.\d) MB$/.exec(row ?? '');
            return match && match[2] === of && Number(match[1]) > 0 && row;
        }, { timeout: WAIT_MS }, total);
        assert.match(await progress.jsonValue(), new RegExp(`^Loading the maze: \\d+\\.\\d of ${total} MB$`));
        assert.equal(await status(), 'Loading the maze…');
        await page.focus('.xterm-helper-textarea');
        await page.keyboard.type('no such command');
        await page.keyboard.press('Enter');
        await page.keyboard.press('Enter');
        release();
        await promptShown(page);
        await freshGameShown();
    });

    test('says why when the program is not there, and tries again on Enter', async () => {
        answerProgram = (response) => {
            response.writeHead(404, 'Not Found');
            response.end();
            return true;
        };
        await page.goto(server.url);
        await gameOver(page);
        const message = 'The maze could not be downloaded: the server answered "404 Not Found". '
            + 'Reload the page later, or tell whoever runs this site.';
        assert.equal(await status(), `${message} Press Enter or New game to try again.`);
        const shown = (await rows()).join(' ').replace(/ +/g, ' ');
        assert.ok(shown.includes(message), 'the terminal says the same');
        assert.ok(shown.includes('[Press Enter to try again.]'));
        answerProgram = null;
        await page.keyboard.press('Enter');
        await promptShown(page);
    });

    test('says what to do when opened as a file', async () => {
        await page.goto(pathToFileURL(join(KESTIV_SITE, 'index.html')).href);
        await page.waitForFunction(() => document.body.dataset.game === 'failed', { timeout: WAIT_MS });
        assert.match(await status(), /^This page cannot run from a file on your computer\. Serve its folder over HTTP/);
    });

    test('says what to do without JavaScript', { skip: KESTIV_BROWSER !== 'chromium' && 'only Chromium turns scripts off here' }, async () => {
        await page.setJavaScriptEnabled(false);
        await page.goto(server.url);
        const notice = await page.$eval('body noscript', (element) => element.textContent);
        assert.match(notice, /kestiv's terminal needs JavaScript\. Turn JavaScript on for this page and reload it\./);
        const shown = await page.$eval('#status', (element) => getComputedStyle(element).display);
        assert.equal(shown, 'none', 'no word of loading');
    });

    test('a second Enter soon after the one that starts a game is not its first line', async () => {
        // Each Enter's time and the page's state when it came, as the page
        // saw them: the page judges by the events' own times.
        await page.evaluateOnNewDocument(() => {
            globalThis.enters = [];
            addEventListener('keydown', (event) => {
                if (event.key === 'Enter') globalThis.enters.push({ at: event.timeStamp, state: document.body.dataset.game });
            }, true);
        });
        await page.goto(server.url);
        await promptShown(page);
        const client = KESTIV_BROWSER === 'chromium' ? await page.createCDPSession() : null;
        // Chromium takes a key's time from whoever sends it, so each pair
        // is exactly as far apart as meant, however busy the machine; in
        // Firefox the pair comes as fast as the machine lets it, and what
        // the page did is judged by the gap and the state it saw.
        const pressEnter = async (timestamp) => {
            if (!client) return page.keyboard.press('Enter');
            for (const type of ['rawKeyDown', 'char', 'keyUp']) {
                await client.send('Input.dispatchKeyEvent', {
                    type, key: 'Enter', code: 'Enter', windowsVirtualKeyCode: 13, text: type === 'char' ? '\r' : undefined, timestamp,
                });
            }
        };
        const enterCount = () => page.evaluate(() => globalThis.enters.length);
        const judged = { dropped: 0, entered: 0 };
        for (const gap of [0, 150, 400, 790, 810, 1500]) {
            if (await state() !== 'ended') await crash();
            const before = await enterCount();
            const startedAt = Date.now() / 1000;
            await pressEnter(startedAt);
            // In Chromium the second press comes once the game plays, with
            // a time `gap` after the first.
            // In Firefox the gap is waited out: it is the input, not a wait
            // for the page.
            if (client) await promptShown(page);
            else await sleep(gap);
            await pressEnter(startedAt + gap / 1000);
            await page.waitForFunction((count) => globalThis.enters.length === count, { timeout: WAIT_MS }, before + 2);
            const [first, second] = await page.evaluate(() => globalThis.enters.slice(-2));
            const seenGap = second.at - first.at;
            if (client) assert.ok(Math.abs(seenGap - gap) < 1, `the page saw ${seenGap} ms for ${gap} ms`);
            const dropped = second.state !== 'playing' || seenGap < 800;
            // Whatever the second Enter set going is in the terminal once a
            // write made after it is.
            if (dropped) {
                await promptShown(page);
                await page.evaluate(() => new Promise((written) => { globalThis.kestivTerminal.write('', written); }));
                await freshGameShown();
                judged.dropped += 1;
            } else {
                await gameOver(page);
                assert.match(await status(), /^The game is over \(crashed\)\./, `an empty line ${seenGap} ms after the start`);
                judged.entered += 1;
            }
        }
        if (client) assert.deepEqual(judged, { dropped: 4, entered: 2 });
        else assert.ok(judged.dropped > 0, 'some second Enter came within the window');
        // An empty line is still the shell's to judge once the game is under
        // way, by the page's own clock.
        if (await state() !== 'ended') {
            await page.waitForFunction(() => performance.now() - globalThis.enters.at(-2).at > 800, { timeout: WAIT_MS });
            await page.keyboard.press('Enter');
            await gameOver(page);
            assert.match(await status(), /^The game is over \(crashed\)\./);
        }
    });
});
