// The page as a player meets it, in a headless browser (KESTIV_BROWSER:
// chromium or firefox) with the site served from 127.0.0.1: what the terminal
// shows is read from its cells through the xterm.js buffer, colours included.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync } from 'node:fs';
import { dirname } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { launchBrowser } from './browser.mjs';
import { newGamePage } from './page_hooks.mjs';
import { listImage, nameOf, walkTo } from './maze_paths.mjs';
import { PROMPT, WAIT_MS, gameOver, promptShown } from './page_waits.mjs';
import { serveFolders } from './static_server.mjs';

const { KESTIV_BROWSER, KESTIV_SITE, KESTIV_SCREENSHOT, KESTIVFS, KESTIV_MAZE_IMAGE } = process.env;

// The ANSI colours the program writes in, as palette entries of the terminal.
const RED = 1;
const GREEN = 2;
const BLUE = 4;

// The nodes a player can type the names of, of whatever maze the build has.
const maze = listImage(KESTIVFS, KESTIV_MAZE_IMAGE).filter((node) =>
    node.names.every((name) => /^[\x21-\x7e][\x20-\x7e]*$/.test(name)));
const rootDirectory = maze.find((node) => node.kind === 'directory' && node.names.length === 1);
// A decoy of the generated maze, or any file shown through the content
// transform: the one nearest the root, for the shortest walk.
const decoy = maze
    .filter((node) => node.kind === 'file' && nameOf(node) !== 'README.txt')
    .sort((a, b) => (a.size === 6944) - (b.size === 6944) || b.names.length - a.names.length)
    .at(-1);
const needsMaze = !(rootDirectory && decoy) && 'the maze has no directory at its root or no file to type';

let browser;
let server;
let page;
// The rows of a game's first screen: the banner's and the prompt's.
let firstScreenRows;

// The terminal's rows from the top of its buffer to the cursor's, each with
// its text and, cell by cell, its foreground palette colour (null for the
// default), and where the cursor is.
function readScreen() {
    return page.evaluate(() => {
        const buffer = globalThis.kestivTerminal.buffer.active;
        const rows = [];
        for (let y = 0; y <= buffer.baseY + buffer.cursorY; ++y) {
            const line = buffer.getLine(y);
            const colours = [];
            for (let x = 0; x < line.length; ++x) {
                const cell = line.getCell(x);
                colours.push(cell.isFgPalette() ? cell.getFgColor() : null);
            }
            rows.push({ text: line.translateToString(true).trimEnd(), colours });
        }
        return { rows, cursor: { row: buffer.baseY + buffer.cursorY, column: buffer.cursorX } };
    });
}

// Waits for the row of the cursor to read text.
function cursorRowReads(text) {
    return page.waitForFunction((expected) => {
        const buffer = globalThis.kestivTerminal.buffer.active;
        return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === expected;
    }, { timeout: WAIT_MS }, text);
}

async function enter(...lines) {
    for (const line of lines) {
        await page.keyboard.type(line);
        await page.keyboard.press('Enter');
        await promptShown(page);
    }
}

const status = () => page.$eval('#status', (element) => element.textContent);

