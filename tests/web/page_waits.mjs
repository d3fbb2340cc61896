// What the page tests wait for: the page asking for a line, and a game's end.

export const PROMPT = "kestiv's terminal ---> ";

// The longest any page test waits for something the page does. A page that
// works does it in well under a second; a machine busy with other builds may
// take many times that, and only a page that never does it reaches this.
export const WAIT_MS = 180000;

// Waits for the page to ask for a line: a prompt with nothing typed after it.
export function promptShown(page, timeout = WAIT_MS) {
    return page.waitForFunction((prompt) => {
        const buffer = globalThis.kestivTerminal?.buffer.active;
        if (document.body.dataset.game !== 'playing' || !buffer) return false;
        return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === prompt;
    }, { timeout }, PROMPT);
}

export function gameOver(page, timeout = WAIT_MS) {
    return page.waitForFunction(() => document.body.dataset.game === 'ended', { timeout });
}
