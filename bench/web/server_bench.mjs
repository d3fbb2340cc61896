// The page on a game server on 127.0.0.1, in headless Chromium or Firefox:
// the bytes the page downloads, and from the Enter key to the answer's first
// part in the terminal and to the whole answer (the next prompt) in the
// terminal, for `dir` at the root and `type` of a 6,944-byte file. The server
// is serve-with-socat with its own browser bridge, as the page tests run it.
// Beside them, to tell the way there and back from the page's own time: a
// bare WebSocket of the same page sending `dir` and waiting for its answer's
// first message, and how long after each Enter a task the page posts then
// gets to run.
//
// usage: node bench/web/server_bench.mjs [BUILD_DIR] [--browser chromium|firefox] [--answers N]
import { join } from 'node:path';
import { parseArgs } from 'node:util';

import { launchBrowser } from '../../tests/web/browser.mjs';
import { startGameServer } from '../../tests/web/game_server.mjs';
import { listImage, nameOf, walkTo } from '../../tests/web/maze_paths.mjs';
import { newGamePage } from '../../tests/web/page_hooks.mjs';
import { PROMPT, WAIT_MS, promptShown } from '../../tests/web/page_waits.mjs';
import { serveFolders } from '../../tests/web/static_server.mjs';

const { values: options, positionals } = parseArgs({
    allowPositionals: true,
    options: { browser: { type: 'string', default: 'chromium' }, answers: { type: 'string', default: '60' } },
});
const build = positionals[0] ?? 'build/web';
const median = (values) => values.sort((a, b) => a - b)[values.length >> 1];
const ms = (value) => `${value.toFixed(1)} ms`;

const served = [];
const site = await serveFolders([['/', join(build, 'site')]], { onServed: (path, body) => served.push(body.length) });
const gameServer = await startGameServer({
    terminal: join(build, 'host-tools/kestiv-terminal'), origin: new URL(site.url).origin,
});
const browser = await launchBrowser(options.browser);

async function answerTimes(page, line, count) {
    const first = [];
    const whole = [];
    for (let run = 0; run < count; ++run) {
        await page.keyboard.type(line);
        await page.keyboard.press('Enter');
        const handle = await page.waitForFunction(() => {
            const entered = globalThis.enterPressedAt;
            const [answered] = performance.getEntriesByName('kestiv-answer-written');
            if (!answered || answered.startTime < entered || !(globalThis.promptAt > entered)) return false;
            return [answered.startTime - entered, globalThis.promptAt - entered];
        }, { timeout: WAIT_MS, polling: 'raf' });
        const [toFirst, toWhole] = await handle.jsonValue();
        first.push(toFirst);
        whole.push(toWhole);
    }
    return { first: median(first), whole: median(whole) };
}

try {
    console.log(`browser: ${await browser.version()}`);
    const page = await newGamePage(browser);
    await page.setViewport({ width: 1000, height: 700 });
    await page.evaluateOnNewDocument(() => {
        globalThis.taskWaits = [];
        addEventListener('keydown', (event) => {
            if (event.key !== 'Enter') return;
            globalThis.enterPressedAt = event.timeStamp;
            const posted = performance.now();
            const channel = new MessageChannel();
            channel.port1.onmessage = () => globalThis.taskWaits.push(performance.now() - posted);
            channel.port2.postMessage(null);
        }, true);
    });
    await page.goto(`${site.url}?server=${encodeURIComponent(gameServer.url)}`);
    await promptShown(page);
    const bytes = served.reduce((sum, length) => sum + length, 0);
    console.log(`downloaded: ${bytes} bytes in ${served.length} files`);
    // When the terminal has parsed a write that leaves the cursor at a bare prompt.
    await page.evaluate((prompt) => {
        const terminal = globalThis.kestivTerminal;
        terminal.onWriteParsed(() => {
            const buffer = terminal.buffer.active;
            if (buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === prompt) {
                globalThis.promptAt = performance.now();
            }
        });
    }, PROMPT);
    const count = Number(options.answers);
    const dir = await answerTimes(page, 'dir', count);
    console.log(`dir at the root (median of ${count}): first part ${ms(dir.first)}, whole ${ms(dir.whole)}`);
    const files = listImage(join(build, 'host-tools/image/kestivfs/kestivfs'), join(build, 'default-maze.img'))
        .filter((node) => node.kind === 'file');
    const shown = files.find((node) => node.size === 6944) ?? files[0];
    for (const line of walkTo(shown).split('\n').filter(Boolean)) await answerTimes(page, line, 1);
    const type = await answerTimes(page, `type ${nameOf(shown)}`, count);
    console.log(`type of a ${shown.size}-byte file (median of ${count}): first part ${ms(type.first)}, whole ${ms(type.whole)}`);
    const taskWaits = await page.evaluate(() => globalThis.taskWaits);
    console.log(`a task posted at Enter ran after (median of ${taskWaits.length}): ${ms(median(taskWaits))}`);
    const bare = await page.evaluate(async (url, runs) => {
        const socket = new WebSocket(url);
        socket.binaryType = 'arraybuffer';
        let received = '';
        let heard = () => {};
        socket.addEventListener('message', ({ data }) => {
            received += new TextDecoder().decode(data);
            heard();
        });
        const until = (done) => new Promise((resolve) => {
            heard = () => done() && resolve();
            heard();
        });
        await until(() => received.endsWith('---> \x1b[0m'));
        const times = [];
        for (let run = 0; run < runs; ++run) {
            received = '';
            const sent = performance.now();
            socket.send(new TextEncoder().encode('dir\n'));
            await until(() => received.length > 0);
            times.push(performance.now() - sent);
            await until(() => received.endsWith('---> \x1b[0m'));
        }
        socket.close();
        return times;
    }, gameServer.url, count);
    console.log(`a bare WebSocket of the page, dir to the answer's first message (median of ${count}): ${ms(median(bare))}`);
} finally {
    await browser.close();
    await site.close();
    await gameServer.stop();
}
