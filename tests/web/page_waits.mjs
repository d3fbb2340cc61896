// What the page tests wait for: the page asking for a line, and a game's end.

export const PROMPT = "kestiv's terminal ---> ";

// Waits for the page to ask for a line: a prompt with nothing typed after it.
export function promptShown(page) {
    return page.waitForFunction((prompt) => {
        const buffer = globalThis.kestivTerminal?.buffer.active;
        if (document.body.dataset.game !== 'playing' || !buffer) return false;
        return buffer.getLine(buffer.baseY + buffer.cursorY).translateToString(true) === prompt;
    }, { timeout: 30000 }, PROMPT);
}

export function gameOver(page) {
    return page.waitForFunction(() => document.body.dataset.game === 'ended', { timeout: 30000 });
}
