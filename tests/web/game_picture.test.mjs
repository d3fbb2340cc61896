// The picture of a game in docs/game.png: the native terminal plays a short
// script on a pseudo-terminal, as a player at a terminal would, and xterm.js
// in headless Chromium draws exactly what the player's terminal received, in
// the page's colours. The picture carries that output in a text chunk; the
// test writes the picture anew to KESTIV_PICTURE_OUT and fails when the
// checked-in one (KESTIV_PICTURE) carries other output than the terminal
// prints now. Pixels differ with fonts from machine to machine; the output
// does not.
import assert from 'node:assert/strict';
import { execFile } from 'node:child_process';
import { mkdirSync, readFileSync, writeFileSync } from 'node:fs';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';
import { test } from 'node:test';

import { launchBrowser } from './browser.mjs';
import { crc32, readText, withText } from './png_text.mjs';
import { serveFolders } from './static_server.mjs';

const { KESTIV_NATIVE_TERMINAL, KESTIV_PICTURE, KESTIV_PICTURE_OUT } = process.env;
const HERE = dirname(fileURLToPath(import.meta.url));
const WEB = join(HERE, '../../web');

// Into a directory of the default maze, a listing there, and a name in other
// letter case, which ends the game.
const SCRIPT = ['dir', 'cd 8kAInxl', 'dir', 'cd mbiptafd'];
// As wide as the banner, and no wider.
const COLUMNS = 68;
const KEYWORD = 'kestiv-terminal output';

async function played() {
    const { stdout } = await promisify(execFile)(
        'python3', [join(HERE, 'play_on_pty.py'), KESTIV_NATIVE_TERMINAL, ...SCRIPT],
        { encoding: 'latin1', maxBuffer: 1 << 20 });
    return stdout;
}

async function drawn(output) {
    const server = await serveFolders([['/web/', WEB], ['/xterm/', join(WEB, 'node_modules/@xterm/xterm')], ['/', HERE]]);
    const browser = await launchBrowser('chromium');
    try {
        const page = await browser.newPage();
        const errors = [];
        page.on('pageerror', (error) => errors.push(error.message));
        await page.setViewport({ width: 1000, height: 1000, deviceScaleFactor: 1 });
        await page.goto(`${server.url}picture.html`);
        await page.waitForFunction(() => typeof globalThis.drawGame === 'function').catch((error) => {
            throw new Error(`the picture's page did not load: ${errors.join('; ') || error.message}`);
        });
        await page.evaluate((text, columns) => globalThis.drawGame(text, columns), output, COLUMNS);
        const element = await page.$('#picture');
        return Buffer.from(await element.screenshot({ type: 'png' }));
    } finally {
        await browser.close();
        await server.close();
    }
}

test('docs/game.png shows what the terminal prints for its script', async () => {
    const output = await played();
    assert.match(output, /Oh no, CRAAAAAAAAAAASH/, 'the script ends in a crash');
    mkdirSync(dirname(KESTIV_PICTURE_OUT), { recursive: true });
    writeFileSync(KESTIV_PICTURE_OUT, withText(await drawn(output), KEYWORD, output));
    const shown = readText(readFileSync(KESTIV_PICTURE), KEYWORD);
    assert.equal(shown, output,
        `${KESTIV_PICTURE} shows other output than the terminal prints now; the picture of what it ` +
        `prints is ${KESTIV_PICTURE_OUT}: look at it, and copy it over the old one`);
});

test('the text chunk\'s CRC-32 is ISO 3309\'s, as in every PNG\'s IEND chunk', () => {
    assert.equal(crc32(Buffer.from('IEND', 'latin1')), 0xae426082);
    assert.equal(crc32(Buffer.from('123456789', 'latin1')), 0xcbf43926);
});
