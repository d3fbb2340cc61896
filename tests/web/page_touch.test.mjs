// The page on phones, a tablet, a desktop and a desktop zoomed to 400 %, in
// Chromium's device emulation with touch where the device has it: the banner
// on whole rows from 360 pixels, the on-screen keys and setting big enough
// for a finger, the game-over line whole, a swipe through the scrollback, a
// long press that copies a row, and a soft keyboard's input. Leaves
// screenshots of each size, playing and after a game, in KESTIV_SCREENSHOTS.
import assert from 'node:assert/strict';
import { mkdirSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { launchBrowser } from './browser.mjs';
import { newGamePage } from './page_hooks.mjs';
import { PROMPT, WAIT_MS, gameOver, promptShown } from './page_waits.mjs';
import { serveFolders } from './static_server.mjs';

const { KESTIV_SITE, KESTIV_SCREENSHOTS } = process.env;

const PHONES = [[360, 740], [375, 667], [390, 844], [412, 915]];
const SIZES = [
    ...PHONES.flatMap(([width, height]) => [
        { name: `phone-${width}`, width, height, touch: true },
        { name: `phone-${width}-landscape`, width: height, height: width, touch: true },
    ]),
    { name: 'tablet', width: 768, height: 1024, touch: true },
    { name: 'desktop', width: 1280, height: 800, touch: false },
    // A desktop of 1280 by 800 pixels at 400 % zoom: a page of 320 by 200.
    { name: 'desktop-zoom-400', width: 320, height: 200, touch: false, scale: 4 },
];
const PHONE = SIZES.find((size) => size.name === 'phone-390');

let browser;
let server;

async function openPage({ width, height, touch, scale = 1 }) {
    const page = await newGamePage(browser);
    await page.setViewport({ width, height, hasTouch: touch, isMobile: touch, deviceScaleFactor: scale });
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
        test(`at ${size.width}x${size.height}${size.scale ? ' zoomed' : ''} the banner's rows and the game-over line are whole, the controls fit a finger`, async () => {
            const page = await openPage(size);
            const look = () => page.evaluate(() => {
                const terminal = globalThis.kestivTerminal;
                const buffer = terminal.buffer.active;
                const rows = [];
                for (let y = 0; y <= buffer.baseY + buffer.cursorY; ++y) {
                    rows.push({ text: buffer.getLine(y).translateToString(true).trimEnd(), wrapped: buffer.getLine(y).isWrapped });
                }
                const box = (element) => {
                    const { width, height } = element.getBoundingClientRect();
                    return { width, height };
                };
                const controls = [...document.querySelectorAll('footer button, footer label')]
                    .filter((control) => control.offsetParent !== null)
                    .map((control) => ({ text: control.textContent.trim(), ...box(control) }));
                return {
                    rows,
                    controls,
                    cols: terminal.cols,
                    terminalRows: terminal.rows,
                    fontSize: terminal.options.fontSize,
                    status: document.getElementById('status').textContent,
                    narrow: getComputedStyle(document.getElementById('narrow-hint')).display !== 'none',
                };
            });
            const playing = await look();
            const bannerFits = size.width >= 360;
            if (bannerFits) {
                assert.match(playing.rows[1].text, /^ +\.-+\.$/, 'the banner\'s top on one row');
                assert.deepEqual(playing.rows.filter((row) => row.wrapped), [], 'no row wraps');
                assert.equal(playing.narrow, false, 'no word of turning the device');
            } else {
                assert.equal(playing.narrow, true, 'a word of what to do to see whole lines');
            }
            assert.ok(playing.fontSize >= 9, `a legible font: ${playing.fontSize}px`);
            assert.ok(playing.terminalRows >= 5, `rows enough to play: ${playing.terminalRows}`);
            if (size.touch) {
                assert.deepEqual(playing.controls.map((control) => control.text), ['Up', 'Down', 'Esc', 'Screen reader', 'New game']);
                for (const control of playing.controls) {
                    assert.ok(control.width >= 44 && control.height >= 44, `${control.text}: ${control.width}x${control.height}`);
                }
                assert.match(playing.status, /^Swipe the terminal to scroll back/);
            } else {
                assert.deepEqual(playing.controls.map((control) => control.text), ['Screen reader', 'New game']);
            }
            if (KESTIV_SCREENSHOTS) await page.screenshot({ path: join(KESTIV_SCREENSHOTS, `page-${size.name}.png`) });

            await page.keyboard.type('no such command');
            await page.keyboard.press('Enter');
            await gameOver(page);
            await page.evaluate(() => new Promise((written) => { globalThis.kestivTerminal.write('', written); }));
            const ended = await look();
            assert.equal(ended.fontSize, playing.fontSize, 'the font stays at the game\'s end');
            const overAt = ended.rows.findIndex((row) => row.text.startsWith('[The game is over'));
            const over = ended.rows.slice(overAt).map((row) => row.text).filter((text) => text !== '').join(' ');
            assert.equal(over, '[The game is over (crashed). Press Enter for a new game.]', 'the line whole, in words');
            for (const row of ended.rows.slice(overAt)) assert.ok(row.text.length <= ended.cols && !row.wrapped, `"${row.text}" fits`);
            const green = await page.$$eval('footer button', (buttons) => buttons
                .filter((button) => button.offsetParent !== null && getComputedStyle(button).backgroundColor === 'rgb(19, 161, 14)')
                .map((button) => button.textContent));
            assert.deepEqual(green, ['New game'], 'only the control that does something stands out');
            if (KESTIV_SCREENSHOTS) await page.screenshot({ path: join(KESTIV_SCREENSHOTS, `page-${size.name}-over.png`) });
            await page.close();
        });
    }

    test('the on-screen Up and Esc recall and clear a line', async () => {
        const page = await openPage(PHONE);
        await page.keyboard.type('cd');
        await page.keyboard.press('Enter');
        await promptShown(page);
        await page.tap('#touch-keys [data-key="up"]');
        await page.waitForFunction((line) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === line;
        }, { timeout: WAIT_MS }, `${PROMPT}cd`);
        await page.tap('#touch-keys [data-key="escape"]');
        await promptShown(page);
        assert.equal(await page.evaluate(() => document.activeElement.className), 'xterm-helper-textarea', 'the focus stays');
        await page.close();
    });

    test('a swipe down the terminal scrolls back through the output', async () => {
        const page = await openPage(PHONE);
        // Output enough to scroll: many prompts of a line that moves nowhere.
        await page.evaluate(() => globalThis.kestivTerminal.paste('cd\n'.repeat(300)));
        await page.waitForFunction(() => globalThis.kestivTerminal.buffer.active.baseY > 100, { timeout: WAIT_MS });
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
        }, { timeout: WAIT_MS }, `${PROMPT}cd`);
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
        }, { timeout: WAIT_MS });
        const after = await position();
        assert.ok(after.top <= before.top - 15, `scrolled back from row ${before.top} to ${after.top}`);
        await page.close();
    });

    test('holding a finger on a row selects it, and lifting it copies the row', async () => {
        const page = await openPage(PHONE);
        await browser.defaultBrowserContext().overridePermissions(new URL(server.url).origin, [
            'clipboard-read', 'clipboard-write', 'clipboard-sanitized-write',
        ]);
        const { x, y } = await page.evaluate(() => {
            const terminal = globalThis.kestivTerminal;
            const screen = document.querySelector('#terminal .xterm-screen').getBoundingClientRect();
            const rowHeight = screen.height / terminal.rows;
            return { x: screen.left + 40, y: screen.top + (terminal.buffer.active.cursorY + 0.5) * rowHeight };
        });
        await page.touchscreen.touchStart(x, y);
        await page.waitForFunction(() => globalThis.kestivTerminal.hasSelection(), { timeout: WAIT_MS });
        await page.touchscreen.touchEnd();
        await page.waitForFunction(() => !document.getElementById('copied').hidden, { timeout: WAIT_MS });
        assert.equal(await page.$eval('#copied', (element) => element.textContent), `Copied: ${PROMPT.trimEnd()}`);
        assert.equal(await page.evaluate(() => navigator.clipboard.readText()), PROMPT.trimEnd());
        await page.close();
    });

    test('for a player who asks for less motion the cursor stays still and a flick does not coast', async () => {
        const page = await newGamePage(browser);
        await page.emulateMediaFeatures([{ name: 'prefers-reduced-motion', value: 'reduce' }]);
        await page.setViewport({ width: PHONE.width, height: PHONE.height, hasTouch: true, isMobile: true });
        await page.goto(server.url);
        await promptShown(page);
        assert.equal(await page.evaluate(() => globalThis.kestivTerminal.options.cursorBlink), false);
        await page.evaluate(() => globalThis.kestivTerminal.paste('cd\n'.repeat(300)));
        await page.waitForFunction(() => globalThis.kestivTerminal.buffer.active.baseY > 100, { timeout: WAIT_MS });
        await promptShown(page);
        const box = await page.$eval('#terminal', (element) => element.getBoundingClientRect().toJSON());
        const x = box.x + box.width / 2;
        await page.touchscreen.touchStart(x, box.y + 20);
        for (let step = 1; step <= 5; ++step) await page.touchscreen.touchMove(x, box.y + 20 + step * 40);
        await page.touchscreen.touchEnd();
        const top = () => page.evaluate(() => globalThis.kestivTerminal.buffer.active.viewportY);
        const lifted = await top();
        // Thirty frames after the finger lifted, the rows have not moved on.
        await page.evaluate(() => new Promise((done) => {
            let frames = 0;
            const next = () => (++frames === 30 ? done() : requestAnimationFrame(next));
            requestAnimationFrame(next);
        }));
        assert.equal(await top(), lifted);
        await page.close();
    });

    test("a soft keyboard's text, composed, inserted or dictated, reaches the line as typed", async () => {
        const page = await openPage(PHONE);
        const client = await page.createCDPSession();
        await client.send('Input.imeSetComposition', { text: 'd', selectionStart: 1, selectionEnd: 1 });
        await client.send('Input.imeSetComposition', { text: 'di', selectionStart: 2, selectionEnd: 2 });
        await client.send('Input.insertText', { text: 'dir' });
        await page.waitForFunction((line) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === line;
        }, { timeout: WAIT_MS }, `${PROMPT}dir`);
        // Android's keyboards send a keydown of key code 229 and the text in
        // one go, before the page runs anything else: sent apart, as the
        // browser's input commands would send them, a busy machine could let
        // xterm.js look for the text between the two and miss it.
        await page.evaluate((text) => {
            const textarea = document.querySelector('.xterm-helper-textarea');
            const key = (type) => {
                const event = new KeyboardEvent(type, { key: 'Unidentified', bubbles: true, cancelable: true });
                Object.defineProperty(event, 'keyCode', { get: () => 229 });
                Object.defineProperty(event, 'which', { get: () => 229 });
                return event;
            };
            textarea.dispatchEvent(key('keydown'));
            document.execCommand('insertText', false, text);
            textarea.dispatchEvent(key('keyup'));
        }, ' Readme');
        await page.waitForFunction((line) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === line;
        }, { timeout: WAIT_MS }, `${PROMPT}dir Readme`);
        // Dictation and a tapped suggestion send text without any key, and
        // the Screen reader setting, on here, lets it in.
        assert.equal(await page.$eval('#screen-reader', (box) => box.checked), true);
        await client.send('Input.insertText', { text: '.txt' });
        await page.waitForFunction((line) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === line;
        }, { timeout: WAIT_MS }, `${PROMPT}dir Readme.txt`);
        assert.equal(await cursorRow(page), `${PROMPT}dir Readme.txt`);
        await page.close();
    });
});
