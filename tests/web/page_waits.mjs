// What the page tests wait for: the page asking for a line, and a game's end.

export const PROMPT = "kestiv's terminal ---> ";

// Waits for the page to ask for a line: a prompt with nothing typed after it.
export function promptShown(page, timeout = 30000) {
    return page.waitForFunction((prompt) => {
        const buffer = globalThis.kestivTerminal?.buffer.active;
        if (document.body.dataset.game !== 'playing' || !buffer) return false;
        return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === prompt;
    }, { timeout }, PROMPT);
}

export function gameOver(page, timeout = 30000) {
    return page.waitForFunction(() => document.body.dataset.game === 'ended', { timeout });
}
