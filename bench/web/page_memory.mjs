// The tab's memory over a run of games, in headless Chromium (or Firefox)
// with the site served from 127.0.0.1: each game walks one line and crashes,
// and Enter starts the next. After each game it reads the resident memory of
// the tab's processes (Chromium's renderers, Firefox's tab content processes)
// from /proc, and prints the figure after the first game, the peak and the
// last.
//
//   node bench/web/page_memory.mjs [BUILD_DIR] [--browser chromium|firefox] [--games N]
import { readFileSync, readdirSync, existsSync } from 'node:fs';
import { join } from 'node:path';
import { parseArgs } from 'node:util';

import { launchBrowser } from '../../tests/web/browser.mjs';
import { newGamePage } from '../../tests/web/page_hooks.mjs';
import { gameOver, promptShown } from '../../tests/web/page_waits.mjs';
import { serveFolders } from '../../tests/web/static_server.mjs';

const { values: options, positionals } = parseArgs({
    allowPositionals: true,
    options: {
        browser: { type: 'string', default: 'chromium' },
        games: { type: 'string', default: '20' },
    },
});
const site = join(positionals[0] ?? 'build/web', 'site');
if (!existsSync(join(site, 'kestiv-terminal.wasm'))) {
    console.error(`page_memory.mjs: ${site} has no program; build the web preset's kestiv-site first`);
    process.exit(2);
}

// Resident kB of the tab's processes below root, by their parent links.
function tabResidentKb(root) {
    const parents = new Map();
    const resident = new Map();
    for (const pid of readdirSync('/proc').filter((name) => /^\d+$/.test(name))) {
        try {
            const status = readFileSync(`/proc/${pid}/status`, 'utf8');
            parents.set(Number(pid), Number(/^PPid:\s+(\d+)/m.exec(status)[1]));
            // Chromium rewrites its processes' command lines into one string.
            const command = readFileSync(`/proc/${pid}/cmdline`, 'utf8').split(/[\0 ]/);
            const tab = command.includes('--type=renderer') || (command.includes('-contentproc') && command.includes('tab'));
            if (tab) resident.set(Number(pid), Number(/^VmRSS:\s+(\d+)/m.exec(status)?.[1] ?? 0));
        } catch {
            // Gone meanwhile.
        }
    }
    const below = (pid) => pid !== root && parents.has(pid) && (parents.get(pid) === root || below(parents.get(pid)));
    return [...resident].filter(([pid]) => below(pid)).reduce((sum, [, kb]) => sum + kb, 0);
}

const server = await serveFolders([['/', site]]);
const browser = await launchBrowser(options.browser);
try {
    const page = await newGamePage(browser);
    await page.goto(server.url);
    const root = browser.process().pid;
    const figures = [];
    for (let game = 1; game <= Number(options.games); ++game) {
        await promptShown(page, 60000);
        await page.keyboard.type('dir');
        await page.keyboard.press('Enter');
        await page.keyboard.type('no such command');
        await page.keyboard.press('Enter');
        await gameOver(page, 60000);
        figures.push(tabResidentKb(root) / 1024);
        await page.keyboard.press('Enter');
    }
    const mib = (value) => `${value.toFixed(0)} MiB`;
    console.log(`browser: ${await browser.version()}`);
    console.log(`resident memory of the tab over ${figures.length} games: `
        + `after the first ${mib(figures[0])}, peak ${mib(Math.max(...figures))}, after the last ${mib(figures.at(-1))}`);
    console.log(`after each game: ${figures.map((value) => value.toFixed(0)).join(' ')}`);
} finally {
    await browser.close();
    await server.close();
}
