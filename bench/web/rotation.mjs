// How long a phone takes to turn with a long scrollback: the page of a site
// folder at 390 by 844 in Chromium's touch emulation, its scrollback filled
// with LINES rows of answers, then turned to 844 by 390; the time from the
// turn to the line being typed drawn again at the new width, median of RUNS
// turns each way.
//
// usage: node bench/web/rotation.mjs [SITE_DIR] [--lines N] [--runs N]
import { launchBrowser } from '../../tests/web/browser.mjs';
import { newGamePage } from '../../tests/web/page_hooks.mjs';
import { PROMPT, WAIT_MS, promptShown } from '../../tests/web/page_waits.mjs';
import { serveFolders } from '../../tests/web/static_server.mjs';

const args = process.argv.slice(2);
const option = (name, fallback) => {
    const at = args.indexOf(name);
    return at < 0 ? fallback : Number(args.splice(at, 2)[1]);
};
const lines = option('--lines', 8600);
const runs = option('--runs', 5);
const site = args[0] ?? 'build/web/site';

const server = await serveFolders([['/', site]]);
const browser = await launchBrowser('chromium');
const page = await newGamePage(browser);
const portrait = { width: 390, height: 844, hasTouch: true, isMobile: true, deviceScaleFactor: 1 };
const landscape = { ...portrait, width: 844, height: 390 };
await page.setViewport(portrait);
await page.goto(server.url);
await promptShown(page);
// Each `cd` adds a row of prompt; pasted at once, entered one by one.
await page.evaluate((count) => globalThis.kestivTerminal.paste('cd\n'.repeat(count)), lines);
await page.waitForFunction((count) => globalThis.kestivTerminal.buffer.active.length >= count, { timeout: WAIT_MS }, lines);
await promptShown(page);
await page.keyboard.type('dir');

const times = { landscape: [], portrait: [] };
for (let run = 0; run < runs; ++run) {
    for (const [name, viewport] of [['landscape', landscape], ['portrait', portrait]]) {
        const before = await page.evaluate(() => globalThis.kestivTerminal.cols);
        const started = performance.now();
        await page.setViewport(viewport);
        await page.waitForFunction((cols, line) => {
            const terminal = globalThis.kestivTerminal;
            const buffer = terminal.buffer.active;
            return terminal.cols !== cols && buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === line;
        }, { timeout: WAIT_MS, polling: 'raf' }, before, `${PROMPT}dir`);
        times[name].push(performance.now() - started);
    }
}
const median = (values) => values.sort((a, b) => a - b)[values.length >> 1];
const rows = await page.evaluate(() => globalThis.kestivTerminal.buffer.active.length);
console.log(`${rows} rows of scrollback; turn to landscape ${median(times.landscape).toFixed(0)} ms, `
    + `to portrait ${median(times.portrait).toFixed(0)} ms (median of ${runs})`);
await browser.close();
await server.close();
