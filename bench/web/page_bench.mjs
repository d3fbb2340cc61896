// The browser page's figures, side by side in one run, in headless Chromium
// (or Firefox) with the site served from 127.0.0.1:
//   - the download: the .wasm against the image it carries, and compressed;
//   - the start: navigation to the first prompt drawn, against the floor (the
//     same page fetching and instantiating a module of the same size that
//     does nothing), each in a fresh browser context so nothing is cached;
//   - the start on a 10 Mbit/s line with 40 ms of latency (Chromium only,
//     whose network emulation puppeteer drives), once, nothing cached;
//   - the answers: from the Enter key to the answer in the terminal and to its
//     drawing at the next frame, for dir at the root and for type of a
//     6,944-byte file (or the largest file of another maze).
//
//   node bench/web/page_bench.mjs [BUILD_DIR] [--browser chromium|firefox] [--starts N] [--answers N] [--no-slow-line]
import { existsSync, readdirSync, readFileSync, statSync } from 'node:fs';
import { join } from 'node:path';
import { parseArgs } from 'node:util';
import { gzipSync } from 'node:zlib';

import { launchBrowser } from '../../tests/web/browser.mjs';
import { newGamePage } from '../../tests/web/page_hooks.mjs';
import { listImage, nameOf, walkTo } from '../../tests/web/maze_paths.mjs';
import { serveFolders } from '../../tests/web/static_server.mjs';

const { values: options, positionals } = parseArgs({
    allowPositionals: true,
    options: {
        browser: { type: 'string', default: 'chromium' },
        starts: { type: 'string', default: '15' },
        answers: { type: 'string', default: '100' },
        'no-slow-line': { type: 'boolean', default: false },
    },
});
const build = positionals[0] ?? 'build/web';
const site = join(build, 'site');
const image = join(build, 'default-maze.img');
const kestivfs = join(build, 'host-tools/image/kestivfs/kestivfs');
for (const needed of [join(site, 'kestiv-terminal.wasm'), image, join(build, 'bench/floor/kestiv-terminal.wasm')]) {
    if (!existsSync(needed)) {
        console.error(`page_bench.mjs: ${needed} is missing; build the web preset with its default maze first`);
        process.exit(2);
    }
}

const median = (values) => {
    const sorted = [...values].sort((a, b) => a - b);
    const middle = sorted.length >> 1;
    return sorted.length % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
};
const bytes = (count) => count.toLocaleString('en-US');
const ms = (value) => `${value.toFixed(1)} ms`;

function downloadFigures() {
    const wasm = readFileSync(join(site, 'kestiv-terminal.wasm'));
    const imageBytes = statSync(image).size;
    const overhead = wasm.length - imageBytes;
    console.log(`.wasm: ${bytes(wasm.length)} bytes = image ${bytes(imageBytes)} + ${bytes(overhead)} `
        + `(${(overhead / 1024).toFixed(1)} KiB; limit 512 KiB)`);
    // Everything the site holds that a browser fetches: all but the licences.
    const fetched = readdirSync(site, { recursive: true })
        .filter((file) => /\.(html|css|js)$/.test(file))
        .sort();
    const rest = fetched.map((file) => readFileSync(join(site, file)));
    const all = [wasm, ...rest];
    const total = all.reduce((sum, file) => sum + file.length, 0);
    const compressed = all.reduce((sum, file) => sum + gzipSync(file, { level: 9 }).length, 0);
    console.log(`whole page: ${bytes(total)} bytes, ${bytes(compressed)} gzip-compressed`
        + ` (the .wasm ${bytes(gzipSync(wasm, { level: 9 }).length)})`);
}

// Milliseconds from navigation to the page's mark, in a fresh context.
async function timeToMark(browser, url, markName) {
    const context = await browser.createBrowserContext();
    const page = await newGamePage(context);
    await page.goto(url);
    await page.waitForFunction((name) => performance.getEntriesByName(name).length > 0, { timeout: 60000 }, markName);
    const at = await page.evaluate((name) => performance.getEntriesByName(name)[0].startTime, markName);
    await context.close();
    return at;
}

