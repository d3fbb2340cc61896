// Copying a row of the terminal on a touch screen, where a long press selects
// nothing in it: holding a finger still on a row selects that row, and
// lifting it copies the row's text.

// A finger held this long without moving further than MOVE_PX holds a row.
const HOLD_MS = 500;
const MOVE_PX = 10;

// Lets a long press on element copy the row of terminal under it (rows are
// rowHeight() CSS pixels tall), saying so in notice for a moment.
export function copyRowOnLongPress(element, terminal, rowHeight, notice) {
    let holdTimer = 0;
    let from = null;
    let held = null;
    let noticeTimer = 0;

    const say = (text) => {
        notice.textContent = text;
        notice.hidden = false;
        clearTimeout(noticeTimer);
        noticeTimer = setTimeout(() => {
            notice.hidden = true;
        }, 3000);
    };
    const rowAt = (clientY) => {
        const top = element.querySelector('.xterm-screen').getBoundingClientRect().top;
        const row = Math.floor((clientY - top) / rowHeight());
        return Math.min(Math.max(row, 0), terminal.rows - 1) + terminal.buffer.active.viewportY;
    };

    element.addEventListener('touchstart', (event) => {
        clearTimeout(holdTimer);
        held = null;
        if (event.touches.length !== 1) return;
        from = { x: event.touches[0].clientX, y: event.touches[0].clientY };
        holdTimer = setTimeout(() => {
            const row = rowAt(from.y);
            const text = terminal.buffer.active.getLine(row)?.translateToString(true).trimEnd() ?? '';
            if (text === '') return;
            held = text;
            terminal.selectLines(row, row);
        }, HOLD_MS);
    }, { passive: true, capture: true });
    element.addEventListener('touchmove', (event) => {
        const touch = event.touches[0];
        if (from && Math.hypot(touch.clientX - from.x, touch.clientY - from.y) > MOVE_PX) {
            clearTimeout(holdTimer);
            from = null;
        }
    }, { passive: true, capture: true });
    // The clipboard takes text only in answer to the player's own act, which
    // lifting the finger is and holding it is not.
    element.addEventListener('touchend', (event) => {
        clearTimeout(holdTimer);
        from = null;
        if (held === null) return;
        const text = held;
        held = null;
        event.preventDefault();
        navigator.clipboard.writeText(text).then(
            () => say(`Copied: ${text}`),
            () => say('This browser did not let the page copy the row.'),
        );
    }, { capture: true });
}
