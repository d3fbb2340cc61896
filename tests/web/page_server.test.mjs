// The page playing on a game server (KESTIV_BROWSER) through the server's own
// browser bridge: a walk to the flag, nothing of the program or its maze
// downloaded; pasted lines entered one by one; a page of another site
// refused; a place in line, then the game on the same connection; the limit
// of one address's games; the server's end, and a connection lost; and a site
// whose server is fixed when it is built. The server's own lines break at
// spaces, the game's bytes as they came.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { after, before, describe, test } from 'node:test';

import { launchBrowser } from './browser.mjs';
import { startGameServer } from './game_server.mjs';
import { goalOf, nameOf, walkTo } from './maze_paths.mjs';
import { newGamePage } from './page_hooks.mjs';
import { PROMPT, gameOver, promptShown, WAIT_MS } from './page_waits.mjs';
import { startRelay } from './relay.mjs';
import { serveFolders } from './static_server.mjs';

const {
    KESTIV_BROWSER, KESTIV_SITE, KESTIV_NATIVE_TERMINAL, KESTIVFS, KESTIV_MAZE_IMAGE, KESTIV_FLAG,
} = process.env;

const inLine = (place) => `kestiv's terminal is playing every game it can: you are number ${place} in line. `
    + 'Stay connected: your game starts here when a seat frees.';
const SHUTTING_DOWN = 'The server is shutting down: the game is over.';
const GAME_OVER = /^The game is over\. Press Enter or New game to play again\.$/;
// The width of the banner, which the font fits at a game's start.
const BANNER_COLUMNS = 66;
// A window narrower than the server's lines, wide enough for the banner in the
// smallest font.
const NARROW = { width: 400, height: 700 };

let browser;
let site;
// Every file the site served: its path and the bytes of its body.
const served = [];
// What the next request for site.js gets instead of the built one, if set.
let siteSettings = null;
const closers = [];

async function gameServer(settings = {}) {
    const started = await startGameServer({
        terminal: KESTIV_NATIVE_TERMINAL, origin: new URL(site.url).origin, settings,
    });
    closers.push(started.stop);
    return started;
}

async function openOn(server, { query = `?server=${encodeURIComponent(server.url)}`, viewport = { width: 1000, height: 700 }, from = site } = {}) {
    const page = await newGamePage(browser);
    await page.setViewport(viewport);
    await page.goto(`${from.url}${query}`);
    return page;
}

function screenText(page) {
    return page.evaluate(() => {
        const buffer = globalThis.kestivTerminal.buffer.active;
        const rows = [];
        for (let y = 0; y <= buffer.baseY + buffer.cursorY; ++y) rows.push(buffer.getLine(y).translateToString(true).trimEnd());
        return rows.join('\n');
    });
}

const status = (page) => page.$eval('#status', (element) => element.textContent);
const cursorShown = (page) => page.evaluate(() => !globalThis.kestivTerminal._core.coreService.isCursorHidden);
const guideShown = (page) => page.$eval('#guide', (element) => getComputedStyle(element).display !== 'none');

// A server with `settings`, a page playing on it in a wide window, and a
// second page opened after it in a narrow one.
async function twoPages(settings) {
    const server = await gameServer(settings);
    const first = await openOn(server);
    await promptShown(first);
    const second = await openOn(server, { viewport: NARROW });
    return { server, first, second };
}

async function enter(page, ...lines) {
    for (const line of lines) {
        await page.keyboard.type(line);
        await page.keyboard.press('Enter');
        await promptShown(page);
    }
}

// Waits for the row of the cursor to read text.
function cursorRowReads(page, text) {
    return page.waitForFunction((expected) => {
        const buffer = globalThis.kestivTerminal.buffer.active;
        return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === expected;
    }, { timeout: WAIT_MS }, text);
}

// Waits for the terminal to show text somewhere in its lines, a line that
// the terminal wrapped taken whole.
function shows(page, text) {
    return page.waitForFunction((wanted) => {
        const buffer = globalThis.kestivTerminal?.buffer.active;
        if (!buffer) return false;
        let all = '';
        for (let y = 0; y < buffer.length; ++y) {
            const line = buffer.getLine(y);
            all += `${line.isWrapped ? '' : '\n'}${line.translateToString(!buffer.getLine(y + 1)?.isWrapped)}`;
        }
        return all.includes(wanted);
    }, { timeout: WAIT_MS }, text);
}