async function startFigures(browser, server) {
    const page = [];
    const floor = [];
    for (let run = 0; run < Number(options.starts); ++run) {
        page.push(await timeToMark(browser, server.url, 'kestiv-start-drawn'));
        floor.push(await timeToMark(browser, `${server.url}floor/`, 'kestiv-floor-drawn'));
    }
    const ratio = median(page) / median(floor);
    console.log(`first prompt drawn (median of ${page.length}, nothing cached): page ${ms(median(page))}, `
        + `floor ${ms(median(floor))}, ratio ${ratio.toFixed(2)} (limit 1.5)`);
}

// Milliseconds to the first prompt drawn over a 10 Mbit/s line.
async function slowLineFigure(browser, server) {
    const context = await browser.createBrowserContext();
    const page = await newGamePage(context);
    await page.emulateNetworkConditions({ download: 10e6 / 8, upload: 10e6 / 8, latency: 40 });
    await page.goto(server.url);
    await page.waitForFunction(() => performance.getEntriesByName('kestiv-start-drawn').length > 0, { timeout: 120000 });
    const at = await page.evaluate(() => performance.getEntriesByName('kestiv-start-drawn')[0].startTime);
    await context.close();
    console.log(`first prompt drawn on a 10 Mbit/s line with 40 ms latency: ${ms(at)}`);
}

// Enters line `count` times; for each, the milliseconds from the Enter key
// to the answer's marks.
async function answerTimes(page, line, count) {
    const written = [];
    const drawn = [];
    for (let run = 0; run < count; ++run) {
        await page.keyboard.type(line);
        await page.keyboard.press('Enter');
        const handle = await page.waitForFunction(() => {
            const entered = globalThis.enterPressedAt;
            const [answered] = performance.getEntriesByName('kestiv-answer-drawn');
            const [inTerminal] = performance.getEntriesByName('kestiv-answer-written');
            if (!answered || answered.startTime < entered) return false;
            return [inTerminal.startTime - entered, answered.startTime - entered];
        }, { timeout: 30000, polling: 'raf' });
        const [toTerminal, toScreen] = await handle.jsonValue();
        written.push(toTerminal);
        drawn.push(toScreen);
    }
    return { written: median(written), drawn: median(drawn) };
}

async function answerFigures(browser, server) {
    const maze = listImage(kestivfs, image);
    const files = maze.filter((node) => node.kind === 'file');
    const shown = files.find((node) => node.size === 6944) ?? files.reduce((a, b) => (b.size > a.size ? b : a));

    const page = await newGamePage(browser);
    await page.setViewport({ width: 1000, height: 700 });
    await page.evaluateOnNewDocument(() => {
        addEventListener('keydown', (event) => {
            if (event.key === 'Enter') globalThis.enterPressedAt = event.timeStamp;
        }, true);
    });
    await page.goto(server.url);
    await page.waitForFunction(() => performance.getEntriesByName('kestiv-start-drawn').length > 0, { timeout: 60000 });

    const count = Number(options.answers);
    const dir = await answerTimes(page, 'dir', count);
    console.log(`dir at the root (median of ${count}): in the terminal ${ms(dir.written)}, drawn ${ms(dir.drawn)} (limit 5 ms)`);
    for (const line of walkTo(shown).split('\n').filter(Boolean)) await answerTimes(page, line, 1);
    const type = await answerTimes(page, `type ${nameOf(shown)}`, count);
    console.log(`type of a ${bytes(shown.size)}-byte file (median of ${count}): in the terminal ${ms(type.written)}, `
        + `drawn ${ms(type.drawn)} (limit 5 ms)`);
    await page.close();
}

downloadFigures();
// The floor is the site with the floor's script and module in front.
const server = await serveFolders([['/floor/', join(build, 'bench/floor')], ['/floor/', site], ['/', site]]);
const browser = await launchBrowser(options.browser);
try {
    console.log(`browser: ${await browser.version()}`);
    await startFigures(browser, server);
    if (options.browser === 'chromium' && !options['no-slow-line']) await slowLineFigure(browser, server);
    await answerFigures(browser, server);
} finally {
    await browser.close();
    await server.close();
}
