// What the page tests and benchmarks see of the page, set up before any of its
// scripts runs: its terminal as globalThis.kestivTerminal, once the page's
// module has run, and, at each 'kestiv-shown' event, the performance marks
// kestiv-<start|answer>-written at once and kestiv-<start|answer>-drawn when
// the terminal next renders.

function installHooks() {
    const mark = (name) => {
        performance.clearMarks(name);
        performance.mark(name);
    };
    // Module scripts have run by DOMContentLoaded; importing the page's module
    // again gives the instance that ran, not a new one.
    const terminal = new Promise((resolve) => {
        addEventListener('DOMContentLoaded', () => {
            import(new URL('page.js', location.href)).then(
                (page) => resolve(page.terminal),
                () => resolve(undefined),
            );
        });
    });
    terminal.then((found) => {
        if (found) globalThis.kestivTerminal = found;
    });
    document.addEventListener('kestiv-shown', ({ detail }) => {
        mark(`kestiv-${detail}-written`);
        terminal.then((found) => {
            const drawn = found?.onRender(() => {
                drawn.dispose();
                mark(`kestiv-${detail}-drawn`);
            });
        });
    });
}

// A new tab of browser (or of a browser context) with the hooks installed.
export async function newGamePage(browser) {
    const page = await browser.newPage();
    await page.evaluateOnNewDocument(installHooks);
    return page;
}
