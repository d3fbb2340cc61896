// The page playing on a game server (KESTIV_BROWSER), through the WebSocket
// bridge beside the TCP server: a walk to the flag, nothing of the program
// or its maze downloaded, the server's limits and its end, a dropped
// connection, and a site whose server is fixed when it is built.
import assert from 'node:assert/strict';
import { readFileSync } from 'node:fs';
import { join } from 'node:path';
import { after, before, describe, test } from 'node:test';

import { launchBrowser } from './browser.mjs';
import { startGameServer } from './game_server.mjs';
import { goalOf, nameOf, walkTo } from './maze_paths.mjs';
import { newGamePage } from './page_hooks.mjs';
import { PROMPT, gameOver, promptShown, WAIT_MS } from './page_waits.mjs';
import { serveFolders } from './static_server.mjs';

const {
    KESTIV_BROWSER, KESTIV_SITE, KESTIV_NATIVE_TERMINAL, KESTIVFS, KESTIV_MAZE_IMAGE, KESTIV_FLAG,
} = process.env;

let browser;
let site;
// Every file the site served: its path and the bytes of its body.
const served = [];
// What the next request for site.js gets instead of the built one, if set.
let siteSettings = null;
const servers = [];

async function gameServer(settings = {}) {
    const started = await startGameServer({ terminal: KESTIV_NATIVE_TERMINAL, settings });
    servers.push(started);
    return started;
}

async function openOn(server, query = `?server=${encodeURIComponent(server.url)}`, viewport = { width: 1000, height: 700 }) {
    const page = await newGamePage(browser);
    await page.setViewport(viewport);
    await page.goto(`${site.url}${query}`);
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

async function enter(page, ...lines) {
    for (const line of lines) {
        await page.keyboard.type(line);
        await page.keyboard.press('Enter');
        await promptShown(page);
    }
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
        await Promise.all(servers.map((server) => server.stop()));
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
        await page.close();
    });

    for (const { limit, settings, line } of [
        {
            limit: 'games at once', settings: { KESTIV_GAMES: '1' },
            line: "kestiv's terminal is full just now: all its games are being played. Try again in a few minutes.",
        },
        {
            limit: 'games from one address', settings: { KESTIV_GAMES_PER_ADDRESS: '1' },
            line: "kestiv's terminal plays at most 1 games at once with one address, and yours has them all. Try again when one is over.",
        },
    ]) {
        test(`a player past the server's ${limit} reads its line, and plays once a game is free`, async () => {
            const server = await gameServer(settings);
            const first = await openOn(server);
            await promptShown(first);
            // Narrower than the server's line, which wraps: the font stays.
            const second = await openOn(server, undefined, { width: 600, height: 700 });
            await gameOver(second);
            assert.equal(await second.evaluate(() => globalThis.kestivTerminal.options.fontSize), 16);
            await shows(second, line);
            assert.match(await status(second), /^The game is over\. Press Enter or New game to play again\.$/);
            // A tab in the background takes keys only slowly, if at all.
            await first.bringToFront();
            await enter(first, 'cd');
            await first.keyboard.type('exit');
            await first.keyboard.press('Enter');
            await gameOver(first);
            await second.bringToFront();
            await second.click('#new-game');
            await promptShown(second);
            await first.close();
            await second.close();
        });
    }

    test("a server that shuts down ends the game with its line, and a new game can follow", async () => {
        const server = await gameServer();
        const page = await openOn(server);
        await promptShown(page);
        await page.keyboard.type('di');
        await server.stop();
        await gameOver(page);
        await shows(page, 'The server is shutting down: the game is over.');
        assert.match(await status(page), /^The game is over\. Press Enter or New game to play again\.$/);
        assert.ok(!(await screenText(page)).includes(`${PROMPT}di`), 'the line not entered leaves the screen');
        await page.keyboard.press('Enter');
        await gameOver(page);
        assert.match(await status(page), /^The game server at ws:\/\/127\.0\.0\.1:\d+\/ could not be reached\./);
        await page.close();
    });

    test('a dropped connection says it was lost, and offers a new game', async () => {
        const server = await gameServer();
        const page = await openOn(server);
        await promptShown(page);
        await server.dropConnections();
        await gameOver(page);
        await shows(page, '[The connection to the game server was lost. Press Enter for a new game.]');
        assert.match(await status(page), /^The connection to the game server was lost\. Press Enter or New game to play again\.$/);
        await page.close();
    });

    test('a site built for one server plays there, whatever the address says', async () => {
        const server = await gameServer();
        const elsewhere = 'ws://127.0.0.1:9/';
        siteSettings = `export const server = '${server.url}';\nexport const serverParameter = false;\n`;
        try {
            const page = await openOn(server, `?server=${encodeURIComponent(elsewhere)}`);
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