// Waits for the terminal to show a line of prose broken into rows at spaces,
// as the page breaks its own: rows that, joined by spaces, are the line, none
// wider than the terminal and none a row the terminal wrapped. Resolves to
// the rows.
async function showsAtSpaces(page, text) {
    const handle = await page.waitForFunction((wanted) => {
        const terminal = globalThis.kestivTerminal;
        const buffer = terminal?.buffer.active;
        if (!buffer) return false;
        const rows = [];
        for (let y = 0; y < buffer.length; ++y) {
            const line = buffer.getLine(y);
            rows.push({ text: line.translateToString(true), wrapped: line.isWrapped });
        }
        for (let first = 0; first < rows.length; ++first) {
            if (!rows[first].text || !wanted.startsWith(rows[first].text)) continue;
            let joined = '';
            for (let last = first; last < rows.length && joined.length < wanted.length; ++last) {
                joined += (last === first ? '' : ' ') + rows[last].text;
                if (joined === wanted) {
                    const found = rows.slice(first, last + 1);
                    if (found.some((row) => row.wrapped || row.text.length > terminal.cols)) return false;
                    return found.map((row) => row.text);
                }
            }
        }
        return false;
    }, { timeout: WAIT_MS }, text);
    return handle.jsonValue();
}

// Whether any served body holds a run of the image's bytes: every run of 31
// bytes or more holds one of the image's 16-byte blocks that start at a
// multiple of 16, looked for at every offset of every body. Blocks of few
// distinct bytes (runs of zeros or spaces) say nothing and are left out.
function imageBytesServed(image) {
    const blocks = new Set();
    for (let at = 0; at + 16 <= image.length; at += 16) {
        const block = image.subarray(at, at + 16);
        if (new Set(block).size >= 8) blocks.add(block.toString('latin1'));
    }
    const found = [];
    for (const { path, body } of served) {
        for (let at = 0; at + 16 <= body.length; ++at) {
            if (blocks.has(body.toString('latin1', at, at + 16))) {
                found.push(`${path} at byte ${at}`);
                break;
            }
        }
    }
    return found;
}

async function leave(page) {
    await page.bringToFront();
    await page.keyboard.type('exit');
    await page.keyboard.press('Enter');
    await gameOver(page);
}