describe(`the page in ${KESTIV_BROWSER}`, () => {
    before(async () => {
        server = await serveFolders([['/', KESTIV_SITE]]);
        browser = await launchBrowser(KESTIV_BROWSER);
        // Chromium lets a page's copy and paste reach the clipboard only by
        // leave; Firefox lets the keys' own commands through as they are.
        if (KESTIV_BROWSER === 'chromium') {
            await browser.defaultBrowserContext().overridePermissions(new URL(server.url).origin, [
                'clipboard-read', 'clipboard-write', 'clipboard-sanitized-write',
            ]);
        }
        page = await newGamePage(browser);
        await page.setViewport({ width: 1000, height: 700 });
        await page.goto(server.url);
        await promptShown(page);
    });
    after(async () => {
        await browser?.close();
        await server?.close();
    });

    test('opens into the shell: a cleared screen, then the banner and the prompt in green', async () => {
        const { rows, cursor } = await readScreen();
        assert.equal(rows[0].text, '', 'the banner opens with a line end');
        assert.match(rows[1].text, /^ +\.-+\.$/);
        const banner = rows.slice(1, -1);
        for (const row of banner) {
            row.text.split('').forEach((character, x) => character !== ' ' && assert.equal(row.colours[x], GREEN));
        }
        assert.equal(rows.at(-1).text, PROMPT.trimEnd());
        assert.deepEqual(rows.at(-1).colours.slice(0, PROMPT.length), Array(PROMPT.length).fill(GREEN));
        assert.deepEqual(cursor, { row: rows.length - 1, column: PROMPT.length });
        firstScreenRows = rows.length;
    });

    test("a line of the page's own says how to begin", async () => {
        const guide = await page.$eval('#guide', (element) => ({ text: element.textContent, shown: !element.hidden }));
        assert.deepEqual(guide, {
            text: 'Type dir and press Enter; type README.txt shows the rules; any mistake ends the game.',
            shown: true,
        });
    });

    test('every text colour is at least 4.5:1 against what is behind it', async () => {
        const pairs = await page.evaluate(() => {
            const theme = globalThis.kestivTerminal.options.theme;
            const found = Object.entries(theme)
                .filter(([key]) => !['background', 'black', 'cursor', 'selectionBackground'].includes(key))
                .map(([key, colour]) => [`terminal ${key}`, colour, theme.background]);
            const behind = (element) => {
                for (let at = element; at; at = at.parentElement) {
                    const colour = getComputedStyle(at).backgroundColor;
                    if (colour !== 'rgba(0, 0, 0, 0)') return colour;
                }
                return 'rgb(255, 255, 255)';
            };
            const playing = document.body.dataset.game;
            for (const state of ['playing', 'ended', 'failed']) {
                document.body.dataset.game = state;
                for (const element of document.querySelectorAll('#guide, #guide code, #narrow-hint, #status, label, button')) {
                    const style = getComputedStyle(element);
                    found.push([`${element.id || element.tagName} ${state}`, style.color, behind(element)]);
                }
            }
            document.body.dataset.game = playing;
            return found;
        });
        const channels = (colour) => (colour.startsWith('#')
            ? [1, 3, 5].map((at) => parseInt(colour.slice(at, at + 2), 16))
            : colour.match(/\d+/g).slice(0, 3).map(Number));
        const luminance = (colour) => {
            const [r, g, b] = channels(colour).map((value) => value / 255)
                .map((value) => (value <= 0.04045 ? value / 12.92 : ((value + 0.055) / 1.055) ** 2.4));
            return 0.2126 * r + 0.7152 * g + 0.0722 * b;
        };
        const low = pairs.flatMap(([what, text, background]) => {
            const [lighter, darker] = [luminance(text), luminance(background)].sort((a, b) => b - a);
            const ratio = (lighter + 0.05) / (darker + 0.05);
            return ratio < 4.5 ? [`${what}: ${text} on ${background} is ${ratio.toFixed(2)}:1`] : [];
        });
        assert.deepEqual(low, []);
        assert.ok(pairs.length > 20, "the palette and the page's text were both read");
    });

    test("Tab leaves the terminal for the page's controls, Shift+Tab comes back", async () => {
        const focused = () => page.evaluate(() => document.activeElement.id || document.activeElement.className);
        assert.equal(await focused(), 'xterm-helper-textarea');
        await page.keyboard.press('Tab');
        assert.equal(await focused(), 'screen-reader');
        await page.keyboard.press('Tab');
        assert.equal(await focused(), 'new-game');
        await page.keyboard.down('Shift');
        await page.keyboard.press('Tab');
        await page.keyboard.press('Tab');
        await page.keyboard.up('Shift');
        assert.equal(await focused(), 'xterm-helper-textarea');
        await promptShown(page);
    });

    test('the screen reader setting is on at first, and a change to it is remembered', async () => {
        const setting = () => page.evaluate(() => ({
            box: document.getElementById('screen-reader').checked,
            remembered: localStorage.getItem('kestiv-screen-reader'),
        }));
        assert.deepEqual(await setting(), { box: true, remembered: null });
        await page.click('#screen-reader');
        assert.deepEqual(await setting(), { box: false, remembered: 'false' });
        await page.click('#screen-reader');
        assert.deepEqual(await setting(), { box: true, remembered: 'true' });
        await page.focus('.xterm-helper-textarea');
    });

    test('dir lists directories in blue, files in the default colour', { skip: needsMaze }, async () => {
        await enter('dir');
        const { rows } = await readScreen();
        const directoryRow = rows.find((row) => row.text === nameOf(rootDirectory));
        assert.ok(directoryRow, `${nameOf(rootDirectory)} is listed`);
        assert.equal(directoryRow.colours[0], BLUE);
        const readme = rows.find((row) => row.text === 'README.txt');
        assert.equal(readme?.colours[0], null);
        assert.equal(await page.$eval('#guide', (element) => element.hidden), true, 'the guide goes once a line is in');
    });

    test('a screen reader is told the start, each line entered and each answer, once each', { skip: needsMaze }, async () => {
        const spoken = () => page.$$eval('#spoken > p', (entries) => entries.map((entry) => entry.textContent));
        const said = await spoken();
        assert.equal(said[0], `New game. ${PROMPT.trimEnd()}`, 'the start, without the banner');
        assert.equal(said[1], 'dir');
        assert.ok(said[2].split('\n').includes('README.txt') && said[2].endsWith(PROMPT.trimEnd()), 'the answer, whole');
        assert.equal(said.length, 3);
        // A line edited at length is still said once, as entered.
        const line = `cd ${nameOf(rootDirectory)}`;
        await page.keyboard.type(`${line}x`);
        await page.keyboard.press('Backspace');
        await page.keyboard.press('Home');
        await page.keyboard.press('End');
        await page.keyboard.press('Enter');
        await promptShown(page);
        assert.deepEqual((await spoken()).slice(3), [line, PROMPT.trimEnd()]);
        await enter('cd ..');
        if (KESTIV_BROWSER === 'chromium') {
            const names = [];
            const walk = (node) => {
                if (node.name) names.push(node.name);
                node.children?.forEach(walk);
            };
            walk(await page.accessibility.snapshot({ interestingOnly: false }));
            assert.ok(names.some((name) => name.split(/\s+/).includes('README.txt')), "the browser's accessibility tree holds the answer");
        }
    });

    test('a walk to a decoy and type show its text', { skip: needsMaze }, async () => {
        const decoyPath = decoy.names.map((name) => name.replaceAll('\\', '\\\\').replaceAll('/', '\\/')).join('/');
        const decoyText = execFileSync(KESTIVFS, ['cat', KESTIV_MAZE_IMAGE, decoyPath], { encoding: 'utf8' });
        await enter(...walkTo(decoy).split('\n').filter(Boolean), `type ${nameOf(decoy)}`);
        const { rows } = await readScreen();
        const shown = rows.map((row) => row.text).join('\n');
        const textLines = decoyText.trimEnd().split('\n');
        assert.ok(shown.includes(textLines.join('\n')), 'the whole text is on the screen');
        assert.equal(rows.at(-2).text, '', 'two line ends after the text');
        if (KESTIV_SCREENSHOT) {
            mkdirSync(dirname(KESTIV_SCREENSHOT), { recursive: true });
            await page.screenshot({ path: KESTIV_SCREENSHOT });
        }
    });

    test('Up recalls the line before, Esc clears it', { skip: needsMaze }, async () => {
        await page.keyboard.press('ArrowUp');
        await cursorRowReads(`${PROMPT}type ${nameOf(decoy)}`);
        await page.keyboard.press('Escape');
        await promptShown(page);
    });

    test("the page says when a game's start and each answer are in the terminal", async () => {
        const marks = () => page.evaluate(() => Object.fromEntries(['start', 'answer'].flatMap((what) => ['written', 'drawn']
            .map((when) => [`${what}-${when}`, performance.getEntriesByName(`kestiv-${what}-${when}`).length]))));
        const started = await marks();
        assert.deepEqual([started['start-written'], started['start-drawn']], [1, 1]);
        await page.evaluate(() => performance.clearMarks());
        await enter('cls');
        await page.waitForFunction(() => performance.getEntriesByName('kestiv-answer-drawn').length > 0, { timeout: WAIT_MS });
        assert.deepEqual(await marks(), { 'start-written': 0, 'start-drawn': 0, 'answer-written': 1, 'answer-drawn': 1 });
    });

    test('cls clears the screen', async () => {
        await enter('cls');
        const { rows } = await readScreen();
        assert.deepEqual(rows.map((row) => row.text), [PROMPT.trimEnd()]);
    });

    test('the terminal follows the size of the window, the line being typed kept', async () => {
        const columns = () => page.evaluate(() => globalThis.kestivTerminal.cols);
        const wide = await columns();
        await page.keyboard.type('dir');
        await page.setViewport({ width: 600, height: 500 });
        await page.waitForFunction((before) => globalThis.kestivTerminal.cols < before, { timeout: WAIT_MS }, wide);
        await cursorRowReads(`${PROMPT}dir`);
        await page.setViewport({ width: 1000, height: 700 });
        await page.waitForFunction((before) => globalThis.kestivTerminal.cols === before, { timeout: WAIT_MS }, wide);
        await cursorRowReads(`${PROMPT}dir`);
        await page.keyboard.press('Escape');
        await promptShown(page);
    });

    test('pasted lines are entered as typed ones', { skip: needsMaze }, async () => {
        // What the terminal does with the text of a paste event.
        await page.evaluate(() => globalThis.kestivTerminal.paste('cd\r\ndir\n'));
        await page.waitForFunction((prompt) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            let prompts = 0;
            for (let y = 0; y < buffer.length; ++y) prompts += buffer.getLine(y).translateToString(true).startsWith(prompt);
            return prompts === 3;
        }, { timeout: WAIT_MS }, PROMPT);
        const rows = (await readScreen()).rows.map((row) => row.text);
        assert.deepEqual(rows.slice(0, 2), [`${PROMPT}cd`, `${PROMPT}dir`]);
        assert.ok(rows.includes(nameOf(rootDirectory)), 'the root is listed');
    });

    test('a crash is shown in red and ends the game; Enter starts a new one at the root', { skip: needsMaze }, async () => {
        await enter(`cd ${nameOf(rootDirectory)}`);
        await page.keyboard.type('cd nowhere');
        await page.keyboard.press('Enter');
        await gameOver(page);
        const { rows } = await readScreen();
        const crash = rows.findIndex((row) => row.text === `${PROMPT}cd nowhere`) + 1;
        assert.equal(rows[crash].text, 'Oh no, CRAAAAAAAAAAASH');
        assert.deepEqual(rows[crash].colours.slice(0, 22), Array(22).fill(RED));
        assert.match(await status(), /exit status -1/);
        assert.match(await status(), /^The game is over \(crashed\)\. Press Enter or New game to play again\./);

        await page.keyboard.press('Enter');
        await promptShown(page);
        const fresh = await readScreen();
        assert.equal(fresh.rows.length, firstScreenRows, 'a cleared screen with the banner and the prompt');
        await enter('dir');
        assert.ok((await readScreen()).rows.some((row) => row.text === nameOf(rootDirectory)), 'back at the root');
    });

    test('the history lasts across games', { skip: needsMaze }, async () => {
        await page.keyboard.press('ArrowUp');
        await page.keyboard.press('ArrowUp');
        await cursorRowReads(`${PROMPT}cd nowhere`);
        await page.keyboard.press('Escape');
    });

    test('Ctrl+C copies what is selected and Ctrl+V pastes it', async () => {
        const row = (await readScreen()).cursor.row;
        await page.evaluate((y) => globalThis.kestivTerminal.select(0, y, 17), row);
        for (const [key, command] of [['KeyC', 'Copy'], ['KeyV', 'Paste']]) {
            await page.keyboard.down('Control');
            await page.keyboard.press(key, { commands: [command] });
            await page.keyboard.up('Control');
        }
        await cursorRowReads(`${PROMPT}kestiv's terminal`);
        await page.keyboard.press('Escape');
        await promptShown(page);
    });

    test('Ctrl+Z then Enter ends input with status 0; the button starts a new game', async () => {
        await page.keyboard.down('Control');
        await page.keyboard.press('z');
        await page.keyboard.up('Control');
        await cursorRowReads(`${PROMPT}^Z`);
        await page.keyboard.press('Enter');
        await gameOver(page);
        assert.match(await status(), /exit status 0/);
        assert.match(await status(), /^You left the game\./);
        await page.click('#new-game');
        await promptShown(page);
    });
});
