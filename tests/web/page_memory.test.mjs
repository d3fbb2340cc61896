// That a game which has ended leaves nothing of itself for the page to keep:
// once the next one runs and the garbage is collected, the ended game's
// WebAssembly instance and its memory are gone. Chromium only, whose gc() a
// flag lays open.
import assert from 'node:assert/strict';
import { after, before, test } from 'node:test';

import { launchBrowser } from './browser.mjs';
import { newGamePage } from './page_hooks.mjs';
import { gameOver, promptShown } from './page_waits.mjs';
import { serveFolders } from './static_server.mjs';

const { KESTIV_SITE } = process.env;


let browser;
let server;

before(async () => {
    server = await serveFolders([['/', KESTIV_SITE]]);
    browser = await launchBrowser('chromium', ['--js-flags=--expose-gc']);
});
after(async () => {
    await browser?.close();
    await server?.close();
});

test('an ended game is collected once the next one runs', async () => {
    const page = await newGamePage(browser);
    // Each instance the page makes, and its memory, held only weakly.
    await page.evaluateOnNewDocument(() => {
        globalThis.instancesMade = [];
        const instantiate = WebAssembly.instantiate;
        WebAssembly.instantiate = async (...args) => {
            const made = await instantiate.apply(WebAssembly, args);
            const instance = made.instance ?? made;
            const memory = Object.values(instance.exports).find((value) => value instanceof WebAssembly.Memory);
            globalThis.instancesMade.push({ instance: new WeakRef(instance), memory: new WeakRef(memory) });
            return made;
        };
    });
    await page.goto(server.url);
    for (let game = 1; game <= 3; ++game) {
        await promptShown(page);
        if (game === 3) break;
        await page.keyboard.type('dir');
        await page.keyboard.press('Enter');
        await page.keyboard.type('no such command');
        await page.keyboard.press('Enter');
        await gameOver(page);
        await page.keyboard.press('Enter');
    }
    // A WeakRef's target lives to the end of the task that read it: each
    // collection and each look comes in a task of its own.
    for (let round = 0; round < 3; ++round) {
        await page.evaluate(() => new Promise((resolve) => setTimeout(() => {
            globalThis.gc();
            resolve();
        }, 50)));
    }
    const alive = await page.evaluate(() => globalThis.instancesMade.map(({ instance, memory }) => ({
        instance: instance.deref() !== undefined,
        memory: memory.deref() !== undefined,
    })));
    assert.equal(alive.length, 3, 'one instance a game');
    assert.deepEqual(alive.slice(0, 2), [{ instance: false, memory: false }, { instance: false, memory: false }],
        'the ended games are collected');
    assert.deepEqual(alive[2], { instance: true, memory: true }, 'the game being played lives');
});
