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
import { PROMPT, gameOver, promptShown } from './page_waits.mjs';
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
        }, { timeout: 30000 }, total);
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
        assert.match(await status(), /^No game is running\. Press Enter or New game to play again\./);
        const shown = (await rows()).join('\n');
        assert.match(shown, /The maze could not be downloaded: the server answered "404 Not Found"/);
        answerProgram = null;
        await page.keyboard.press('Enter');
        await promptShown(page);
    });

    test('says what to do when opened as a file', async () => {
        await page.goto(pathToFileURL(join(KESTIV_SITE, 'index.html')).href);
        await page.waitForFunction(() => document.body.dataset.game === 'failed', { timeout: 30000 });
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
        // When each Enter reached the page, by the events' own clocks: a
        // loaded machine may stretch a gap past the page's window, and that
        // pair is then tried again.
        await page.evaluateOnNewDocument(() => {
            globalThis.enterTimes = [];
            addEventListener('keydown', (event) => event.key === 'Enter' && globalThis.enterTimes.push(event.timeStamp), true);
        });
        await page.goto(server.url);
        await promptShown(page);
        for (const gap of [0, 150, 400]) {
            for (let tries = 1; ; ++tries) {
                if (await state() !== 'ended') await crash();
                await page.keyboard.press('Enter');
                await sleep(gap);
                await page.keyboard.press('Enter');
                const [first, second] = await page.evaluate(() => globalThis.enterTimes.slice(-2));
                if (second - first > 700 && tries < 5) {
                    await sleep(1000);
                    continue;
                }
                await promptShown(page);
                await sleep(1000);
                await freshGameShown();
                break;
            }
        }
        // An empty line is still the shell's to judge once the game is under way.
        await page.keyboard.press('Enter');
        await gameOver(page);
        assert.match(await status(), /^The game is over \(crashed\)\./);
    });
});