describe(`the page on a game server in ${KESTIV_BROWSER}`, () => {
    before(async () => {
        site = await serveFolders([['/', KESTIV_SITE]], {
            answer: (path, response) => {
                if (path !== '/site.js' || siteSettings === null) return false;
                response.writeHead(200, { 'Content-Type': 'text/javascript' });
                response.end(siteSettings);
                return true;
            },
            onServed: (path, body) => served.push({ path, body }),
        });
        browser = await launchBrowser(KESTIV_BROWSER);
    });
    after(async () => {
        await browser?.close();
        await site?.close();
        await Promise.all(closers.map((close) => close()));
    });

    test('plays a walk to the flag, and downloads neither the program nor any of its maze', async () => {
        const server = await gameServer();
        served.length = 0;
        const page = await openOn(server);
        await promptShown(page);
        const goal = goalOf(KESTIVFS, KESTIV_MAZE_IMAGE, KESTIV_FLAG);
        await enter(page, ...walkTo(goal).split('\n').filter(Boolean));
        await page.keyboard.type('dir');
        await page.keyboard.press('Enter');
        await shows(page, nameOf(goal));
        await promptShown(page);
        await enter(page, `type ${nameOf(goal)}`);
        await shows(page, KESTIV_FLAG);
        const text = await screenText(page);
        assert.equal(text.split('\n').filter((row) => row === `${PROMPT}dir`).length, 1, 'a line entered shows once');

        const paths = served.map(({ path }) => path);
        assert.ok(paths.includes('/page.js') && paths.includes('/xterm/xterm.js'), `the page came: ${paths.join(' ')}`);
        assert.deepEqual(paths.filter((path) => path.startsWith('/kestiv-terminal')), [], 'no program downloaded');
        assert.deepEqual(imageBytesServed(readFileSync(KESTIV_MAZE_IMAGE)), [], 'no bytes of the maze downloaded');
        const bytes = served.reduce((sum, { body }) => sum + body.length, 0);
        console.log(`figure  the page on a server downloaded ${bytes} bytes in ${served.length} files`);

        await page.keyboard.down('Control');
        await page.keyboard.press('z');
        await page.keyboard.up('Control');
        await page.keyboard.press('Enter');
        await gameOver(page);
        assert.match(await status(page), /^You left the game\. Press Enter or New game to play again\.$/);
        await page.keyboard.press('Enter');
        await promptShown(page);
        assert.equal(await cursorShown(page), true, 'a new game shows the cursor again');
        await page.close();
    });

    test('pasted lines are entered one by one, each once the prompt after the one before has come', async () => {
        const server = await gameServer();
        const lines = ['dir', 'cd ..', 'dir'];
        // The last words of the paste, after its last line end, stay in the line.
        const rest = 'cd';
        const typedPage = await openOn(server);
        await promptShown(typedPage);
        await enter(typedPage, ...lines);
        await typedPage.keyboard.type(rest);
        await cursorRowReads(typedPage, `${PROMPT}${rest}`);
        const typed = await screenText(typedPage);
        await typedPage.close();

        const page = await openOn(server);
        await promptShown(page);
        // What the terminal does with the text of a paste event.
        await page.evaluate((text) => globalThis.kestivTerminal.paste(text), `${lines.join('\r\n')}\r\n${rest}`);
        // Every prompt has come: the start's and one after each line.
        await page.waitForFunction((prompt, count) => {
            const buffer = globalThis.kestivTerminal.buffer.active;
            let all = '';
            for (let y = 0; y < buffer.length; ++y) all += buffer.getLine(y).translateToString(false);
            return all.split(prompt).length - 1 === count;
        }, { timeout: WAIT_MS }, PROMPT, lines.length + 1);
        await cursorRowReads(page, `${PROMPT}${rest}`);
        assert.equal(await screenText(page), typed, 'each prompt, then its line, then its answer');
        await page.close();
    });

    test('a page of another site is refused by the bridge', async () => {
        const server = await gameServer();
        const elsewhere = await serveFolders([['/', KESTIV_SITE]]);
        closers.push(elsewhere.close);
        const page = await openOn(server, { from: elsewhere });
        await gameOver(page);
        assert.match(await status(page), /^The game server at ws:\/\/127\.0\.0\.1:\d+\/ could not be reached\./);
        assert.ok(!server.log().includes('game started'), 'no game started for it');
        await page.close();
    });

    test('a player beyond the games reads their place in line, and plays on the same connection once a seat frees', async () => {
        const { server, first, second } = await twoPages({ KESTIV_GAMES: '1' });
        const rows = await showsAtSpaces(second, inLine(1));
        assert.ok(rows.length > 1, `the line breaks in a narrow window: ${JSON.stringify(rows)}`);
        assert.equal(await second.evaluate(() => document.body.dataset.game), 'waiting');
        assert.match(await status(second), /^Waiting for the game server to start your game/);
        assert.equal(await guideShown(second), false, 'no guide to typing while in line');
        assert.equal(await cursorShown(second), false, 'no cursor while in line');
        // Keys typed in line never reach the game.
        await second.keyboard.type('dir');
        await second.keyboard.press('Enter');

        await leave(first);
        assert.match(await status(first), GAME_OVER);
        await second.bringToFront();
        await promptShown(second);
        const screen = await screenText(second);
        assert.ok(!screen.includes('in line'), 'the game clears the screen of the line');
        assert.equal(screen.split('\n').filter((row) => row.startsWith(PROMPT.trimEnd())).length, 1, `one prompt, nothing entered:\n${screen}`);
        const fitted = await second.evaluate(() => ({
            fontSize: globalThis.kestivTerminal.options.fontSize, cols: globalThis.kestivTerminal.cols,
        }));
        assert.ok(fitted.fontSize < 16 && fitted.cols >= BANNER_COLUMNS, `the font fits the banner: ${JSON.stringify(fitted)}`);
        assert.equal(await guideShown(second), true, 'the guide once the game is on');
        assert.equal(await cursorShown(second), true, 'the cursor once the game asks for a line');
        // A server's output is said once it has all come.
        const spoken = await second.waitForFunction(() => {
            const entries = [...document.querySelectorAll('#spoken > p')].map((entry) => entry.textContent);
            return entries.at(-1)?.startsWith('New game.') && entries;
        }, { timeout: WAIT_MS });
        assert.deepEqual(await spoken.jsonValue(), [inLine(1), `New game. ${PROMPT.trimEnd()}`]);
        assert.match(server.log(), /from 127\.0\.0\.1: game started after \d+ s in line/);
        await first.close();
        await second.close();
    });

    test('pages of one browser are one address: the one beyond its games reads the server\'s line', async () => {
        const { server, first, second } = await twoPages({ KESTIV_GAMES_PER_ADDRESS: '1' });
        await gameOver(second);
        await showsAtSpaces(second, "kestiv's terminal plays at most 1 games at once with one address, and yours has them all. "
            + 'Try again when one is over.');
        assert.equal(await second.evaluate(() => globalThis.kestivTerminal.options.fontSize), 16, 'the font fits no line of prose');
        assert.match(await status(second), GAME_OVER);
        assert.match(server.log(), /from 127\.0\.0\.1: turned away: its address holds 1 games/);
        await leave(first);
        await second.bringToFront();
        await second.click('#new-game');
        await promptShown(second);
        await first.close();
        await second.close();
    });

    test('a server that shuts down tells its players and those in line, and a new game can follow', async () => {
        const { server, first: playing, second: waiting } = await twoPages({ KESTIV_GAMES: '1' });
        await showsAtSpaces(waiting, inLine(1));
        // Narrower than the server's line, which then breaks at spaces.
        await playing.bringToFront();
        await playing.setViewport({ width: 240, height: 500 });
        await playing.waitForFunction((wanted) => globalThis.kestivTerminal.cols < wanted, { timeout: WAIT_MS }, SHUTTING_DOWN.length);
        await playing.keyboard.type('di');
        await server.stop();
        for (const page of [playing, waiting]) {
            await gameOver(page);
            await showsAtSpaces(page, SHUTTING_DOWN);
            assert.match(await status(page), GAME_OVER);
        }
        assert.ok(!(await screenText(playing)).includes(`${PROMPT}di`), 'the line not entered leaves the screen');
        await playing.keyboard.press('Enter');
        await gameOver(playing);
        assert.match(await status(playing), /^The game server at ws:\/\/127\.0\.0\.1:\d+\/ could not be reached\./);
        await playing.close();
        await waiting.close();
    });

    test('a connection lost says so, and a new game can follow on the seat it freed', async () => {
        const server = await gameServer({ KESTIV_GAMES: '1' });
        const relay = await startRelay(Number(new URL(server.url).port));
        closers.push(relay.close);
        const page = await openOn(server, { query: `?server=${encodeURIComponent(`ws://127.0.0.1:${relay.port}/`)}` });
        await promptShown(page);
        relay.cut();
        await gameOver(page);
        await shows(page, '[The connection to the game server was lost. Press Enter for a new game.]');
        assert.match(await status(page), /^The connection to the game server was lost\. Press Enter or New game to play again\.$/);
        await page.keyboard.press('Enter');
        await promptShown(page);
        await page.close();
    });

    test('a site built for one server plays there, whatever the address says', async () => {
        const server = await gameServer();
        const elsewhere = 'ws://127.0.0.1:9/';
        siteSettings = `export const server = '${server.url}';\nexport const serverParameter = false;\n`;
        try {
            const page = await openOn(server, { query: `?server=${encodeURIComponent(elsewhere)}` });
            await promptShown(page);
            await page.close();
        } finally {
            siteSettings = null;
        }
    });

    test('without the site\'s leave, the address cannot name a server', async () => {
        const server = await gameServer();
        siteSettings = 'export const server = \'\';\nexport const serverParameter = false;\n';
        served.length = 0;
        try {
            const page = await openOn(server);
            await promptShown(page);
            assert.ok(served.some(({ path }) => path === '/kestiv-terminal.wasm'), 'the page plays the program it downloads');
            await page.close();
        } finally {
            siteSettings = null;
        }
    });

    test('an address that is no WebSocket address is refused in words', async () => {
        const page = await newGamePage(browser);
        await page.goto(`${site.url}?server=${encodeURIComponent('http://127.0.0.1:9/')}`);
        await gameOver(page);
        assert.match(await status(page), /^The server address "http:\/\/127\.0\.0\.1:9\/" must start with ws:\/\/ or wss:\/\/\./);
        await page.close();
    });
});
