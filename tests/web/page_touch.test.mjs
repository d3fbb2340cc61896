// The page on a phone and a tablet, in Chromium's device emulation with touch:
// the banner on whole rows, the on-screen keys, a swipe through the
// scrollback, and a soft keyboard's input. Leaves a screenshot of each size
// in KESTIV_SCREENSHOTS.
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { launchBrowser } from './browser.mjs';
import { newGamePage } from './page_hooks.mjs';
import { PROMPT, promptShown } from './page_waits.mjs';
import { serveFolders } from './static_server.mjs';

const { KESTIV_SITE, KESTIV_SCREENSHOTS } = process.env;

const SIZES = [
    { name: 'phone', width: 390, height: 844, touch: true },
    { name: 'phone-landscape', width: 844, height: 390, touch: true },
    { name: 'tablet', width: 768, height: 1024, touch: true },
    { name: 'desktop', width: 1280, height: 800, touch: false },
];

let browser;
let server;

async function openPage({ width, height, touch }) {
    const page = await newGamePage(browser);
    await page.setViewport({ width, height, hasTouch: touch, isMobile: touch, deviceScaleFactor: 1 });
    await page.goto(server.url);
    await promptShown(page);
    return page;
}

function cursorRow(page) {
    return page.evaluate(() => {
        const buffer = globalThis.kestivTerminal.buffer.active;
        return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true);
    });
}

describe('the page on touch screens in chromium', () => {
    before(async () => {
        server = await serveFolders([['/', KESTIV_SITE]]);
        browser = await launchBrowser('chromium');
        if (KESTIV_SCREENSHOTS) mkdirSync(KESTIV_SCREENSHOTS, { recursive: true });
    });
    after(async () => {
        await browser?.close();
        await server?.close();
    });

    for (const size of SIZES) {
        test(`at ${size.width}x${size.height} the banner's rows are whole and the keys fit a finger`, async () => {
            const page = await openPage(size);
            const shown = await page.evaluate(() => {
                const terminal = globalThis.kestivTerminal;
                const buffer = terminal.buffer.active;
                const rows = [];
                for (let y = 0; y <= buffer.baseY + buffer.cursorY; ++y) {
                    rows.push({ text: buffer.getLine(y).translateToString(true).trimEnd(), wrapped: buffer.getLine(y).isWrapped });
                }
                const keys = [...document.querySelectorAll('footer button')]
                    .filter((button) => button.offsetParent !== null)
                    .map((button) => {
                        const box = button.getBoundingClientRect();
                        return { text: button.textContent, width: box.width, height: box.height };
                    });
                return { rows, keys, fontSize: terminal.options.fontSize, hint: document.getElementById('status').textContent };
            });
            assert.match(shown.rows[1].text, /^ +\.-+\.$/, 'the banner\'s top on one row');
            assert.deepEqual(shown.rows.filter((row) => row.wrapped), [], 'no row wraps');
            assert.ok(shown.fontSize >= 9, `a legible font: ${shown.fontSize}px`);
            if (size.touch) {
                assert.deepEqual(shown.keys.map((key) => key.text), ['Up', 'Down', 'Esc', 'New game']);
                for (const key of shown.keys) assert.ok(key.width >= 44 && key.height >= 44, `${key.text}: ${key.width}x${key.height}`);
                assert.match(shown.hint, /^Swipe the terminal to scroll back\./);
            } else {
                assert.deepEqual(shown.keys.map((key) => key.text), ['New game']);
            }
            if (KESTIV_SCREENSHOTS) await page.screenshot({ path: join(KESTIV_SCREENSHOTS, `page-${size.name}.png`) });
            await page.close();
        });
    }

    test('the on-screen Up and Esc recall and clear a line', async () => {
        const page = await openPage(SIZES[0]);
        await page.keyboard.type('cd');
        await page.keyboard.press('Enter');
        await promptShown(page);
        await page.tap('#touch-keys [data-key="up"]');
        await page.waitForFunction((line) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === line;
        }, { timeout: 30000 }, `${PROMPT}cd`);
        await page.tap('#touch-keys [data-key="escape"]');
        await promptShown(page);
        assert.equal(await page.evaluate(() => document.activeElement.className), 'xterm-helper-textarea', 'the focus stays');
        await page.close();
    });

    test('a swipe down the terminal scrolls back through the output', async () => {
        const page = await openPage(SIZES[0]);
        // Output enough to scroll: many prompts of a line that moves nowhere.
        await page.evaluate(() => globalThis.kestivTerminal.paste('cd\n'.repeat(300)));
        await page.waitForFunction(() => globalThis.kestivTerminal.buffer.active.baseY > 100, { timeout: 30000 });
        await promptShown(page);
        const position = () => page.evaluate(() => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return { top: buffer.viewportY, bottom: buffer.baseY };
        });
        await page.waitForFunction((line) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            let lines = 0;
            for (let y = 0; y < buffer.length; ++y) lines += buffer.getLine(y).translateToString(true) === line;
            return lines === 300;
        }, { timeout: 30000 }, `${PROMPT}cd`);
        await promptShown(page);
        const before = await position();
        assert.ok(before.bottom > 100 && before.top === before.bottom, 'at the end of a long output');
        const box = await page.$eval('#terminal', (element) => {
            const { x, y, width, height } = element.getBoundingClientRect();
            return { x, y, width, height };
        });
        const x = box.x + box.width / 2;
        const top = box.y + box.height * 0.2;
        await page.touchscreen.touchStart(x, top);
        for (let step = 1; step <= 10; ++step) await page.touchscreen.touchMove(x, top + step * 30);
        await page.touchscreen.touchEnd();
        await page.waitForFunction(() => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return buffer.viewportY <= buffer.baseY - 15;
        }, { timeout: 5000 });
        const after = await position();
        assert.ok(after.top <= before.top - 15, `scrolled back from row ${before.top} to ${after.top}`);
        await page.close();
    });

    test("a soft keyboard's text, composed or inserted, reaches the line as typed", async () => {
        const page = await openPage(SIZES[0]);
        const client = await page.createCDPSession();
        await client.send('Input.imeSetComposition', { text: 'd', selectionStart: 1, selectionEnd: 1 });
        await client.send('Input.imeSetComposition', { text: 'di', selectionStart: 2, selectionEnd: 2 });
        await client.send('Input.insertText', { text: 'dir' });
        await page.waitForFunction((line) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === line;
        }, { timeout: 30000 }, `${PROMPT}dir`);
        // Android's keyboards send a keydown of key code 229 before the text.
        await client.send('Input.dispatchKeyEvent', { type: 'rawKeyDown', windowsVirtualKeyCode: 229, key: 'Unidentified' });
        await client.send('Input.insertText', { text: ' Readme' });
        await client.send('Input.dispatchKeyEvent', { type: 'keyUp', windowsVirtualKeyCode: 229, key: 'Unidentified' });
        await page.waitForFunction((line) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === line;
        }, { timeout: 30000 }, `${PROMPT}dir Readme`);
        assert.equal(await cursorRow(page), `${PROMPT}dir Readme`);
        await page.close();
    });
});
